// The program's start as main() runs it, ended once the measuring window has been shown
// and the first events after it handled: what a user waits for before the window is there.

#include "imaging/CodecSupport.h"
#include "measure/ui/ProgramStart.h"
#include "platform/FrameMemory.h"
#include "platform/ui/FontConfiguration.h"
#include "platform/ui/QtPrompts.h"
#include "platform/ui/QuvarApplication.h"
#include "platform/ui/QuvarStyle.h"

#include <QTimer>

int main(int argc, char** argv) {
    ReuseFreedFrameMemory();
    StartReadingFontConfiguration();
    QuvarApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("QUVAR"));
    app.setStyle(new QuvarStyle);
    QtPrompts prompts;
    SetAppPrompts(&prompts);
    AllowImageReadersThePixelCap();
    const int result = RunQuvar({}, [] { QTimer::singleShot(0, qApp, &QCoreApplication::quit); });
    SetAppPrompts(nullptr);
    return result;
}
