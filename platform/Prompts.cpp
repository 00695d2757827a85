#include "Prompts.h"

#include <cstdio>

namespace {

class SilentPrompts final : public Prompts {
public:
    void Message(const QString& caption, const QString& text, MessageIcon) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
    Answer Ask(const QString&, const QString&, AskButtons buttons) override {
        return buttons == AskButtons::YesNo ? Answer::No : Answer::Cancel;
    }
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

SilentPrompts silent;
Prompts* installed = nullptr;

} // namespace

Prompts& AppPrompts() {
    return installed ? *installed : silent;
}

void SetAppPrompts(Prompts* p) {
    installed = p;
}
