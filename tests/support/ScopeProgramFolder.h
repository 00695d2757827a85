#pragma once
// A program folder with one calibrated camera system ("Scope A" with a 10 X "10/0.25 plan"
// objective) and a "Quvar.ini" that names a photo folder and a watched camera folder.

#include "settings/MCSystems.h"

#include <QDir>
#include <QFile>
#include <QString>

namespace quvartest {

// Writes the calibration and the settings file into program and makes both folders; false
// when a file or folder could not be made.
inline bool WriteScopeProgramFolder(const QString& program, const QString& photos,
                                    const QString& cam, int capture_width) {
    if (!QDir().mkpath(photos) || !QDir().mkpath(cam))
        return false;
    MCSystemTable systems;
    TMCsystem& scope = systems[0];
    scope.Name = QStringLiteral("Scope A");
    scope.CaptureWidth = capture_width;
    scope.NrOfObjectives = 1;
    scope.Objectives[0] = {10, QStringLiteral("10/0.25 plan"), 0.8};
    SaveCalibration(systems, 1, program + QStringLiteral("/"));
    QFile ini(program + QStringLiteral("/Quvar.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write("[Directories]\r\nPhotoDir=" + QFile::encodeName(photos) +
              "\r\n[DSLR-CAM]\r\nFromCameraDir=" + QFile::encodeName(cam) + "\r\n");
    return true;
}

} // namespace quvartest
