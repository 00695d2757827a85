#pragma once
// The measuring window's fields that the settings files load and save: the MC-system
// table, folders, naming, appearance and warnings. The measuring-window state derives
// from this record, so the settings code reads and writes the fields without a window.

#include "FontRecord.h"
#include "MCSystems.h"

#include <QDate>
#include <QString>

// The range of stored window positions and sizes: larger values are stale or damaged, and
// window systems take no more (X11 positions and sizes are 16-bit).
constexpr int WindowCoordinateLimit = 32767;

// The longest arrow head read from the settings file, in pixels: longer than any image side.
constexpr int ArrowHeadLengthLimit = 65535;

// The window's normal (restored) rectangle and its state as the settings file keeps them:
// Top and Left of the frame, Width and Height of the client area, each read bounded to
// -WindowCoordinateLimit .. WindowCoordinateLimit (sizes to 0 .. WindowCoordinateLimit).
struct WindowPlacement {
    int Top = 0;
    int Left = 0;
    int Width = 815;
    int Height = 655;
    int State = 0; // 0 normal, 1 maximised, 2 minimised
};

struct TMainSettings {
    // MC systems
    MCSystemTable MCSystems;
    int NrOfMCSystems = 0;
    int DefaultMCSystem = 0;
    int CurrentMCSystem = 0; // -1 = the image's own system

    // Window and display sizes
    WindowPlacement Placement;
    int FotoSizeIndex = 0; // item of the display-size box as stored
    int CaptureImageSize = 0;
    bool UseWidth = true;
    int SelectionFormat = 2; // 1 3:2, 2 4:3, 3 16:9, 4 1:1

    // Folders, files and naming
    QString ProgramFolder; // ends with "/"
    QString PhotoFolder;
    QString SelectedFolder;
    QString AlternativeFolder;
    QString WatchFolder;
    QString PhotoLocation;
    QString PhotoCoordinates;
    QString SaveExtension = QStringLiteral("jpg");
    int NamingScheme = 0;
    int FileCounter = 0;
    QString SampleName = QStringLiteral("IMG");
    QString LastUsedDB;
    bool WriteBmpComment = true;
    bool ShowBottomPanels = true;
    bool SaveGrabbedFrames = true;
    bool AddLocation = false;
    bool WarningOnResize = true;
    bool WarningOnExternalFile = true;
    QDate NewSampleDate; // today, or the "$" date of the photo folder's name

    // Measuring, labels and scale bars
    QString LengthUnit = QString::fromUtf8("µm");
    bool AddUnit = false;
    int MeasurePenWidth = 1;
    ColorRef MeasurePenColor = 0;
    ColorRef UnitBackColor = 0xFFFFFF;
    bool UnitTransparancy = false;
    bool FillArrow = true;
    int ArrowHeadLength = 0;
    bool ScaleAsPercentage = false;
    int ScaleTextHeightPromil = 50;
    int ScaleTextHeightPx = 20;
    int ScaleWidthPromil = 20;
    int ScaleWidthPx = 2;
    int ScaleMarginPromil = 50;
    int ScaleMarginPx = 6;
    int ScaleType = 1;
    int ScaleDivisions = 0;
    int ScalePosition = 0;
    ColorRef ScalePenColor = 0;
    bool ShowScaleText = true;
    bool ScaleTransparent = true;
    FontRecord ScaleFont;
    FontRecord LabelFont;
    FontRecord CopyrightFont;
    QString CopyrightText;
    int CopyrightPosition = 0;
    int LabelPosition = 0;
    int WrapLength = 40;
    int ObjectiveLabelPosition = 0;
};
