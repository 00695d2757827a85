#pragma once
// The preview window's settings and counters, kept in "CamView.ini" and the device files;
// the window holds them, and the settings code and tests take them without a window.

#include "video/RecordingSettings.h"

#include <QString>

// [AVI] is the recording settings it is made of.
struct TCamViewFields : TRecordingSettings {
    // [Device]
    bool UseDeviceDefaultSettings = false; // always false: written as "0"
    QString CurrentDevice;                 // empty: no camera
    bool UseDeviceName = false;
    // [Video]: the requested capture size and the "Fit to Window" check box
    int VideoWidth = 640;
    int VideoHeight = 480;
    bool FitToPreviewWindow = false;
    // [Files]
    int ImageExtention = 1; // 0 ".bmp", 1 ".jpg", 2 ".png", 3 ".tif"
    int CaptureFileType = 0;
    int CaptureNr = 0; // 0 to 99999
    QString Prefix = QStringLiteral("Snapshot");
    int NameBoxIndex = 0; // naming scheme 0 to 3
    bool SnapshotWarning = false;
    // [Sound], [Misc]
    bool SoundEnabled = false;
    bool ShowPanelRight = false;
    // [Hardware]: the COM-port trigger
    bool UseHardwareTrigger = false;
    int PortNumber = 0;
    int PortLine = 0;
    int PortHigh = 0; // bit 0 RTS, bit 1 DTR
    bool PortActive = false;
    // [TCPIPServer]
    bool ServerRunning = false;
    int TCPIPPort = 2500;
    QString TCPIPCommand = QStringLiteral("QUVAR_SNAP");
    // [Warnings]
    bool WarningOnResize = true;
};
