#include "CaptureHandOff.h"

#include "capture/FolderMon.h"
#include "imaging/ImageFiles.h"
#include "imaging/JpegComment.h"
#include "platform/Errors.h"
#include "platform/FileMove.h"
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

bool IsArrivedCapture(const QString& path) {
    const QFileInfo info(path); // follows a link: its target is what would be taken
    return IsCaptureFileName(info.fileName()) && info.isFile() && info.size() > 0;
}

QString CapturedFileName(const QDateTime& now, const QString& systemName,
                         const QString& objectiveLabel, const QString& arrivedName) {
    QString system = systemName;
    QString label = objectiveLabel;
    SanitizeFileName(system);
    SanitizeFileName(label);
    return TimeStampName(now) + '-' + system + '-' + label + '-' + arrivedName;
}

namespace {

bool Taken(const QDir& dir, const QString& name) {
    const QFileInfo entry(dir.filePath(name));
    return entry.exists() || entry.isSymLink();
}

// The capture goes into the camera folder's own "Not moved" subfolder: a rename within one
// file system, which a full photo disk or a too long name cannot stop. Empty when it fails.
QString KeepNotMoved(const QString& source) {
    const QFileInfo info(source);
    const QString folder = QDir(info.absolutePath()).filePath(QLatin1String(NotMovedFolderName));
    if (!QDir().mkpath(folder))
        return {};
    const QString kept = QDir(folder).filePath(FreeFileName(folder, info.fileName()));
    try {
        MoveFileSafely(source, kept);
    } catch (const QuvarError&) {
        return {};
    }
    return kept;
}

} // namespace

QString FreeFileName(const QString& folder, const QString& name) {
    const QDir dir(folder);
    const int limit = FileNameLimit(folder);
    const QString fitted = FitFileName(name, limit);
    if (!Taken(dir, fitted))
        return fitted;
    for (int n = 2;; ++n) {
        // The number is kept whole: the name gives way to it.
        const QString number = QStringLiteral("_%1").arg(n);
        const QString cut = FitFileName(name, limit - int(QFile::encodeName(number).size()));
        const qsizetype dot = cut.lastIndexOf(u'.');
        const QString candidate = dot > 0 ? cut.left(dot) + number + cut.mid(dot) : cut + number;
        if (!Taken(dir, candidate))
            return candidate;
    }
}

CaptureMove MoveCaptureInto(const QString& source, const QString& folder, const QString& name) {
    QString reason;
    QString target;
    if (!QDir().mkpath(folder)) {
        reason =
            QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
    } else {
        target = QDir(folder).filePath(FreeFileName(folder, name));
        try {
            MoveFileSafely(source, target);
            return {target, {}};
        } catch (const QuvarError& error) {
            reason = error.message();
        }
    }
    const QString kept = KeepNotMoved(source);
    const QString where =
        kept.isEmpty()
            ? QStringLiteral("The file stays in the camera folder.")
            : QStringLiteral("The file is kept as %1.").arg(QDir::toNativeSeparators(kept));
    return {{}, reason + u'\n' + where};
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
