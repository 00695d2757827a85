#pragma once
// The measuring window's state: the image in two sizes, its calibration state, the
// settings fields (from TMainSettings) and the interaction state of the tools. Core code
// and tests take a TMainFields& without a window; the window class derives from it.

#include "imaging/BmpHistory.h"
#include "settings/MainSettingsFields.h"

#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>

enum ImageStateValue : int {
    ImageNone = 0,         // no image yet
    ImageFreshCapture = 1, // calibration of the current system, scaled by CaptureWidthRatio
    ImageAssumed = 2,      // no comment, width equals a configured capture width
    ImageFromComment = 3,  // calibration from the comment or made permanent
    ImageUnknownSystem = 4,
};

enum MeasureModeValue : int {
    ModeTools = 0,
    ModeCopyrightLabel = 2,
    ModeCropPixels = 3,
    ModeTextLabel = 4,
    ModeFreeArea = 5,
    ModeObjectiveLabel = 6,
    ModeCropUnits = 7,
};

enum ActiveToolValue : int {
    ToolCalibrate = 1,
    ToolMeasure = 2,
    ToolClosteriometer = 3,
    ToolArrowOrDot = 4,
    ToolCircleOrOval = 5,
};

// The image files of the current image's folder, for browsing; Tag is the index of the
// current file (-1 when it is not among them).
struct TFileList {
    QStringList Items;
    int Tag = -1;
};

struct TRubberBand {
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

// "QUVAR version 3.0.6"
QString QuvarVersionText();

// The settings as the main settings file can hold them: a selected or alternative folder
// whose name holds a line break, which no settings value can, is not remembered (stored
// empty), so that the other settings are still saved.
TMainSettings StorableSettings(const TMainSettings& settings);

struct TMainFields : TMainSettings {
    TMainFields();

    // Image and calibration
    QImage OriginalImage;
    QImage WorkImage;
    QImage ExposureImage;
    int ImageState = ImageNone;
    double CurrentCalibration = 0;
    double ImageCalibration = 0;
    int ImageObjective = 0;
    double CaptureWidthRatio = 0.0;
    QString CurrentFileName;
    QString OpenedExtension = QStringLiteral("jpg");
    QDate SampleDate;
    QString ImageLocation;
    QString ImageCoordinates;
    QStringList CommentLines;
    QStringList UserCommentLines;
    QStringList SystemCommentLines;
    QStringList MCSystemCommentLines;
    BmpHistory AnnotationHistory; // states of the work image, for Undo and Redo
    BmpHistory CropHistory;       // states of the original image before crops and corrections

    // MC-system panel
    bool UseDSLR = false;
    int ObjectiveButtonsFit = 0;
    bool SizeMenusSwapped = false;

    // Files
    TFileList ListBox1;
    QString LastCapturedName;
    QString VersionText;

    // Scale bar in use
    int ScaleLength = 0;

    // Interaction state
    int MeasureMode = ModeTools;
    int ActiveTool = ToolMeasure;
    bool PositionsInPixels = true;
    TRubberBand RubberBand;
    bool MouseIsDown = false;
    bool PushHistoryOnMouseUp = false;
    bool FreeAreaDrawing = false;
    bool FreeAreaDragging = false;
    bool Busy = false;
    bool BrowsingFolder = false;
};
