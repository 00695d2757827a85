#include "ProgramStart.h"

#include "ApplicationWindows.h"
#include "MainWindow.h"
#include "imaging/CodecSupport.h"
#include "measure/HandOff.h"
#include "platform/Errors.h"
#include "platform/FrameMemory.h"
#include "platform/ProgramFolder.h"
#include "platform/ui/FontConfiguration.h"
#include "platform/ui/QtPrompts.h"
#include "platform/ui/QuvarApplication.h"
#include "platform/ui/QuvarStyle.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace {

void BringToFront(TMain* window) {
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else if (window->isHidden())
        window->show();
    window->raise();
    window->activateWindow();
}

// Opens path once no dialog or message box of the program is open; the latest file wins.
void OpenWhenNoDialogIsOpen(const QString& path) {
    static QString pending;
    static QPointer<QTimer> waiting;
    pending = path;
    if (waiting)
        return;
    waiting = new QTimer(qApp);
    waiting->setInterval(100);
    QObject::connect(waiting, &QTimer::timeout, qApp, [] {
        if (Main && QApplication::activeModalWidget())
            return;
        // Done before opening, which may ask a question in a loop of its own: a file handed
        // over meanwhile waits on a timer of its own.
        waiting->stop();
        waiting->deleteLater();
        waiting = nullptr;
        const QString file = std::exchange(pending, QString());
        if (!Main)
            return;
        try {
            Main->OpenPassedFile(file);
        } catch (const std::exception& error) {
            QuvarApplication::ShowError(error);
        }
    });
    waiting->start();
}

} // namespace

bool OpenHandedOverFile(const QString& path) {
    if (!Main)
        return false;
    BringToFront(Main);
    // The command behind an open dialog or question (a save dialog, Preferences, a load
    // asking about its calibration) goes on with the image it began with: the file is
    // accepted and opened after it.
    if (QApplication::activeModalWidget()) {
        OpenWhenNoDialogIsOpen(path);
        return true;
    }
    try {
        Main->OpenPassedFile(path);
        return true;
    } catch (const std::exception& error) {
        const QuvarError copy(ErrorMessage(error));
        QTimer::singleShot(0, qApp, [copy] { QuvarApplication::ShowError(copy); });
        return false;
    }
}

int RunQuvar(const QStringList& arguments, const std::function<void()>& windowsReady) {
    const std::unique_ptr<InstanceChannel> channel =
        MakeLocalSocketChannel(SingleInstanceName(ProgramFolder()));
    HandOffInbox inbox;
    if (!MayStart(*channel, inbox, MakeArgumentsAbsolute(arguments, QDir::currentPath())))
        return 0;
    WaitForFontConfiguration();
    CreateApplicationWindows(arguments);
    inbox.OnRestore = [] { BringToFront(Main); };
    inbox.SetOnParam(OpenHandedOverFile);
    if (windowsReady)
        windowsReady();
    Main->ShowAsPlaced();
    const int result = QCoreApplication::exec();
    inbox.OnRestore = nullptr;
    inbox.SetOnParam(nullptr);
    DestroyApplicationWindows();
    return result;
}

int RunQuvarProgram(int& argc, char** argv, const std::function<void()>& windowsReady) {
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
    const int result = RunQuvar(arguments, windowsReady);
    SetAppPrompts(nullptr);
    return result;
}
