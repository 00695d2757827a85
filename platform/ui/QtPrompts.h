#pragma once
// Prompts shown as Qt dialogs, owned by the application window that is active.

#include "platform/Prompts.h"

// Our texts break lines with line feed then carriage return; a Qt label or tip shows the
// carriage return as a stray space, so it is shown with the line feed alone.
QString ForDisplay(QString text);

class QtPrompts final : public Prompts {
public:
    void Message(const QString& caption, const QString& text, MessageIcon icon) override;
    Answer Ask(const QString& caption, const QString& text, AskButtons buttons) override;
    std::optional<QString> Input(const QString& caption, const QString& prompt,
                                 const QString& value) override;
    std::optional<FileDialogResult> OpenFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFile(const FileDialogRequest& request) override;
    QString ChooseFolder(const QString& title, const QString& start, bool allowNewFolder) override;
    bool WarnWithDontShowAgain(const QString& text) override;
};
