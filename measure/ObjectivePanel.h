#pragma once
// The MC-system and objective panel as data: which objectives show, how, and what the
// choice of a system or objective does to the calibration state. The window shows the
// records computed here and keeps no rules of its own.

#include "measure/LengthFormat.h"
#include "measure/MainFields.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

constexpr int ObjectiveButtonCount = 20; // RB1 to RB20
constexpr int ObjectiveBoxComboHeight = 80;
constexpr int ObjectiveBoxSingleHeight = 50;

// What the panel's owner does for the calibration-state routines, so they run without
// widgets. The window implements it; tests use a fake.
class McPanelView {
public:
    virtual ~McPanelView() = default;
    // Lay out the objective panel for the record (-1..15): ShowObjectivePanel below, shown.
    virtual void ShowObjectivePanel(int system) = 0;
    // `MicCamLabel` red when on, else black.
    virtual void SetMCLabelWarning(bool on) = 0;
    // Switch to the "Unknown" system: UnknownSystemClick below, shown.
    virtual void UnknownSystemClick() = 0;
    // `CommentMemo` shows the text (empty text empties it).
    virtual void ShowComment(const QString& text) = 0;
};

enum class ObjectiveFont { Regular, Bold, Italic };

struct ObjectiveButton {
    QString Caption;
    ObjectiveFont Font = ObjectiveFont::Regular;
    bool Checked = false;
};

enum class PanelLayout {
    Unchanged,    // leave the objective widgets as they are
    Hidden,       // every button, `ObjectivesBox` and `ObjInfo` hidden
    Buttons,      // Buttons on RB1 onward, the rest hidden; box height below the last one + 12
    Combo,        // `ObjectivesBox` with ComboItems, `ObjInfo`; box height 80
    SingleButton, // the one button of an unknown system; combo hidden, `ObjInfo` empty; height 50
};

// The group "Microscope and Camera": the capture system and its current objective.
struct CaptureSystemLabels {
    QString MCLabel;
    QString ObjectiveLabel; // `MCSobjectivelabel`
};

struct ObjectivePanel {
    PanelLayout Layout = PanelLayout::Unchanged;
    std::optional<QString> MicCamLabel;
    std::optional<bool> MicCamWarning; // red or black when set
    std::vector<ObjectiveButton> Buttons;
    QStringList ComboItems;
    int ComboIndex = -1;
    QString ObjInfo;
    std::optional<CalibrationDisplay> Calibration; // ShowCalibration when set
    bool ShowNotCalibrated = false;          // `NotCalibrated` shown reading "Not Calibrated!"
    std::optional<bool> NonDefaultObjective; // `NonDefaultObjectiveIndicator` red or button face
    std::optional<CaptureSystemLabels> CaptureSystem;
};

// The caption of objective i: its label trimmed, "???" for every objective of a system
// named "Unknown".
QString ObjectiveCaption(const TMCsystem& system, int objective);

// Lays out the panel for the record (-1..15). buttonsFit is how many buttons fit the
// panel's height (kept in ObjectiveButtonsFit); more objectives than fit, or than 20,
// give the combo layout. Sets CurrentCalibration to the magnitude of the current
// objective's calibration. When the system carries the capture system's name, the capture
// system follows its current objective.
ObjectivePanel ShowObjectivePanel(TMainFields& Main, int system, int buttonsFit);
ObjectivePanel ShowObjectiveButtons(TMainFields& Main, int system);
ObjectivePanel ShowObjectiveCombo(TMainFields& Main, int system);

// The user chose objective button t, or item index of `ObjectivesBox`. The window must not
// call these when it checks a button or selects an item itself.
ObjectivePanel ObjectiveClick(TMainFields& Main, int t);
ObjectivePanel ObjectivesBoxClick(TMainFields& Main, int index);

struct McSystemMenuItem {
    QString Caption;
    int Tag = -1; // -1: "Unknown" (UnknownSystemClick); else the index (SelectDeviceClick)
};
std::vector<McSystemMenuItem> BuildMCSystemMenu(const TMainFields& Main);

// The image becomes one of unknown system (state 4): record -1 a one-objective "Unknown"
// system at the image's width, not calibrated; the calibration display shows its 0.
ObjectivePanel UnknownSystemClick(TMainFields& Main);

// The user chose configured system k from the menu.
ObjectivePanel SelectDeviceClick(TMainFields& Main, int k, int buttonsFit);

// "Set Current Image Width as Capture Display Width": stores the display-size item and
// returns the caption of `CaptureWidthLabel`.
QString CaptureWidthClick(TMainFields& Main, int fotoSizeIndex, const QString& fotoSizeText);
