#pragma once
// Every question, notice, warning, text input and file or folder chooser of the program
// goes through Prompts. The program installs the Qt implementation; tests install a
// scripted one, so no test ever waits on a modal window.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

enum class MessageIcon { None, Information, Warning, Error };

enum class Answer { Yes, No, Cancel };

enum class AskButtons { YesNo, YesNoCancel, OkCancel, YesCancel }; // Ok answers Yes

struct FileDialogRequest {
    QString caption;
    QString folder;      // where the dialog opens
    QString fileName;    // proposed name (save) or empty
    QStringList filters; // "JPEG Image (*.jpg)"
    int filterIndex = 0; // 0-based index into filters
    QString defaultSuffix;
    // The user chose another filter (0-based): the name in the dialog's name box becomes
    // what this returns for the name typed there.
    std::function<QString(const QString& typedName, int filterIndex)> onFilterChange;
    bool imagePreview = false; // a preview of the image under the cursor beside the list
    // Save: the dialog asks before an existing file is chosen. Off where the caller asks
    // its own question, so that the user is not asked twice.
    bool confirmOverwrite = true;
};

struct FileDialogResult {
    QString path;
    int filterIndex = 0;
};

class Prompts {
public:
    virtual ~Prompts() = default;

    virtual void Message(const QString& caption, const QString& text, MessageIcon icon) = 0;
    virtual Answer Ask(const QString& caption, const QString& text, AskButtons buttons) = 0;
    // The text typed, or nothing when cancelled.
    virtual std::optional<QString> Input(const QString& caption, const QString& prompt,
                                         const QString& value) = 0;
    virtual std::optional<FileDialogResult> OpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogResult> SaveFile(const FileDialogRequest& request) = 0;
    // Empty when cancelled.
    virtual QString ChooseFolder(const QString& title, const QString& start,
                                 bool allowNewFolder) = 0;
    // The "QUVAR Warning" box with "Don't show this window again": true only when closed
    // with OK while the box was ticked.
    virtual bool WarnWithDontShowAgain(const QString& text) = 0;
};

// The installed implementation. Until one is installed, a silent one answers every
// question negatively and prints messages to standard error.
Prompts& AppPrompts();
// Installs p (not owned); nullptr goes back to the silent one.
void SetAppPrompts(Prompts* p);
