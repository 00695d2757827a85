#pragma once
// Where the settings files, the manual and the desktop entry live: the executable's
// folder, or QUVAR_PROGRAM_FOLDER when set. Always ends with "/".

#include <QString>

QString ProgramFolder();
// The executable's absolute path (for the desktop entry).
QString ExecutablePath();
