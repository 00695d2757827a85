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

int BuildAVIFromFrames(TAviWriter_2& writer, const QString& folder, QSize avi_size,
                       int frame_time_ms, const QString& file_name,
                       const std::function<void(int frames)>& progress) {
    const QStringList files =
        FrameFilesInTickOrder(QDir(folder).entryList({QStringLiteral("*.bmp")}, QDir::Files));
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
