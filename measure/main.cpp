// The program entry: the application object and its prompts; the run is RunQuvar.

#include "imaging/CodecSupport.h"
#include "measure/ui/ProgramStart.h"
#include "platform/FrameMemory.h"
#include "platform/ui/FontConfiguration.h"
#include "platform/ui/QtPrompts.h"
#include "platform/ui/QuvarApplication.h"
#include "platform/ui/QuvarStyle.h"

int main(int argc, char** argv) {
    ReuseFreedFrameMemory(); // before any thread starts
    StartReadingFontConfiguration();
    QuvarApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QUVAR"));
    app.setStyle(new QuvarStyle);
    QtPrompts prompts;
    SetAppPrompts(&prompts);
    // Before any reader runs, the file dialog's preview included.
    AllowImageReadersThePixelCap();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int result = RunQuvar(arguments);
    SetAppPrompts(nullptr);
    return result;
}
