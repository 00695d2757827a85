#pragma once
// Playing a sound file to its end, as the shutter sound of a snapshot.

#include <QString>

// Plays the file and returns when it has ended, or after boundMs at the latest. False when
// the file is missing or cannot be played (the caller beeps instead).
bool PlaySoundFile(const QString& path, int boundMs = 3000);
