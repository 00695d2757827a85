#pragma once
// What the recording settings dialog stores (item indexes, whole numbers, the video folder and
// counter); the preview window keeps them in "CamView.ini". The defaults are the file's.

#include <QString>

struct TRecordingSettings {
    bool UseNormalVideo = true;
    int CompressorInUse = 0;
    int VideoSize = 0;
    int NVFPS = 2;
    int TLFPS = 2;
    int NVTimeLimit = 10;
    int TLTimeLimit = 10;
    int TimeUnits = 0; // 0 seconds, 1 minutes, 2 hours
    int TLInterval = 2;
    QString AVIDir;
    int AVINr = 0;
};

// "QUVAR Videos" in the user's video folder, created with any missing parents; empty when
// it cannot be made.
QString DefaultAviFolder();
