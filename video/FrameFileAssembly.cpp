#include "FrameFileAssembly.h"

#include "imaging/BitmapResize.h"
#include "platform/Errors.h"
#include "video/AviWriter.h"
#include "video/RecordingPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool DeleteFolderFiles(const QString& folder) {
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir())
        return false;
    const QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        QFile::remove(entry.filePath()); // a file that will not go stays, as a subfolder does
    return true;
}

QImage FrameFileAtAviSize(const QImage& frame, QSize avi_size) {
    if (frame.width() == avi_size.width())
        return frame.convertToFormat(QImage::Format_BGR888);
    QImage sized(avi_size, QImage::Format_BGR888);
    BilinearResize(frame, sized);
    return sized;
}

namespace {

// The common name of a frame file: its name without "-<tick>.bmp".
QString RecordingOfFrameFile(const QString& frame_file) {
    return frame_file.left(frame_file.lastIndexOf(u'-'));
}

int AssembleFrames(TAviWriter_2& writer, const QString& folder, const QStringList& files,
                   QSize avi_size, int frame_time_ms, const QString& file_name,
                   const std::function<void(int frames)>& progress) {
    writer.Quality = 10000;
    writer.SetWidth(avi_size.width());
    writer.SetHeight(avi_size.height());
    writer.SetPixelFormat(TPixelFormat::pf24bit);
    writer.Stretch = false;
    writer.SetWavFileName(QString());
    writer.FrameTime = frame_time_ms;
    writer.filename = file_name;
    int frames = 0;
    for (const QString& name : files) {
        const QString path = QDir(folder).filePath(name);
        const QImage loaded(path);
        if (loaded.isNull()) {
            if (frames > 0) {
                writer.FinalizeVideo();
                writer.WriteAvi();
            }
            throw QuvarError(QStringLiteral("Cannot read the frame file %1")
                                 .arg(QDir::toNativeSeparators(path)));
        }
        const QImage frame = FrameFileAtAviSize(loaded, avi_size);
        if (frames == 0)
            writer.InitVideo(frame);
        writer.AddFrame(frame);
        ++frames;
        if (progress)
            progress(frames);
    }
    if (frames > 0) {
        writer.FinalizeVideo();
        writer.WriteAvi();
    }
    return frames;
}

QStringList FrameFiles(const QString& folder) {
    return FrameFilesInTickOrder(QDir(folder).entryList({QStringLiteral("*.bmp")}, QDir::Files));
}

} // namespace

int BuildAVIFromFrames(TAviWriter_2& writer, const QString& folder, QSize avi_size,
                       int frame_time_ms, const QString& file_name,
                       const std::function<void(int frames)>& progress) {
    return AssembleFrames(writer, folder, FrameFiles(folder), avi_size, frame_time_ms, file_name,
                          progress);
}

namespace {

QString UnfinishedMark(const QString& folder, const QString& name) {
    return QDir(folder).filePath(u'.' + name + QStringLiteral(".recording"));
}

} // namespace

bool MarkRecordingUnfinished(const QString& folder, const QString& name) {
    QFile mark(UnfinishedMark(folder, name));
    return mark.open(QIODevice::WriteOnly);
}

void MarkRecordingFinished(const QString& folder, const QString& name) {
    QFile::remove(UnfinishedMark(folder, name));
}

QStringList UnfinishedRecordings(const QString& folder) {
    QStringList names;
    for (const QString& file : FrameFiles(folder)) {
        const QString name = RecordingOfFrameFile(file);
        if (!names.contains(name) && QFileInfo(UnfinishedMark(folder, name)).isFile())
            names.append(name);
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

QString RecoveredVideoName(const QString& avi_folder, const QString& name) {
    const QDir dir(avi_folder);
    QString path = dir.filePath(name + QStringLiteral(".avi"));
    for (int n = 2; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2).avi").arg(name).arg(n));
    return path;
}

QStringList RecoverUnfinishedRecordings(TAviWriter_2& writer, const QString& folder,
                                        const QString& avi_folder, QSize avi_size,
                                        int frame_time_ms) {
    QStringList written;
    const QStringList files = FrameFiles(folder);
    for (const QString& name : UnfinishedRecordings(folder)) {
        QStringList own;
        for (const QString& file : files)
            if (RecordingOfFrameFile(file) == name)
                own.append(file);
        const QString video = RecoveredVideoName(avi_folder, name);
        AssembleFrames(writer, folder, own, avi_size, frame_time_ms, video, {});
        MarkRecordingFinished(folder, name);
        written.append(video);
    }
    return written;
}
