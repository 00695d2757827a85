#include "IniFile.h"

#include "Errors.h"
#include "NumberFormat.h"
#include "RegularFile.h"
#include "SafeFile.h"
#include "TextCodec.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile::IniFile(const QString& path, Start start) : path_(path) {
    if (start == Start::Empty)
        return;
    const QFileInfo info(path);
    if (!info.exists())
        return;
    // A pipe or device would block or never end, and no settings file is that large.
    unreadable_ = true;
    if (!info.isFile() || info.size() > MaxFileBytes)
        return;
    QFile file;
    if (!OpenRegularFile(file, path))
        return;
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > MaxFileBytes)
        return;
    unreadable_ = false;
    const QString text = DecodeText(bytes);
    Section* current = nullptr;
    // A lone carriage return ends a line too, as it does for the text codec: kept inside
    // a value it could never be written back, and every later save would be refused.
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    for (const QString& raw : unified.split(u'\n')) {
        const QString trimmed = raw.trimmed();
        if (trimmed.startsWith(u'[')) {
            const int close = trimmed.indexOf(u']');
            const QString name = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            sections_.push_back(Section{name, {}});
            current = &sections_.back();
            continue;
        }
        Line line;
        const int eq = raw.indexOf(u'=');
        if (eq > 0 && !trimmed.startsWith(u';'))
            line.key = raw.left(eq).trimmed();
        line.text = raw;
        (current ? current->lines : preamble_).push_back(line);
    }
    // The split leaves one empty line for the final line end; drop trailing blanks so
    // that a save does not grow the file.
    auto dropTrailingBlanks = [](std::vector<Line>& lines) {
        while (!lines.empty() && lines.back().key.isEmpty() &&
               lines.back().text.trimmed().isEmpty())
            lines.pop_back();
    };
    dropTrailingBlanks(preamble_);
    for (auto& section : sections_)
        dropTrailingBlanks(section.lines);
}

const IniFile::Section* IniFile::FindSection(const QString& name) const {
    for (const auto& section : sections_)
        if (SameName(section.name, name))
            return &section;
    return nullptr;
}

IniFile::Section& IniFile::SectionFor(const QString& name) {
    for (auto& section : sections_)
        if (SameName(section.name, name))
            return section;
    sections_.push_back(Section{name, {}});
    return sections_.back();
}

std::optional<QString> IniFile::Value(const QString& section, const QString& key) const {
    const Section* found = FindSection(section);
    if (!found)
        return std::nullopt;
    for (const auto& line : found->lines) {
        if (!line.key.isEmpty() && SameName(line.key, key)) {
            const int eq = line.text.indexOf(u'=');
            return line.text.mid(eq + 1).trimmed().left(MaxValueLength);
        }
    }
    return std::nullopt;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    return Value(section, key).value_or(def.left(MaxValueLength));
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    const auto text = Value(section, key);
    if (!text)
        return def;
    return ParseInteger(*text).value_or(def);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double IniFile::ReadFloat(const QString& section, const QString& key, double def) const {
    const auto text = Value(section, key);
    if (!text)
        return def;
    return ParseFloat(*text).value_or(def);
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (value.contains(u'\n') || value.contains(u'\r') || key.contains(u'=') ||
        key.trimmed().isEmpty())
        throw QuvarError(UnableToWriteMessage(path_));
    Section& target = SectionFor(section);
    const QString text = key + u'=' + value;
    for (auto& line : target.lines) {
        if (!line.key.isEmpty() && SameName(line.key, key)) {
            line.text = text;
            return;
        }
    }
    target.lines.push_back(Line{key, text});
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::WriteFloat(const QString& section, const QString& key, double value) {
    WriteString(section, key, FormatGeneral(value));
}

bool IniFile::SectionExists(const QString& section) const {
    return FindSection(section) != nullptr;
}

bool IniFile::ValueExists(const QString& section, const QString& key) const {
    return Value(section, key).has_value();
}

QStringList IniFile::Sections() const {
    QStringList names;
    for (const auto& section : sections_)
        names << section.name;
    return names;
}

void IniFile::EraseSection(const QString& section) {
    std::erase_if(sections_, [&](const Section& s) { return SameName(s.name, section); });
}

void IniFile::Save() const {
    if (unreadable_)
        throw QuvarError(UnableToWriteMessage(path_));
    QString text;
    for (const auto& line : preamble_)
        text += line.text + QStringLiteral("\r\n");
    for (const auto& section : sections_) {
        text += u'[' + section.name + QStringLiteral("]\r\n");
        for (const auto& line : section.lines)
            text += line.text + QStringLiteral("\r\n");
    }
    WriteFileSafely(path_, EncodeText(text));
}
