#pragma once
// A Prompts implementation for tests: records every prompt shown and gives the answers
// the test queued (or a negative answer when the queue is empty). Installed for its
// lifetime.

#include "platform/Prompts.h"

#include <deque>
#include <functional>
#include <vector>

struct ShownPrompt {
    QString kind; // "message", "ask", "input", "open", "save", "folder", "warn"
    QString caption;
    QString text;
    MessageIcon icon = MessageIcon::None;
    FileDialogRequest request; // for "open" and "save"
};

class ScriptedPrompts final : public Prompts {
public:
    ScriptedPrompts() { SetAppPrompts(this); }
    ~ScriptedPrompts() override { SetAppPrompts(nullptr); }

    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<FileDialogResult>> files;
    std::deque<QString> folders;
    std::deque<bool> dontShowAgain;

    std::vector<ShownPrompt> shown;
    // Runs while a message is shown, after it is recorded: a test lets events run here as
    // they do under a real modal box.
    std::function<void(const ShownPrompt&)> WhileShown;
    // Texts of the prompts shown, in order.
    QStringList Texts() const;

    void Message(const QString& caption, const QString& text, MessageIcon icon) override;
    Answer Ask(const QString& caption, const QString& text, AskButtons buttons) override;
    std::optional<QString> Input(const QString& caption, const QString& prompt,
                                 const QString& value) override;
    std::optional<FileDialogResult> OpenFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFile(const FileDialogRequest& request) override;
    QString ChooseFolder(const QString& title, const QString& start, bool allowNewFolder) override;
    bool WarnWithDontShowAgain(const QString& text) override;
};
