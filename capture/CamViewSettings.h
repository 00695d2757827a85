#pragma once
// "CamView.ini" and the device files (capture size and fitting per camera), both in the
// program folder and both replaced safely as a whole.

#include "capture/CamViewFields.h"

inline constexpr const char* CamViewIniName = "CamView.ini";

// Reads every key (a missing one gives its default). A size below 1 reads as 640 x 480 and
// an image type outside 0 to 3 as 1 (jpg). An AVIDir that is not an existing folder is
// replaced by "QUVAR Videos" in the user's video folder, which is created.
void LoadCamViewSettings(TCamViewFields& fields, const QString& programFolder);
// Whether "CamView.ini" has the command server running: then the preview window, which owns
// the server, is needed from the start.
bool CommandServerRunsAtStart(const QString& programFolder);
// Rewrites "CamView.ini" (keys nobody reads any more are dropped) and the device file of
// CurrentDevice; a line break in a text is written as a blank. Throws "Unable to write to
// <file>" and leaves the old file whole.
void SaveCamViewSettings(const TCamViewFields& fields, const QString& programFolder);

// programFolder + the device name with " * / : < > ? \ | replaced by "_" + ".dat".
QString DeviceFilePath(const QString& programFolder, const QString& deviceName);
// Both do nothing for an empty device name.
void WriteDeviceFile(const TCamViewFields& fields, const QString& programFolder);
void ReadDeviceFile(TCamViewFields& fields, const QString& programFolder,
                    const QString& deviceName);
