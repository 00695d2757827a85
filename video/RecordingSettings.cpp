#include "RecordingSettings.h"

#include "settings/SettingsUtilities.h"

#include <QDir>

QString DefaultAviFolder() {
    const QString videos = GetSpecialFolder(SpecialFolderMyVideos, true);
    if (videos.isEmpty())
        return {};
    const QString folder = QDir(videos).filePath(QStringLiteral("QUVAR Videos"));
    return QDir().mkpath(folder) ? folder : QString();
}
