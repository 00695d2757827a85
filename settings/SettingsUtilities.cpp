#include "SettingsUtilities.h"

#include "platform/Errors.h"
#include "platform/NumberFormat.h"
#include "platform/Prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace {

// Files of a folder, sorted by name without regard to case (then with it, so the order is
// fixed). withSpecial adds what Linux has besides regular files and links to them: FIFOs,
// sockets, devices and dangling links; none of them is ever a directory.
QFileInfoList FolderFiles(const QString& folder, bool withSpecial) {
    if (folder.isEmpty())
        return {};
    QDir::Filters filters = QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot;
    if (withSpecial)
        filters |= QDir::System;
    QFileInfoList entries = QDir(folder).entryInfoList(filters, QDir::NoSort);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int folded = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.fileName() < b.fileName();
    });
    return entries;
}

bool IsImageFileName(const QString& name) {
    const QString lower = name.toLower();
    return lower.endsWith(u".jpg") || lower.endsWith(u".bmp") || lower.endsWith(u".png") ||
           lower.endsWith(u".tif") || lower.endsWith(u".tiff");
}

QString WithSeparator(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// The folder as the file system resolves it, for comparing two spellings of one folder.
QString Resolved(const QString& folder) {
    if (folder.isEmpty())
        return {};
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : canonical;
}

} // namespace

uint8_t ClampByte(int v) {
    return uint8_t(std::clamp(v, 0, 255));
}

bool IsExistingFile(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return (info.exists() || info.isSymLink()) && !info.isDir();
}

void SanitizeFileName(QString& fileName) {
    static const QString forbidden = QStringLiteral("\"*/:<>?\\|");
    // Control characters too: a NUL cuts the name where the system reads it.
    for (QChar& ch : fileName)
        if (forbidden.contains(ch) || ch.category() == QChar::Other_Control)
            ch = u'_';
}

bool WarnWithDontShowAgain(const QString& text) {
    return AppPrompts().WarnWithDontShowAgain(text);
}

void ListImageFiles(const QString& folder, QStringList& list) {
    // FIFOs and devices stay out: opening one as an image would block.
    for (const QFileInfo& entry : FolderFiles(folder, false))
        if (IsImageFileName(entry.fileName()))
            list << WithSeparator(folder) + entry.fileName();
}

QString GetSpecialFolder(int folderNumber, bool create) {
    QString path;
    if (folderNumber == SpecialFolderMyPictures)
        path = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    else if (folderNumber == SpecialFolderMyVideos)
        path = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (path.isEmpty())
        return {};
    if (create && !QDir().mkpath(path))
        return {};
    return path;
}

double StrToFloatAnySeparator(const QString& text) {
    QChar separator = u'.';
    if (text.contains(u'.') && text.contains(u','))
        separator = QChar(); // both: not a number
    else if (text.contains(u','))
        separator = u',';
    const auto value = separator.isNull() ? std::nullopt : ParseFloat(text, separator);
    if (!value)
        throw QuvarError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return *value;
}

QString BrowseForFolder(const QString& title, const QString& startFolder, bool allowNewFolder) {
    const QString chosen = AppPrompts().ChooseFolder(title, startFolder, allowNewFolder);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        return {};
    return chosen;
}

int CountFiles(const QString& folder) {
    return int(FolderFiles(folder, true).size());
}

void ListFileNames(const QString& folder, QStringList& list) {
    for (const QFileInfo& entry : FolderFiles(folder, true))
        list << entry.fileName();
}

QString LastNonEmptyFileName(const QString& folder) {
    const QFileInfoList entries = FolderFiles(folder, true);
    for (auto it = entries.crbegin(); it != entries.crend(); ++it)
        if (it->size() != 0)
            return it->fileName();
    return {};
}

QString TimeStampName(const QDateTime& now) {
    const QDate date = now.date();
    const QTime time = now.time();
    const QChar zero = u'0';
    return QStringLiteral("%1%2%3_%4%5%6")
        .arg(date.year(), 4, 10, zero)
        .arg(date.month(), 2, 10, zero)
        .arg(date.day(), 2, 10, zero)
        .arg(time.hour(), 2, 10, zero)
        .arg(time.minute(), 2, 10, zero)
        .arg(time.second(), 2, 10, zero);
}

std::vector<ProtectedFolder> ProtectedFolders(const QString& photoFolder,
                                              const QString& programFolder) {
    const std::pair<QStandardPaths::StandardLocation, const char*> standard[] = {
        {QStandardPaths::HomeLocation, "your home folder"},
        {QStandardPaths::DesktopLocation, "your Desktop folder"},
        {QStandardPaths::DocumentsLocation, "your Documents folder"},
        {QStandardPaths::DownloadLocation, "your Downloads folder"},
        {QStandardPaths::MusicLocation, "your Music folder"},
        {QStandardPaths::PicturesLocation, "your Pictures folder"},
        {QStandardPaths::MoviesLocation, "your Videos folder"},
    };
    std::vector<ProtectedFolder> folders;
    for (const auto& [location, description] : standard)
        folders.push_back(
            {QStandardPaths::writableLocation(location), QString::fromLatin1(description)});
    folders.push_back({photoFolder, QStringLiteral("the photo folder")});
    // Kept captures live there; the camera folder is only their way in.
    if (!photoFolder.isEmpty())
        folders.push_back({QDir(photoFolder).filePath(QStringLiteral("Unprocessed")),
                           QStringLiteral("the folder of unprocessed captures")});
    folders.push_back({programFolder, QStringLiteral("the program folder")});
    std::erase_if(folders, [](const ProtectedFolder& f) { return f.Path.isEmpty(); });
    return folders;
}

QString WatchFolderPurgeRefusal(const QString& folder,
                                const std::vector<ProtectedFolder>& protectedFolders) {
    const QString target = Resolved(folder);
    if (target.isEmpty())
        return {};
    const QString prefix = target.endsWith(u'/') ? target : target + u'/';
    const QString start = QStringLiteral("The camera folder %1 was not emptied: ").arg(folder);
    const QString advice = QStringLiteral(
        ". Only a folder of the camera's own is emptied; choose one in Preferences.");
    for (const ProtectedFolder& f : protectedFolders) {
        const QString path = Resolved(f.Path);
        if (path.isEmpty())
            continue;
        if (path == target)
            return start + QStringLiteral("it is ") + f.Description + advice;
        if (path.startsWith(prefix))
            return start + QStringLiteral("it contains ") + f.Description + advice;
    }
    return {};
}

WatchFolderPurge EmptyWatchFolder(const QString& folder, const QString& photoFolder,
                                  const QString& programFolder) {
    WatchFolderPurge purge;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return purge;
    purge.Refusal = WatchFolderPurgeRefusal(folder, ProtectedFolders(photoFolder, programFolder));
    if (!purge.Refusal.isEmpty())
        return purge;

    const QDir dir(Resolved(folder));
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        // A link is an entry of its own: removing it leaves whatever it points to. FIFOs,
        // devices and folders are no camera's pictures, whatever their names.
        if (!IsImageFileName(entry.fileName()) || !(entry.isSymLink() || entry.isFile()))
            continue;
        if (!QFile::remove(dir.filePath(entry.fileName())))
            break;
        ++purge.Deleted;
    }
    return purge;
}
