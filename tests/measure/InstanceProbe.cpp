// The program as the two-process test starts it: RunQuvar itself, with prompts that print
// their text instead of waiting for a user, and a line for every image the window shows.

#include "imaging/CodecSupport.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/ProgramStart.h"
#include "platform/Prompts.h"
#include "platform/ui/QuvarApplication.h"

#include <cstdio>

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class PrintedPrompts final : public Prompts {
public:
    void Message(const QString&, const QString& text, MessageIcon) override {
        Say(QStringLiteral("message ") + QString(text).replace('\n', ' ').replace('\r', ' '));
    }
    Answer Ask(const QString&, const QString&, AskButtons) override { return Answer::No; }
    std::optional<QString> Input(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<FileDialogResult> OpenFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<FileDialogResult> SaveFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    QString ChooseFolder(const QString&, const QString&, bool) override { return {}; }
    bool WarnWithDontShowAgain(const QString&) override { return false; }
};

} // namespace

int main(int argc, char** argv) {
    QuvarApplication app(argc, argv);
    PrintedPrompts prompts;
    SetAppPrompts(&prompts);
    AllowImageReadersThePixelCap();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int result = RunQuvar(arguments, [] {
        QObject::connect(Main, &QWidget::windowTitleChanged,
                         [](const QString& title) { Say(QStringLiteral("title ") + title); });
        Say(QStringLiteral("ready ") + Main->windowTitle());
    });
    SetAppPrompts(nullptr);
    return result;
}
