#pragma once
// What the AVI tests share: frames made in code, a plain reader of the bytes of a file, and
// the outside tools (ffprobe, ffmpeg) that read our files as a player does.

#include "support/OutsideTool.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace avitest {

// A 24-bit frame: every pixel distinct enough to catch row order and stride faults, the top
// row red and the bottom row blue.
inline QImage PatternFrame(int width, int height, int seed = 0) {
    QImage frame(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.setPixel(x, y, qRgb((x * 7 + seed) & 255, (y * 13 + seed) & 255, (x + y) & 255));
    for (int x = 0; x < width; ++x) {
        frame.setPixel(x, 0, qRgb(255, 0, 0));
        frame.setPixel(x, height - 1, qRgb(0, 0, 255));
    }
    return frame;
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline uint32_t U32(const QByteArray& bytes, qsizetype offset) {
    if (offset < 0 || offset + 4 > bytes.size())
        return 0xDEADBEEF;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | uint8_t(bytes[offset + i]);
    return value;
}

inline QByteArray Tag(const QByteArray& bytes, qsizetype offset) {
    return bytes.mid(offset, 4);
}

using quvartest::RunTool;

// "key=value" lines of ffprobe's stream entries, as a QString of lines.
inline std::optional<QString> ProbeStream(const QString& path, const QString& entries) {
    auto out = RunTool("ffprobe",
                       {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                        "stream=" + entries, "-of", "default=noprint_wrappers=1", path});
    if (!out)
        return std::nullopt;
    return QString::fromUtf8(*out);
}

// The frames of the file's video stream as ffprobe counts them; nothing when ffprobe is not
// installed.
inline std::optional<int> FrameCount(const QString& path) {
    const auto probe = ProbeStream(path, "nb_read_frames");
    if (!probe)
        return std::nullopt;
    return probe->section("nb_read_frames=", 1).trimmed().toInt();
}

// Every frame of the file decoded by ffmpeg as bgr24 at the stream's size.
inline std::optional<QByteArray> DecodeBgr(const QString& path) {
    return RunTool("ffmpeg",
                   {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
}

} // namespace avitest
