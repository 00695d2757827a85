#pragma once
// The outside programs that read our files as users do (exiftool, rdjpgcom, tiffinfo,
// ffprobe, ffmpeg), run on a file and read back.

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <optional>

namespace quvartest {

// The tool's standard output as it printed it, or nothing when the tool is not installed;
// empty when it did not finish within 30 s.
inline std::optional<QByteArray> RunTool(const QString& tool, const QStringList& arguments) {
    const QString path = QStandardPaths::findExecutable(tool);
    if (path.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForFinished(30000))
        return QByteArray();
    return process.readAllStandardOutput();
}

} // namespace quvartest
