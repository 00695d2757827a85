#include "ScriptedPrompts.h"

namespace {

template <typename T> T Take(std::deque<T>& queue, T fallback) {
    if (queue.empty())
        return fallback;
    T value = queue.front();
    queue.pop_front();
    return value;
}

} // namespace

QStringList ScriptedPrompts::Texts() const {
    QStringList texts;
    for (const auto& prompt : shown)
        texts << prompt.text;
    return texts;
}

void ScriptedPrompts::Message(const QString& caption, const QString& text, MessageIcon icon) {
    shown.push_back({"message", caption, text, icon, {}});
    if (WhileShown) {
        const ShownPrompt prompt = shown.back(); // a nested message may grow the list
        WhileShown(prompt);
    }
}

Answer ScriptedPrompts::Ask(const QString& caption, const QString& text, AskButtons buttons) {
    shown.push_back({"ask", caption, text, MessageIcon::None, {}});
    return Take(answers, buttons == AskButtons::YesNo ? Answer::No : Answer::Cancel);
}

std::optional<QString> ScriptedPrompts::Input(const QString& caption, const QString& prompt,
                                              const QString& value) {
    shown.push_back({"input", caption, prompt, MessageIcon::None, {}});
    (void)value;
    return Take(inputs, std::optional<QString>{});
}

std::optional<FileDialogResult> ScriptedPrompts::OpenFile(const FileDialogRequest& request) {
    shown.push_back({"open", request.caption, request.fileName, MessageIcon::None, request});
    return Take(files, std::optional<FileDialogResult>{});
}

std::optional<FileDialogResult> ScriptedPrompts::SaveFile(const FileDialogRequest& request) {
    shown.push_back({"save", request.caption, request.fileName, MessageIcon::None, request});
    return Take(files, std::optional<FileDialogResult>{});
}

QString ScriptedPrompts::ChooseFolder(const QString& title, const QString& start, bool) {
    shown.push_back({"folder", title, start, MessageIcon::None, {}});
    return Take(folders, QString());
}

bool ScriptedPrompts::WarnWithDontShowAgain(const QString& text) {
    shown.push_back({"warn", QStringLiteral("QUVAR Warning"), text, MessageIcon::Warning, {}});
    return Take(dontShowAgain, false);
}
