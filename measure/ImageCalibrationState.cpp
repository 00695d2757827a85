#include "ImageCalibrationState.h"

#include "imaging/ImageComment.h"
#include "imaging/ImageFiles.h"
#include "measure/Calibration.h"
#include "measure/McSystemAccess.h"
#include "platform/Prompts.h"

namespace {

const QString CommentWord = QStringLiteral("Comment");

// The system the comment describes; a start-state record when none is in use.
const TMCsystem& CommentedSystem(const TMainFields& Main) {
    static const TMCsystem none;
    const TMCsystem* system = CurrentSystem(Main);
    return system ? *system : none;
}

// The index after `from` of the next line holding "Comment", or the number of lines.
qsizetype NextSection(const QStringList& lines, qsizetype from) {
    for (qsizetype i = from + 1; i < lines.size(); ++i)
        if (lines[i].contains(CommentWord))
            return i;
    return lines.size();
}

void ShowCorruptMessage() {
    AppPrompts().Message(QStringLiteral("QUVAR"),
                         QStringLiteral("QUVAR information in image is corrupt.\n\rSelect an "
                                        "MC-system manually."),
                         MessageIcon::Warning);
}

} // namespace

void FillSystemComment(TMainFields& Main, const QString& line1, const QString& line2) {
    const TMCsystem& system = CommentedSystem(Main);
    Main.SystemCommentLines = SystemCommentSection(
        system, system.CurrentObjective, Main.CurrentCalibration, Main.SampleDate, line1, line2);
}

void FillMCSystemComment(TMainFields& Main) {
    const TMCsystem& system = CommentedSystem(Main);
    Main.MCSystemCommentLines =
        MCSystemCommentSection(system, system.CurrentObjective, Main.CurrentCalibration);
}

QString AssembleCommentLines(TMainFields& Main) {
    Main.CommentLines = AssembleComment(Main.SystemCommentLines, Main.MCSystemCommentLines);
    return CommentText(Main.CommentLines);
}

bool ReadMCSystemSection(TMainFields& Main, McPanelView& view) {
    const auto read = ReadCommentSystem(Main.CommentLines);
    if (!read)
        return false;
    Main.MCSystems[-1] = read->System;
    Main.ImageObjective = read->ImageObjective;
    Main.ImageCalibration = read->ImageCalibration;
    Main.CurrentMCSystem = -1;
    view.ShowObjectivePanel(-1);
    return true;
}

CommentReading ReadCommentList(TMainFields& Main, McPanelView& view) {
    const QStringList lines = Main.CommentLines;
    qsizetype p = 0;
    if (!lines.isEmpty() && lines[0].contains(QStringLiteral("UserComment"))) {
        const qsizetype end = NextSection(lines, 0);
        Main.UserCommentLines = lines.mid(0, end);
        p = end;
    }
    if (p >= lines.size())
        return CommentReading::Corrupt;
    const qsizetype end = NextSection(lines, p);
    Main.SystemCommentLines = lines.mid(p, end - p);
    p = end;

    const QStringList& section = Main.SystemCommentLines;
    if (section.size() < 4)
        return CommentReading::Corrupt;
    const auto date = CommentLineDate(section[3]);
    if (!date)
        return CommentReading::Corrupt;
    Main.ImageLocation = section[1];
    Main.ImageCoordinates = section[2];
    Main.SampleDate = *date;

    const bool calibrated = p < lines.size() && ReadMCSystemSection(Main, view);
    // Both sections are regenerated from the system now in use, the comment's own when it
    // was read.
    FillSystemComment(Main, Main.ImageLocation, Main.ImageCoordinates);
    FillMCSystemComment(Main);
    return calibrated ? CommentReading::Calibration : CommentReading::NoCalibration;
}

bool ParseImageComment(TMainFields& Main, McPanelView& view) {
    if (Main.CommentLines.isEmpty() || !Main.CommentLines[0].contains(CommentWord))
        return false;
    Main.UserCommentLines.clear();
    Main.SystemCommentLines.clear();
    Main.MCSystemCommentLines.clear();
    const QString text = CommentText(Main.CommentLines);
    view.ShowComment(text);

    if (Main.CommentLines[0] == QStringLiteral("QUVARUserComment")) {
        const QStringList& lines = Main.CommentLines;
        const auto date = lines.size() >= 4 ? CommentLineDate(lines[3]) : std::nullopt;
        if (!date) {
            // The image itself is sound: it opens without calibration, as in the other layout.
            ShowCorruptMessage();
            return false;
        }
        Main.ImageLocation = lines[1];
        Main.ImageCoordinates = lines[2];
        Main.SampleDate = *date;
        Main.SystemCommentLines = {QStringLiteral("[QUVARSystemComment]"), text};
        const bool calibrated = ReadMCSystemSection(Main, view);
        FillMCSystemComment(Main);
        return calibrated;
    }

    const CommentReading reading = ReadCommentList(Main, view);
    if (reading == CommentReading::Corrupt)
        ShowCorruptMessage();
    return reading == CommentReading::Calibration;
}

ObjectivePanel MakeSimpleSystem(TMainFields& Main) {
    ObjectivePanel panel = UnknownSystemClick(Main);
    Main.ImageState = ImageFromComment;
    Main.MCSystems[-1].Objectives[0].ObjStr = QStringLiteral("1 X ");
    return panel;
}

void DecideImageCalibration(TMainFields& Main, McPanelView& view) {
    const bool commented =
        !Main.CommentLines.isEmpty() && Main.CommentLines[0].contains(CommentWord);
    // A comment that could not be read whole is no calibration: the image is taken as one
    // without comment rather than measured with what the previous image left behind.
    if (commented && ParseImageComment(Main, view)) {
        Main.ImageState = ImageFromComment;
    } else {
        Main.CommentLines.clear();
        Main.ImageState = ImageUnknownSystem;
        const int width = Main.OriginalImage.width();
        int matches = 0;
        for (int i = 0; i < std::clamp(Main.NrOfMCSystems, 0, MaxMCSystems); ++i) {
            if (width <= 0 || Main.MCSystems[i].CaptureWidth != width)
                continue;
            if (++matches == 1) {
                Main.ImageState = ImageAssumed;
                Main.CurrentMCSystem = i;
                view.ShowObjectivePanel(i);
            }
        }
        if (matches > 1) {
            view.SetMCLabelWarning(true);
            if (Main.MCSystems[Main.CurrentMCSystem].Name == QStringLiteral("Unknown"))
                view.SetMCLabelWarning(false);
        }
    }

    // The objective chosen for the image decides, whatever the panel made of it.
    const TMCsystem* system = CurrentSystem(Main);
    if (!system || !IsCalibrated(CurrentObjectiveCalibration(*system)))
        Main.ImageState = ImageUnknownSystem;

    if (Main.ImageState == ImageAssumed) {
        Main.CaptureWidthRatio = 1.0;
    } else if (Main.ImageState == ImageFromComment) {
        Main.CaptureWidthRatio = 1.0;
        Main.CurrentCalibration = EffectiveCalibration(Main).MicrometresPerPixel;
    }
}

void FinishImageCalibration(TMainFields& Main, McPanelView& view) {
    if (Main.ImageState == ImageAssumed && Main.WarningOnExternalFile) {
        const TMCsystem* system = CurrentSystem(Main);
        const QString name = system ? system->Name : QString();
        Main.WarningOnExternalFile = !AppPrompts().WarnWithDontShowAgain(
            QStringLiteral("No calibration info found in this file.\n\rThe system assumes the "
                           "photo was made with the following settings: ") +
            name + QStringLiteral("\n\r") + QStringLiteral("This might be WRONG."));
    }
    if (Main.ImageState == ImageUnknownSystem)
        view.UnknownSystemClick();
    if (Main.CaptureWidthRatio == 0.0) {
        view.SetMCLabelWarning(true);
        const TMCsystem* system = CurrentSystem(Main);
        if (system && system->Name == QStringLiteral("Unknown"))
            view.SetMCLabelWarning(false);
    }
}
