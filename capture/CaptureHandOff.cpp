#include "CaptureHandOff.h"

#include "capture/FolderMon.h"
#include "imaging/ImageFiles.h"
#include "imaging/JpegComment.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "settings/SettingsUtilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

bool IsArrivalAction(uint8_t action) {
    return action < FolderActionNames.size() && FolderActionNames[action].left(3) == u"New";
}

bool IsCaptureFileName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return !QFileInfo(fileName).fileName().endsWith('.') &&
           (suffix == u"jpg" || suffix == u"tif" || suffix == u"tiff" || suffix == u"bmp" ||
            suffix == u"png");
}

QString LastClosedNonEmptyFileName(const QString& folder, const QSet<QString>* closed) {
    QStringList names;
    ListFileNames(folder, names);
    for (auto it = names.crbegin(); it != names.crend(); ++it) {
        if (closed && !closed->contains(*it))
            continue;
        if (QFileInfo(QDir(folder).filePath(*it)).size() != 0)
            return *it;
    }
    return {};
}

QString CapturedFileName(const QDateTime& now, const QString& systemName,
                         const QString& objectiveLabel, const QString& arrivedName) {
    QString system = systemName;
    QString label = objectiveLabel;
    SanitizeFileName(system);
    SanitizeFileName(label);
    return TimeStampName(now) + '-' + system + '-' + label + '-' + arrivedName;
}

QString FreeFileName(const QString& folder, const QString& name) {
    const QDir dir(folder);
    if (!QFileInfo::exists(dir.filePath(name)) && !QFileInfo(dir.filePath(name)).isSymLink())
        return name;
    const int dot = name.lastIndexOf('.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1_%2%3").arg(stem).arg(n).arg(extension);
        if (!QFileInfo::exists(dir.filePath(candidate)) &&
            !QFileInfo(dir.filePath(candidate)).isSymLink())
            return candidate;
    }
}

CaptureMove MoveCaptureInto(const QString& source, const QString& folder, const QString& name) {
    if (!QDir().mkpath(folder))
        return {
            {},
            QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder))};
    const QString target = QDir(folder).filePath(FreeFileName(folder, name));
    // QFile::rename copies and deletes when the rename crosses file systems, and never
    // replaces an existing target.
    QFile file(source);
    if (!file.rename(target))
        return {{},
                QStringLiteral("Cannot move %1 to %2: %3\nThe file stays in the camera folder.")
                    .arg(QDir::toNativeSeparators(source), QDir::toNativeSeparators(target),
                         file.errorString())};
    return {target, {}};
}

void WriteCaptureComment(const QString& fileName, const QImage& bitmap,
                         const QStringList& commentLines) {
    switch (ImageFileTypeOf(fileName)) {
    case ImageFileType::Jpeg: {
        TJPGComment editor;
        editor.SetFileName(fileName);
        editor.SetComment(EncodeText(CommentText(commentLines)));
        editor.WriteComment();
        break;
    }
    case ImageFileType::Png:
    case ImageFileType::Tiff:
    case ImageFileType::Bmp:
        SaveImageWithComment(bitmap, fileName, commentLines, true);
        break;
    case ImageFileType::None:
        break;
    }
}

QStringList GrabbedImageDialogFilters() {
    return {QStringLiteral("All (jpg; jpeg; png; tif; tiff; bmp; ico) (*.jpg *.jpeg *.png *.tif "
                           "*.tiff *.bmp *.ico)"),
            QStringLiteral("JPEG Image File (*.jpg)"),
            QStringLiteral("JPEG Image File (*.jpeg)"),
            QStringLiteral("PNG Image File (*.png)"),
            QStringLiteral("TIF Image File (*.tif)"),
            QStringLiteral("TIFF Image File (*.tiff)"),
            QStringLiteral("Bitmaps (*.bmp)")};
}

double CaptureWidthRatioOf(int captureWidth, int imageWidth) {
    if (captureWidth == 0 || imageWidth <= 0)
        return 1.0;
    return double(captureWidth) / double(imageWidth);
}

bool CaptureWidthWarning(int captureWidth, int imageWidth, const QString& systemName) {
    if (systemName == u"Unknown" || imageWidth <= 0)
        return false;
    return double(captureWidth) / double(imageWidth) != 1.0;
}
