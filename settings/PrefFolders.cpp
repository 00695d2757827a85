#include "PrefFolders.h"

#include "SettingsUtilities.h"

#include "platform/DateFormat.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString LastComponent(const QString& folder) {
    QString path = folder;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const int slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// The path as the file system resolves it; a folder that is not there yet is resolved as
// far as its parents exist.
QString ResolvedPath(const QString& path) {
    const QFileInfo info(QDir::cleanPath(QDir(path).absolutePath()));
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString parent = info.absolutePath();
    if (parent == info.absoluteFilePath())
        return parent;
    return QDir::cleanPath(ResolvedPath(parent) + u'/' + info.fileName());
}

bool Inside(const QString& inner, const QString& outer) {
    if (inner == outer)
        return true;
    const QString prefix = outer.endsWith(u'/') ? outer : outer + u'/';
    return inner.startsWith(prefix);
}

} // namespace

QString BuildPhotoFolderName(const QString& location, const QString& coordinates, const QDate& date,
                             bool ignoreDate) {
    QString name = location;
    if (!coordinates.isEmpty())
        name += QStringLiteral(" #") + coordinates;
    if (!ignoreDate)
        name += QStringLiteral(" $") + FormatDate(date);
    name.replace(u'\r', u' ').replace(u'\n', u' ');
    SanitizeFileName(name);
    return name;
}

PhotoFolderNameParts ParsePhotoFolderName(const QString& folder) {
    PhotoFolderNameParts parts;
    QString name = LastComponent(folder);
    const int dollar = name.indexOf(u'$');
    if (dollar >= 0) {
        parts.HasDate = true;
        parts.DateText = name.mid(dollar + 1);
        parts.Date = ParseDate(parts.DateText);
        name.truncate(dollar);
    }
    const int hash = name.indexOf(u'#');
    if (hash < 0) {
        parts.Location = name;
    } else {
        parts.Location = name.left(hash);
        parts.Coordinates = name.mid(hash + 1);
    }
    return parts;
}

QString NotADateMessage(const QString& text) {
    return u'\'' + text + QStringLiteral("' is not a valid date");
}

bool PhotoFolderInCameraFolder(const QString& photo, const QString& camera) {
    if (photo.trimmed().isEmpty() || camera.trimmed().isEmpty())
        return false;
    return Inside(ResolvedPath(photo), ResolvedPath(camera));
}

QString PhotoFolderIsCameraFolderWarning() {
    return QStringLiteral("You cannot use this folder to store images\n\rQUVAR uses this folder "
                          "internally.\n\rAll content will be destroyed!\n\r The old folder "
                          "will be selected.");
}

QString CameraFolderNotEmptyWarning() {
    return QStringLiteral("This folder is not empty!\n\rQUVAR will use this folder "
                          "internally.\n\rAll content will be destroyed!\n\rThe old folder "
                          "will be used.\n\rSelect an empty folder.");
}

QString PhotoFolderBrowseStart(const QString& photoFolder) {
    if (!photoFolder.isEmpty() && QFileInfo(photoFolder).isDir())
        return photoFolder;
    QString pictures = GetSpecialFolder(SpecialFolderMyPictures, true);
    if (pictures.isEmpty())
        pictures = QDir::homePath();
    const QString start = pictures + QStringLiteral("/QUVAR");
    QDir().mkpath(start);
    return start;
}

QString CameraFolderBrowseStart(const QString& watchFolder) {
    if (!watchFolder.isEmpty() && QFileInfo(watchFolder).isDir())
        return watchFolder;
    const QString pictures = GetSpecialFolder(SpecialFolderMyPictures, false);
    return pictures.isEmpty() ? QDir::homePath() : pictures;
}

bool CameraFolderIsEmpty(const QString& folder) {
    return CountFiles(folder) == 0;
}

QString NewFolderPath(const QString& parent, const QString& name) {
    QString clean = name;
    clean.replace(u'\r', u' ').replace(u'\n', u' ');
    SanitizeFileName(clean);
    QString base = parent;
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    if (clean.trimmed().isEmpty())
        return base;
    return base + u'/' + clean;
}

std::optional<QString> CreatePhotoFolder(const QString& parent, const QString& name) {
    const QString path = NewFolderPath(parent, name);
    const QString created = QFileInfo(path).fileName();
    // "." and ".." would name the parent or the folder above it, not a new folder.
    if (created == u"." || created == u"..")
        return std::nullopt;
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}
