#include "Calibration.h"

#include "imaging/ImageComment.h"
#include "measure/McSystemAccess.h"
#include "platform/NumberFormat.h"
#include "platform/Prompts.h"
#include "settings/MCSystems.h"

#include <cmath>

namespace {

const QString Caption = QStringLiteral("QUVAR");

EffectiveCalibrationResult NotCalibrated() {
    return {0.0, CalibrationNotice::NotCalibrated};
}

} // namespace

EffectiveCalibrationResult EffectiveCalibration(const TMainFields& Main) {
    const int workWidth = Main.WorkImage.width();
    if (workWidth <= 0)
        return {};
    const TMCsystem* system = CurrentSystem(Main);
    const double c = system ? CurrentObjectiveCalibration(*system) : 0.0;
    if (!IsCalibrated(c))
        return NotCalibrated();
    const CalibrationNotice notice =
        c < 0 ? CalibrationNotice::Estimate : CalibrationNotice::Hidden;
    const double originalWidth = Main.OriginalImage.width();

    if (Main.ImageState != ImageFromComment)
        return {originalWidth * std::abs(c) / workWidth * Main.CaptureWidthRatio, notice};

    // The comment's value holds for the image's own objective; another objective of the
    // same system scales it by the ratio of the two calibrations.
    if (!ObjectiveInUse(*system, Main.ImageObjective))
        return NotCalibrated();
    const double imageObjectiveCal = system->Objectives[size_t(Main.ImageObjective)].Cal;
    if (!IsCalibrated(imageObjectiveCal))
        return NotCalibrated();
    const double result = std::abs(c) * (originalWidth * Main.ImageCalibration / workWidth) /
                          std::abs(imageObjectiveCal);
    if (!(result > 0) || !std::isfinite(result))
        return NotCalibrated();
    return {result, notice};
}

CalibrateChoice CalibrateClick(const TMainFields& Main) {
    if (Main.WorkImage.width() <= 0) {
        AppPrompts().Message(Caption, QStringLiteral("No image available"),
                             MessageIcon::Information);
        return CalibrateChoice::NoImage;
    }
    const TMCsystem* system = CurrentSystem(Main);
    if (!system || !ObjectiveInUse(*system, system->CurrentObjective))
        return CalibrateChoice::Proceed;
    const double cal = system->Objectives[size_t(system->CurrentObjective)].Cal;
    if (ObjectiveCaption(*system, system->CurrentObjective) != QStringLiteral("???") &&
        cal > 1e-11) {
        const QString text = QStringLiteral("The calibration value of this objective is ") +
                             FixedText(RoundDecimals(ToDecimal(cal), 6, HalfRounding::ToEven), 6) +
                             QStringLiteral("\n\rDo you really want to change that?");
        if (AppPrompts().Ask(Caption, text, AskButtons::YesNo) != Answer::Yes)
            return CalibrateChoice::Declined;
    }
    return CalibrateChoice::Proceed;
}

bool CalibrateByTwoPoints(TMainFields& Main, double pixelLength, McPanelView& view) {
    const int originalWidth = Main.OriginalImage.width();
    if (originalWidth <= 0) {
        AppPrompts().Message(Caption, QStringLiteral("Load image in measuring window first"),
                             MessageIcon::Information);
        return false;
    }
    const int workWidth = Main.WorkImage.width();
    if (!(pixelLength >= 3) || !std::isfinite(pixelLength) || workWidth <= 0)
        return false;
    TMCsystem* system = CurrentSystem(Main);
    const int objective = system ? BoundCurrentObjective(*system) : -1;
    if (objective < 0) {
        AppPrompts().Message(Caption,
                             QStringLiteral("The MC-system in use has no objective to calibrate."),
                             MessageIcon::Information);
        return false;
    }

    const QString prompt = QStringLiteral("The distance between points was ") +
                           QString::number(RoundHalfEven(pixelLength)) +
                           QStringLiteral(" pixels\r\nEnter the real distance in ") +
                           Main.LengthUnit;
    const auto input =
        AppPrompts().Input(QStringLiteral("Calibration"), prompt, QStringLiteral("50"));
    if (!input)
        return false;
    std::optional<double> distance = ParseFloat(*input, u'.');
    if (distance) {
        if (Main.LengthUnit == QStringLiteral("mm"))
            *distance *= 1000;
        else if (Main.LengthUnit == QStringLiteral("mil"))
            *distance *= 25.4;
    }
    if (!distance || *distance < 0 || !std::isfinite(*distance)) {
        AppPrompts().Message(Caption,
                             QStringLiteral("\"%1\" is not a valid distance.\n\rEnter a positive "
                                            "number, or 0 to remove the calibration.")
                                 .arg(input->trimmed()),
                             MessageIcon::Warning);
        return false;
    }

    const double perWorkPixel = *distance / pixelLength;
    const double perOriginalPixel = perWorkPixel * workWidth / originalWidth;
    // Every value of a system refers to its capture width; a new value is stored at that
    // width, so the other objectives keep their meaning. Only a system that has none yet
    // takes the image's width.
    if (system->CaptureWidth <= 0)
        system->CaptureWidth = originalWidth;
    const double stored = perOriginalPixel * originalWidth / system->CaptureWidth;

    const double magnification = system->Objectives[size_t(objective)].Obj;
    for (int i = 0; i < ObjectivesInUse(*system); ++i) {
        ObjCal& o = system->Objectives[size_t(i)];
        if (i == objective)
            o.Cal = stored;
        else if (o.Cal == 0)
            o.Cal = o.Obj != 0 ? -(stored * magnification / o.Obj) : 0.0;
    }

    // The image measures with the new value in every state.
    Main.ImageCalibration = perOriginalPixel;
    Main.ImageObjective = objective;
    Main.CaptureWidthRatio = double(system->CaptureWidth) / originalWidth;

    view.ShowObjectivePanel(Main.CurrentMCSystem);
    Main.CurrentCalibration = EffectiveCalibration(Main).MicrometresPerPixel;
    SaveCalibration(Main.MCSystems, Main.NrOfMCSystems, Main.ProgramFolder);
    return true;
}
