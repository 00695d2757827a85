#include "SaveOptionsNames.h"

#include "imaging/ImageComment.h"
#include "imaging/ImageFiles.h"
#include "platform/DateFormat.h"
#include "platform/Errors.h"
#include "platform/RegularFile.h"
#include "platform/SafeFile.h"
#include "platform/TextCodec.h"
#include "settings/SettingsUtilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace {

// A database is a list of names typed by hand; anything far beyond that is no database.
constexpr qint64 MaxDatabaseBytes = 64 * 1024 * 1024;

QString AsciiLower(const QString& text) {
    QString lower = text;
    for (QChar& ch : lower)
        if (ch >= u'A' && ch <= u'Z')
            ch = QChar(ch.unicode() + ('a' - 'A'));
    return lower;
}

bool LessIgnoringCase(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
}

QString SanitizedPart(QString part) {
    SanitizeFileName(part);
    return part;
}

QString DatePart(const QDate& date) {
    return SanitizedPart(FormatDate(date.isValid() ? date : QDate(1899, 12, 30)));
}

QString NumberPart(int number) {
    return QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

} // namespace

QString DatabaseFolder(const QString& programFolder) {
    QString folder = programFolder;
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("Databases/");
}

bool NamePassesSearch(const QString& name, const QString& search) {
    if (name.isEmpty())
        return false;
    if (search.isEmpty())
        return true;
    const QString lowerName = AsciiLower(name);
    const QString lowerSearch = AsciiLower(search);
    const qsizetype blank = lowerSearch.indexOf(u' ');
    if (blank < 0)
        return lowerName.contains(lowerSearch);
    const QString start = lowerSearch.left(blank);
    const QString rest = lowerSearch.mid(blank);
    return lowerName.startsWith(start) && lowerName.indexOf(rest) >= 2;
}

QStringList FilterNames(const QStringList& names, const QString& search) {
    QStringList passed;
    for (const QString& name : names)
        if (NamePassesSearch(name, search))
            passed.append(name);
    std::stable_sort(passed.begin(), passed.end(), LessIgnoringCase);
    return passed;
}

QStringList SortedNames(const QStringList& names) {
    QStringList sorted = names;
    std::stable_sort(sorted.begin(), sorted.end(), LessIgnoringCase);
    const auto last =
        std::unique(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) == 0;
        });
    sorted.erase(last, sorted.end());
    return sorted;
}

QStringList AddNameSorted(const QStringList& names, const QString& name) {
    QStringList added = names;
    added.append(name);
    return SortedNames(added);
}

QStringList FindDatabases(const QString& folder) {
    const QFileInfoList entries = QDir(folder).entryInfoList(
        {QStringLiteral("*.csv")}, QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    QStringList names;
    for (const QFileInfo& entry : entries)
        names.append(entry.fileName());
    return names;
}

int ChooseDatabase(const QStringList& databases, const QString& lastUsed) {
    if (databases.isEmpty())
        return -1;
    const qsizetype found = databases.indexOf(lastUsed);
    return found >= 0 ? int(found) : 0;
}

QStringList ReadNameDatabase(const QString& path) {
    QFile file;
    if (!OpenRegularFile(file, path)) {
        const int error = errno;
        const QString reason = IsRegularFile(path) ? qt_error_string(error)
                                                   : QStringLiteral("It is not a regular file.");
        throw QuvarError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
    }
    if (file.size() > MaxDatabaseBytes)
        throw QuvarError(QStringLiteral("\"%1\" is too large for a name database.").arg(path));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw QuvarError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()));
    QString text = DecodeText(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    if (text.endsWith(u'\n'))
        text.chop(1);
    if (text.isEmpty())
        return {};
    return text.split(u'\n');
}

void WriteNameDatabase(const QString& path, const QStringList& names) {
    // The new file is renamed over the old one, which a read-only file does not prevent.
    if (FileIsReadOnly(path))
        throw QuvarError(UnableToWriteMessage(path));
    QString text;
    for (const QString& name : names)
        text += name + QStringLiteral("\r\n");
    WriteFileSafely(path, EncodeText(text));
}

void RecentNames::Add(const QString& name) {
    if (Newest.contains(name))
        return;
    Newest.prepend(name);
    const auto at = std::upper_bound(Sorted.begin(), Sorted.end(), name, LessIgnoringCase);
    Sorted.insert(at, name);
}

void RecentNames::Clear() {
    Newest.clear();
    Sorted.clear();
}

QString NameFromDatabase(const NameParts& parts) {
    QString name = SanitizedPart(parts.Base);
    if (parts.IncludeDate)
        name += u'_' + DatePart(parts.Date);
    if (parts.IncludeMag)
        name += u'_' + SanitizedPart(parts.ObjectiveLabel);
    return name + u'_' + NumberPart(parts.Number);
}

QString NameFromRecent(const NameParts& parts) {
    QString name = SanitizedPart(parts.Base);
    if (parts.IncludeMag)
        name += u'_' + SanitizedPart(parts.ObjectiveLabel);
    if (parts.IncludeDate)
        name += u'_' + DatePart(parts.Date);
    return name + u'_' + NumberPart(parts.Number);
}

QStringList SaveOptionsPreview(const TMCsystem& system, int objective, double micrometresPerPixel,
                               const QDate& date, const QString& location1,
                               const QString& location2) {
    return SystemCommentSection(system, objective, micrometresPerPixel, date, location1, location2)
        .mid(1, 4);
}

RenameResult RemoveRenamedOriginal(const QString& oldPath, const QString& newPath) {
    const QFileInfo newFile(newPath);
    if (!newFile.isFile() || newFile.size() <= 0)
        return RenameResult::NoNewFile;
    const QFileInfo oldFile(oldPath);
    if (oldPath.isEmpty() || !oldFile.exists())
        return RenameResult::NoOldFile;
    if (oldFile.canonicalFilePath() == newFile.canonicalFilePath())
        return RenameResult::SameFile;
    return QFile::remove(oldPath) ? RenameResult::Removed : RenameResult::NotRemoved;
}
