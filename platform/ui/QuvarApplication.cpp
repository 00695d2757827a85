#include "QuvarApplication.h"

#include "platform/Errors.h"
#include "platform/Prompts.h"

#include <QFileInfo>

QuvarApplication::QuvarApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QuvarApplication::notify(QObject* receiver, QEvent* event) {
    return RunGuarded([&] { return QApplication::notify(receiver, event); });
}

bool QuvarApplication::RunGuarded(const std::function<bool()>& handler) {
    try {
        return handler();
    } catch (const std::exception& error) {
        ShowError(error);
    }
    return false;
}

void QuvarApplication::ShowError(const std::exception& error) {
    const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    AppPrompts().Message(caption, ErrorMessage(error), MessageIcon::Error);
}
