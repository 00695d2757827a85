#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

QString ProgramFolder() {
    QString folder = qEnvironmentVariable("QUVAR_PROGRAM_FOLDER");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString ExecutablePath() {
    return QCoreApplication::applicationFilePath();
}
