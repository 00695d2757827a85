#pragma once
// Program folders for tests of the measuring window: one camera system "Scope A" in the
// calibration file, and a "Quvar.ini" that names a photo folder and a watched camera folder.

#include "settings/MCSystems.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <initializer_list>

namespace quvartest {

// The calibration file of program with the one system "Scope A" of this capture width and
// these objectives (magnification, label, micrometres per pixel).
inline void SaveScopeA(const QString& program, int capture_width,
                       std::initializer_list<ObjCal> objectives) {
    MCSystemTable systems;
    TMCsystem& scope = systems[0];
    scope.Name = QStringLiteral("Scope A");
    scope.CaptureWidth = capture_width;
    for (const ObjCal& objective : objectives)
        scope.Objectives[scope.NrOfObjectives++] = objective;
    SaveCalibration(systems, 1, program + QStringLiteral("/"));
}

// "Scope A" with a 10 X "10/0.25 plan" objective, the settings file naming photos and cam,
// and both folders; false when a file or folder could not be made.
inline bool WriteScopeProgramFolder(const QString& program, const QString& photos,
                                    const QString& cam, int capture_width) {
    if (!QDir().mkpath(photos) || !QDir().mkpath(cam))
        return false;
    SaveScopeA(program, capture_width, {{10, QStringLiteral("10/0.25 plan"), 0.8}});
    QFile ini(program + QStringLiteral("/Quvar.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write("[Directories]\r\nPhotoDir=" + QFile::encodeName(photos) +
              "\r\n[DSLR-CAM]\r\nFromCameraDir=" + QFile::encodeName(cam) + "\r\n");
    return true;
}

} // namespace quvartest
