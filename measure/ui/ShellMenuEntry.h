#pragma once
// The desktop entry that offers "Edit with QUVAR" for images in file managers. It is
// brought up to date in the program folder at every start; the user installs it.

#include <QString>

QString ShellMenuEntryFileName(); // "quvar-edit-with.desktop"

// The entry's text for the executable at executablePath.
QString ShellMenuEntryText(const QString& executablePath);

// Writes the entry unless the same entry is there already; false (and nothing else) when
// the folder is not writable.
bool WriteShellMenuEntry(const QString& programFolder, const QString& executablePath);
