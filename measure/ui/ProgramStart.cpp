#include "ProgramStart.h"

#include "ApplicationWindows.h"
#include "MainWindow.h"
#include "measure/HandOff.h"
#include "platform/Errors.h"
#include "platform/ProgramFolder.h"
#include "platform/ui/QuvarApplication.h"

#include <QDir>
#include <QTimer>

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

// Opens a file handed over by a starting process; false when it failed. The error box
// comes after the reply, so the sender does not wait for the user to close it.
bool OpenHandedOverFile(const QString& path) {
    if (!Main)
        return false;
    BringToFront(Main);
    try {
        Main->OpenPassedFile(path);
        return true;
    } catch (const std::exception& error) {
        const QuvarError copy(ErrorMessage(error));
        QTimer::singleShot(0, qApp, [copy] { QuvarApplication::ShowError(copy); });
        return false;
    }
}

} // namespace

int RunQuvar(const QStringList& arguments, const std::function<void()>& windowsReady) {
    const std::unique_ptr<InstanceChannel> channel =
        MakeLocalSocketChannel(SingleInstanceName(ProgramFolder()));
    HandOffInbox inbox;
    if (!MayStart(*channel, inbox, MakeArgumentsAbsolute(arguments, QDir::currentPath())))
        return 0;
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
