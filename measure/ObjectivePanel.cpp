#include "ObjectivePanel.h"

#include "measure/McSystemAccess.h"

#include <cmath>

namespace {

bool NamedUnknown(const TMCsystem& system) {
    return system.Name.trimmed() == QStringLiteral("Unknown");
}

// Step 4 of the layout: the capture system follows an objective chosen on a system of the
// same name (the image's own record read from a comment of the capture system, say).
void FollowCaptureSystem(TMainFields& Main, const TMCsystem& shown, ObjectivePanel& panel) {
    TMCsystem* capture = CaptureSystem(Main);
    if (!capture || shown.Name != capture->Name)
        return;
    if (ObjectiveInUse(*capture, shown.CurrentObjective))
        capture->CurrentObjective = shown.CurrentObjective;
    const int current = BoundCurrentObjective(*capture);
    panel.NonDefaultObjective = current != capture->DefaultObjective;
    panel.CaptureSystem = CaptureSystemLabels{
        capture->Name, current < 0 ? QString() : capture->Objectives[size_t(current)].ObjStr};
}

void SetCalibrationFrom(TMainFields& Main, const TMCsystem& system, ObjectivePanel& panel) {
    Main.CurrentCalibration = std::abs(CurrentObjectiveCalibration(system));
    panel.Calibration = ShowCalibration(Main, Main.CurrentCalibration);
}

// Record -1 as a one-objective system of the image on display, not calibrated.
void MakeUnknownRecord(TMainFields& Main) {
    Main.CurrentMCSystem = -1;
    TMCsystem& record = Main.MCSystems[-1];
    record.Name = QStringLiteral("Unknown");
    record.CaptureWidth = Main.OriginalImage.width();
    record.NrOfObjectives = 1;
    record.CurrentObjective = 0;
    record.Objectives[0].Obj = 1.0;
    record.Objectives[0].Cal = 0;
    Main.CaptureWidthRatio = Main.OriginalImage.width() > 0 ? 0.0 : 1.0;
    // Nothing is calibrated now; a stale value would reach the next saved comment.
    Main.CurrentCalibration = 0;
}

} // namespace

QString ObjectiveCaption(const TMCsystem& system, int objective) {
    if (NamedUnknown(system))
        return QStringLiteral("???");
    if (!ObjectiveInUse(system, objective))
        return {};
    return system.Objectives[size_t(objective)].ObjStr.trimmed();
}

ObjectivePanel ShowObjectiveButtons(TMainFields& Main, int system) {
    ObjectivePanel panel;
    if (!SystemInUse(Main, system) || Main.NrOfMCSystems == 0) {
        panel.Layout = PanelLayout::Hidden;
        return panel;
    }
    TMCsystem& s = Main.MCSystems[system];
    panel.Layout = PanelLayout::Buttons;
    panel.MicCamLabel = s.Name;
    const int current = BoundCurrentObjective(s);
    const int count = std::min(ObjectivesInUse(s), ObjectiveButtonCount);
    for (int i = 0; i < count; ++i) {
        const double cal = s.Objectives[size_t(i)].Cal;
        ObjectiveButton button{ObjectiveCaption(s, i), ObjectiveFont::Regular, i == current};
        if (!IsCalibrated(cal)) {
            button.Font = ObjectiveFont::Italic;
            button.Caption += QStringLiteral("  ");
        } else if (cal > 0) {
            button.Font = ObjectiveFont::Bold;
        }
        panel.Buttons.push_back(button);
    }
    SetCalibrationFrom(Main, s, panel);
    return panel;
}

ObjectivePanel ShowObjectiveCombo(TMainFields& Main, int system) {
    ObjectivePanel panel;
    if (!SystemInUse(Main, system)) {
        panel.Layout = PanelLayout::Hidden;
        return panel;
    }
    TMCsystem& s = Main.MCSystems[system];
    panel.Layout = PanelLayout::Combo;
    panel.MicCamLabel = s.Name;
    for (int i = 0; i < ObjectivesInUse(s); ++i)
        panel.ComboItems << s.Objectives[size_t(i)].ObjStr;
    panel.ComboIndex = BoundCurrentObjective(s);
    const double cal = CurrentObjectiveCalibration(s);
    panel.ObjInfo = !IsCalibrated(cal) ? QStringLiteral("Not Calibrated")
                    : cal < 0          ? QStringLiteral("Calculated Calibration")
                                       : QStringLiteral("Calibrated");
    SetCalibrationFrom(Main, s, panel);
    return panel;
}

ObjectivePanel ShowObjectivePanel(TMainFields& Main, int system, int buttonsFit) {
    Main.ObjectiveButtonsFit = buttonsFit;
    if (!SystemInUse(Main, system)) {
        ObjectivePanel panel;
        panel.Layout = PanelLayout::Hidden;
        panel.NonDefaultObjective = false;
        return panel;
    }
    const int count = ObjectivesInUse(Main.MCSystems[system]);
    ObjectivePanel panel = buttonsFit < count || count > ObjectiveButtonCount
                               ? ShowObjectiveCombo(Main, system)
                               : ShowObjectiveButtons(Main, system);
    panel.NonDefaultObjective = false;
    FollowCaptureSystem(Main, Main.MCSystems[system], panel);
    return panel;
}

ObjectivePanel ObjectiveClick(TMainFields& Main, int t) {
    TMCsystem* s = CurrentSystem(Main);
    if (!s || !ObjectiveInUse(*s, t))
        return {};
    s->CurrentObjective = t;
    ObjectivePanel panel;
    // An image calibrated from its comment shows its own record; relaying the buttons
    // redraws it with the new choice. The system in use is the one the buttons show.
    if (Main.ImageState == ImageFromComment) {
        panel = ShowObjectiveButtons(Main, Main.CurrentMCSystem);
    } else {
        SetCalibrationFrom(Main, *s, panel);
    }
    FollowCaptureSystem(Main, *s, panel);
    return panel;
}

ObjectivePanel ObjectivesBoxClick(TMainFields& Main, int index) {
    TMCsystem* s = CurrentSystem(Main);
    if (!s || !ObjectiveInUse(*s, index))
        return {};
    s->CurrentObjective = index;
    ObjectivePanel panel = ShowObjectiveCombo(Main, Main.CurrentMCSystem);
    FollowCaptureSystem(Main, *s, panel);
    return panel;
}

std::vector<McSystemMenuItem> BuildMCSystemMenu(const TMainFields& Main) {
    std::vector<McSystemMenuItem> items{{QStringLiteral("Unknown"), -1}};
    for (int i = 0; i < std::clamp(Main.NrOfMCSystems, 0, MaxMCSystems); ++i)
        items.push_back({Main.MCSystems[i].Name, i});
    return items;
}

ObjectivePanel UnknownSystemClick(TMainFields& Main) {
    Main.ImageState = ImageUnknownSystem;
    MakeUnknownRecord(Main);
    Main.MCSystems[-1].DefaultObjective = 0;
    ObjectivePanel panel;
    panel.Layout = PanelLayout::SingleButton;
    panel.MicCamLabel = QStringLiteral("Unknown");
    panel.MicCamWarning = false;
    // The value shown beside "Not Calibrated!" is the unknown system's, not the one the
    // previous image left.
    panel.Calibration = ShowCalibration(Main, Main.CurrentCalibration);
    panel.ShowNotCalibrated = true;
    panel.Buttons = {{QStringLiteral("1 X "), ObjectiveFont::Italic, true}};
    return panel;
}

ObjectivePanel SelectDeviceClick(TMainFields& Main, int k, int buttonsFit) {
    if (k < 0 || !SystemInUse(Main, k))
        return {};
    Main.CurrentMCSystem = k;
    const TMCsystem& system = Main.MCSystems[k];
    const int imageWidth = Main.OriginalImage.width();
    if (imageWidth > 0) {
        if (system.Name == QStringLiteral("Unknown")) {
            Main.CaptureWidthRatio = 1.0;
        } else if (Main.ImageState == ImageFreshCapture) {
            // A system without capture width applies its values as stored, as a capture
            // taken with it does.
            Main.CaptureWidthRatio =
                system.CaptureWidth > 0 ? double(system.CaptureWidth) / imageWidth : 1.0;
        } else if (Main.ImageState == ImageUnknownSystem) {
            Main.ImageState = ImageAssumed;
            Main.CaptureWidthRatio = 1.0;
        } else if (Main.ImageState == ImageFromComment) {
            Main.ImageState = ImageFreshCapture;
            Main.CaptureWidthRatio = 1.0;
        }
    }
    ObjectivePanel panel = ShowObjectivePanel(Main, k, buttonsFit);
    panel.MicCamWarning = false;
    return panel;
}

QString CaptureWidthClick(TMainFields& Main, int fotoSizeIndex, const QString& fotoSizeText) {
    Main.CaptureImageSize = fotoSizeIndex;
    return QStringLiteral("Capture: ") + fotoSizeText;
}
