#pragma once
// Ini files with the semantics of the classic private-profile functions: sections and keys
// match without regard to case, the first of two equal keys wins, values are trimmed and
// read up to 2047 characters, integers are decimal or "0x" hexadecimal, booleans are
// integers (non-zero is true), and any unreadable value gives the caller's default.
//
// Reads come from the text loaded when the file was opened; writes change that text, and
// save() replaces the file safely. Sections and keys that nobody wrote stay as they were.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class IniFile {
public:
    enum class Start { LoadExisting, Empty };

    // Loads the file when it exists (a missing or unreadable file reads as empty; so does
    // one larger than MaxFileBytes or one that is no regular file, which is not waited for).
    // Start::Empty ignores what is there: the next save() rewrites the file whole.
    explicit IniFile(const QString& path, Start start = Start::LoadExisting);

    const QString& path() const { return path_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    // A value that does not parse with "." as the decimal separator gives the default.
    double ReadFloat(const QString& section, const QString& key, double def) const;

    // A value holding a line break is refused with "Unable to write to <file>": it would
    // split the line.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteFloat(const QString& section, const QString& key, double value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList Sections() const;
    void EraseSection(const QString& section);

    // Writes the file (UTF-8, CRLF) through a temporary file; throws
    // "Unable to write to <file>" and leaves the old file whole when that fails, and also
    // when the file was there but could not be read, since its keys would be lost.
    void Save() const;

    static constexpr int MaxValueLength = 2047;
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

private:
    struct Line {
        QString key;  // empty for a blank line or a comment
        QString text; // the whole line as read or written
    };
    struct Section {
        QString name;
        std::vector<Line> lines;
    };

    const Section* FindSection(const QString& name) const;
    Section& SectionFor(const QString& name);
    std::optional<QString> Value(const QString& section, const QString& key) const;

    QString path_;
    bool unreadable_ = false;    // there, but not loaded
    std::vector<Line> preamble_; // lines before the first section
    std::vector<Section> sections_;
};
