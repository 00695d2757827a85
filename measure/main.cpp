// The program entry: creates the windows once and runs until the measuring window closes.

#include "imaging/CodecSupport.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "platform/ui/QtPrompts.h"
#include "platform/ui/QuvarApplication.h"

int main(int argc, char** argv) {
    QuvarApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QUVAR"));
    app.setStyle(QStringLiteral("Fusion"));
    QtPrompts prompts;
    SetAppPrompts(&prompts);
    // Before any reader runs, the file dialog's preview included.
    AllowImageReadersThePixelCap();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    CreateApplicationWindows(arguments);
    Main->ShowAsPlaced();
    const int result = app.exec();
    DestroyApplicationWindows();
    SetAppPrompts(nullptr);
    return result;
}
