#include "measure/Calibration.h"
#include "measure/ImageCalibrationState.h"
#include "measure/ObjectivePanel.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"

#include "imaging/ImageComment.h"
#include "imaging/ImageFiles.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The panel as the window keeps it: every layout goes through the core routines.
struct FakePanel : McPanelView {
    explicit FakePanel(TMainFields& main) : Main(main) {}
    void ShowObjectivePanel(int system) override {
        shownSystems.push_back(system);
        last = ::ShowObjectivePanel(Main, system, 20);
    }
    void SetMCLabelWarning(bool on) override { warnings.push_back(on); }
    void UnknownSystemClick() override {
        ++unknownClicks;
        last = ::UnknownSystemClick(Main);
    }
    void ShowComment(const QString& text) override { comment = text; }

    TMainFields& Main;
    std::vector<int> shownSystems;
    std::vector<bool> warnings;
    int unknownClicks = 0;
    QString comment;
    ObjectivePanel last;
};

ObjCal Objective(double magnification, double cal) {
    return {magnification, QString::number(magnification) + QStringLiteral(" X"), cal};
}

TMCsystem System(const QString& name, int captureWidth, std::initializer_list<ObjCal> objectives) {
    TMCsystem system;
    system.Name = name;
    system.CaptureWidth = captureWidth;
    for (const ObjCal& o : objectives)
        system.Objectives[size_t(system.NrOfObjectives++)] = o;
    return system;
}

QImage Image(int width) {
    QImage image(width, width / 2, QImage::Format_BGR888);
    image.fill(0);
    return image;
}

class CalibrationState : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        Main.ProgramFolder = folder.path() + QStringLiteral("/");
    }
    // An image originalWidth wide shown displayWidth wide.
    void Show(int originalWidth, int displayWidth) {
        Main.OriginalImage = Image(originalWidth);
        Main.WorkImage = Image(displayWidth);
    }
    void Configure(std::initializer_list<TMCsystem> systems) {
        int i = 0;
        for (const TMCsystem& s : systems)
            Main.MCSystems[i++] = s;
        Main.NrOfMCSystems = i;
    }
    double Effective() const { return EffectiveCalibration(Main).MicrometresPerPixel; }

    QTemporaryDir folder;
    ScriptedPrompts prompts;
    TMainFields Main;
    FakePanel panel{Main};
};

} // namespace

// ---- Effective calibration --------------------------------------------------------------

TEST_F(CalibrationState, EffectiveCalibrationOverTheStates) {
    // 10X measured 0.5 and 40X estimated 0.125 at capture width 4000; 4X not calibrated.
    const TMCsystem bench = System(QStringLiteral("Bench"), 4000,
                                   {Objective(10, 0.5), Objective(40, -0.125), Objective(4, 0)});
    struct Case {
        int state;
        int system;
        int objective;
        double ratio;
        int imageObjective;
        double imageObjectiveCal; // of record -1
        double expected;
        CalibrationNotice notice;
    };
    const Case cases[] = {
        // 2000 pixels shown 1000 wide: 0.5 x 4000 / 1000.
        {ImageFreshCapture, 0, 0, 2.0, 0, 0.5, 2.0, CalibrationNotice::Hidden},
        {ImageAssumed, 0, 1, 1.0, 0, 0.5, 0.25, CalibrationNotice::Estimate},
        {ImageUnknownSystem, 0, 0, 0.5, 0, 0.5, 0.5, CalibrationNotice::Hidden},
        {ImageAssumed, 0, 2, 1.0, 0, 0.5, 0, CalibrationNotice::NotCalibrated},
        // From the comment: 0.3 per original pixel with objective 0, shown at half size,
        // then scaled by the chosen objective against the image's own.
        {ImageFromComment, -1, 0, 1.0, 0, 0.5, 0.6, CalibrationNotice::Hidden},
        {ImageFromComment, -1, 1, 1.0, 0, 0.5, 0.15, CalibrationNotice::Estimate},
        // The image's objective holds an estimate: its magnitude counts.
        {ImageFromComment, -1, 1, 1.0, 0, -0.5, 0.15, CalibrationNotice::Estimate},
        // Nothing to scale by: not calibrated instead of a division by zero.
        {ImageFromComment, -1, 1, 1.0, 0, 0, 0, CalibrationNotice::NotCalibrated},
        {ImageFromComment, -1, 1, 1.0, 7, 0.5, 0, CalibrationNotice::NotCalibrated},
    };
    Configure({bench});
    Show(2000, 1000);
    Main.ImageCalibration = 0.3;
    for (const Case& c : cases) {
        Main.MCSystems[-1] = bench;
        Main.MCSystems[-1].Objectives[0].Cal = c.imageObjectiveCal;
        Main.ImageState = c.state;
        Main.CurrentMCSystem = c.system;
        Main.MCSystems[c.system].CurrentObjective = c.objective;
        Main.CaptureWidthRatio = c.ratio;
        Main.ImageObjective = c.imageObjective;
        const auto result = EffectiveCalibration(Main);
        EXPECT_DOUBLE_EQ(result.MicrometresPerPixel, c.expected) << c.state << " " << c.objective;
        EXPECT_EQ(result.Notice, c.notice) << c.state << " " << c.objective;
    }

    Main.WorkImage = QImage();
    EXPECT_EQ(EffectiveCalibration(Main).Notice, CalibrationNotice::Unchanged);
    EXPECT_EQ(Effective(), 0);
}

TEST_F(CalibrationState, IndicesFromFilesAreBounded) {
    Configure({System(QStringLiteral("A"), 2000, {Objective(10, 0.5), Objective(40, 0.1)})});
    Show(2000, 2000);
    Main.ImageState = ImageAssumed;
    Main.CaptureWidthRatio = 1.0;
    Main.MCSystems[0].CurrentObjective = 9;
    const ObjectivePanel shown = ShowObjectivePanel(Main, 0, 20);
    EXPECT_EQ(Main.MCSystems[0].CurrentObjective, 0);
    EXPECT_TRUE(shown.Buttons[0].Checked);
    EXPECT_DOUBLE_EQ(Effective(), 0.5);

    // A capture system and a system in use beyond the configured ones are no systems.
    Main.DefaultMCSystem = 5;
    EXPECT_FALSE(ShowObjectivePanel(Main, 0, 20).CaptureSystem);
    Main.CurrentMCSystem = 3;
    EXPECT_EQ(EffectiveCalibration(Main).Notice, CalibrationNotice::NotCalibrated);
    EXPECT_EQ(ShowObjectivePanel(Main, 3, 20).Layout, PanelLayout::Hidden);
}

// ---- Two-point calibration ----------------------------------------------------------------

TEST_F(CalibrationState, TwoPointsOnAnImageShownAtHalfWidth) {
    for (const char* unit : {"\xC2\xB5m", "mm"}) {
        Configure({System(QStringLiteral("A"), 2000, {Objective(10, 0)})});
        Main.LengthUnit = QString::fromUtf8(unit);
        Main.CurrentMCSystem = 0;
        Main.ImageState = ImageAssumed;
        Main.CaptureWidthRatio = 1.0;
        Show(2000, 1000);
        prompts.inputs = {Main.LengthUnit == QStringLiteral("mm") ? QStringLiteral("0.05")
                                                                  : QStringLiteral("50")};
        ASSERT_TRUE(CalibrateByTwoPoints(Main, 100, panel));
        EXPECT_DOUBLE_EQ(Main.MCSystems[0].Objectives[0].Cal, 0.25) << unit;
        EXPECT_EQ(Main.MCSystems[0].CaptureWidth, 2000);
        EXPECT_DOUBLE_EQ(Effective(), 0.5);
        EXPECT_DOUBLE_EQ(Main.CurrentCalibration, 0.5);
    }
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Calibration"));
    EXPECT_EQ(prompts.shown.back().text,
              QStringLiteral("The distance between points was 100 pixels\r\nEnter the real "
                             "distance in mm"));
    // Written at once, and only the configured systems.
    MCSystemTable stored;
    ASSERT_EQ(LoadCalibration(stored, Main.ProgramFolder), 1);
    EXPECT_DOUBLE_EQ(stored[0].Objectives[0].Cal, 0.25);
}

TEST_F(CalibrationState, TwoPointsGiveEstimatesToUncalibratedObjectives) {
    Configure({System(QStringLiteral("A"), 2000,
                      {Objective(10, 0), Objective(40, 0), Objective(4, 2.0), Objective(0, 0)})});
    Main.CurrentMCSystem = 0;
    Main.ImageState = ImageAssumed;
    Main.CaptureWidthRatio = 1.0;
    Show(2000, 2000);
    prompts.inputs = {QStringLiteral("50")};
    ASSERT_TRUE(CalibrateByTwoPoints(Main, 100, panel));
    const auto& o = Main.MCSystems[0].Objectives;
    EXPECT_DOUBLE_EQ(o[0].Cal, 0.5);
    EXPECT_DOUBLE_EQ(o[1].Cal, -0.125);
    EXPECT_DOUBLE_EQ(o[2].Cal, 2.0);
    EXPECT_EQ(o[3].Cal, 0);
    EXPECT_EQ(panel.shownSystems, std::vector<int>{0});

    Main.MCSystems[0].CurrentObjective = 1;
    EXPECT_EQ(EffectiveCalibration(Main).Notice, CalibrationNotice::Estimate);
    Main.MCSystems[0].CurrentObjective = 3;
    EXPECT_EQ(EffectiveCalibration(Main).Notice, CalibrationNotice::NotCalibrated);
}

TEST_F(CalibrationState, TwoPointsKeepTheCaptureWidthAndEveryValuesMeaning) {
    // Values at 4000 pixels; the image is 2000 wide (a smaller capture) shown 1000 wide.
    // Storing the new value at the image's width would make the 40X value mean twice as
    // much, and a ratio left at 2 would double every measurement.
    const TMCsystem bench =
        System(QStringLiteral("Bench"), 4000, {Objective(10, 0), Objective(40, 0.1)});
    for (int state : {ImageFreshCapture, ImageAssumed, ImageFromComment, ImageUnknownSystem}) {
        Configure({bench});
        Main.MCSystems[-1] = bench;
        Main.CurrentMCSystem = state == ImageFromComment ? -1 : 0;
        Main.ImageState = state;
        Main.CaptureWidthRatio = 2.0;
        Main.ImageObjective = 1;
        Main.ImageCalibration = 0.7;
        Show(2000, 1000);
        if (state == ImageUnknownSystem)
            UnknownSystemClick(Main);
        prompts.inputs = {QStringLiteral("50")};
        ASSERT_TRUE(CalibrateByTwoPoints(Main, 100, panel));
        const TMCsystem& s = Main.MCSystems[Main.CurrentMCSystem];
        const int width = state == ImageUnknownSystem ? 2000 : 4000;
        EXPECT_EQ(s.CaptureWidth, width) << state;
        EXPECT_DOUBLE_EQ(s.Objectives[0].Cal, 0.25 * 2000 / width) << state;
        if (state != ImageUnknownSystem) {
            EXPECT_DOUBLE_EQ(s.Objectives[1].Cal, 0.1) << state;
        }
        EXPECT_DOUBLE_EQ(Effective(), 0.5) << state; // 50 µm over 100 display pixels
        EXPECT_DOUBLE_EQ(Main.CaptureWidthRatio, double(width) / 2000) << state;
    }
}

TEST_F(CalibrationState, TwoPointsRefuseBadDistancesAndChangeNothing) {
    Configure({System(QStringLiteral("A"), 2000, {Objective(10, 0.5), Objective(40, 0)})});
    Main.CurrentMCSystem = 0;
    Main.ImageState = ImageAssumed;
    Main.CaptureWidthRatio = 1.0;
    Show(2000, 2000);
    const TMCsystem before = Main.MCSystems[0];
    for (const char* text : {"-5", "abc", "1e999", "inf", "", "0,5"}) {
        prompts.shown.clear();
        prompts.inputs = {QString::fromLatin1(text)};
        EXPECT_FALSE(CalibrateByTwoPoints(Main, 100, panel)) << text;
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_TRUE(prompts.shown[1].text.contains(QStringLiteral("is not a valid distance")));
    }
    prompts.shown.clear();
    prompts.inputs = {std::nullopt}; // Cancel
    EXPECT_FALSE(CalibrateByTwoPoints(Main, 100, panel));
    EXPECT_FALSE(CalibrateByTwoPoints(Main, 2.9, panel)); // too short: nothing asked
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(Main.MCSystems[0], before);
    EXPECT_FALSE(QFile::exists(Main.ProgramFolder + CalibrationFileName()));

    // 0 removes the calibration and gives no estimates.
    prompts.inputs = {QStringLiteral("0")};
    EXPECT_TRUE(CalibrateByTwoPoints(Main, 100, panel));
    EXPECT_EQ(Main.MCSystems[0].Objectives[0].Cal, 0);
    EXPECT_EQ(Main.MCSystems[0].Objectives[1].Cal, 0);
    EXPECT_EQ(EffectiveCalibration(Main).Notice, CalibrationNotice::NotCalibrated);

    Main.OriginalImage = QImage();
    prompts.shown.clear();
    EXPECT_FALSE(CalibrateByTwoPoints(Main, 100, panel));
    EXPECT_EQ(prompts.Texts(), QStringList{QStringLiteral("Load image in measuring window first")});
}

TEST_F(CalibrationState, CalibrateToolAsksBeforeReplacingAMeasuredValue) {
    Configure({System(QStringLiteral("A"), 2000, {Objective(10, 0.5), Objective(40, -0.125)}),
               System(QStringLiteral(" Unknown "), 2000, {Objective(10, 0.5)})});
    Main.CurrentMCSystem = 0;
    EXPECT_EQ(CalibrateClick(Main), CalibrateChoice::NoImage);
    EXPECT_EQ(prompts.Texts(), QStringList{QStringLiteral("No image available")});

    Show(2000, 1000);
    prompts.shown.clear();
    prompts.answers = {Answer::No, Answer::Yes};
    EXPECT_EQ(CalibrateClick(Main), CalibrateChoice::Declined);
    EXPECT_EQ(prompts.Texts(), QStringList{QStringLiteral("The calibration value of this "
                                                          "objective is 0.500000\n\rDo you "
                                                          "really want to change that?")});
    EXPECT_EQ(CalibrateClick(Main), CalibrateChoice::Proceed);

    prompts.shown.clear();
    Main.MCSystems[0].CurrentObjective = 1; // an estimate
    EXPECT_EQ(CalibrateClick(Main), CalibrateChoice::Proceed);
    Main.CurrentMCSystem = 1; // shown as "???"
    EXPECT_EQ(CalibrateClick(Main), CalibrateChoice::Proceed);
    EXPECT_TRUE(prompts.shown.empty());
}

// ---- Reading the comment on loading ---------------------------------------------------------

namespace {

QStringList LoadedLines(const QString& text) {
    return text.split(QStringLiteral("\r\n"));
}

} // namespace

TEST_F(CalibrationState, ACommentWrittenIsReadBackAsTheImagesCalibration) {
    // Saved from a 1000-pixel display of a 2000-pixel capture: 0.5 µm per saved pixel.
    Configure({System(QStringLiteral("Bench"), 2000, {Objective(10, 0.25), Objective(40, 0)})});
    Main.CurrentMCSystem = 0;
    Main.CurrentCalibration = 0.5;
    Main.SampleDate = QDate(2024, 5, 17);
    FillSystemComment(Main, QStringLiteral("Pond 3"), QStringLiteral("52.1N"));
    FillMCSystemComment(Main);
    const QString text = AssembleCommentLines(Main);

    Main.MCSystems[0].CaptureWidth = 3000; // no width match: only the comment can tell
    Main.CommentLines = LoadedLines(text);
    Main.SampleDate = QDate();
    Show(1000, 500);
    DecideImageCalibration(Main, panel);
    EXPECT_EQ(Main.ImageState, ImageFromComment);
    EXPECT_EQ(Main.CurrentMCSystem, -1);
    EXPECT_EQ(Main.MCSystems[-1].Name, QStringLiteral("Bench"));
    EXPECT_EQ(Main.ImageCalibration, 0.5);
    EXPECT_EQ(Main.SampleDate, QDate(2024, 5, 17));
    EXPECT_EQ(Main.ImageLocation, QStringLiteral("Pond 3"));
    EXPECT_EQ(panel.comment, CommentText(LoadedLines(text)));
    EXPECT_EQ(panel.shownSystems, std::vector<int>{-1});
    EXPECT_EQ(Main.CaptureWidthRatio, 1.0);
    EXPECT_DOUBLE_EQ(Main.CurrentCalibration, 1.0); // shown at half size
    FinishImageCalibration(Main, panel);
    EXPECT_EQ(panel.unknownClicks, 0);

    // The other objective of the image's system is measured in proportion.
    Main.MCSystems[-1].Objectives[1].Cal = 0.0625;
    EXPECT_EQ(ObjectiveClick(Main, 1).Calibration->Text, QStringLiteral("0.062500"));
    EXPECT_DOUBLE_EQ(Effective(), 0.25);
}

TEST_F(CalibrationState, ABrokenCommentLeavesNothingOfItselfBehind) {
    // The previous image's own system and calibration.
    const TMCsystem previous = System(QStringLiteral("Old"), 1000, {Objective(10, 0.7)});
    Main.MCSystems[-1] = previous;
    Main.ImageCalibration = 0.7;
    Main.ImageObjective = 0;
    Configure({System(QStringLiteral("Bench"), 2000, {Objective(10, 0.25)})});
    Show(2000, 1000);

    QStringList comment =
        MCSystemCommentSection(System(QStringLiteral("New"), 2000, {Objective(4, 1.0)}), 0, 1.0);
    comment.prepend(QStringLiteral("SampleDate = 2024-05-17"));
    comment.prepend(QString());
    comment.prepend(QString());
    comment.prepend(QStringLiteral("[QUVARSystemComment]"));
    comment.replace(comment.indexOf(QStringLiteral("NrOfObjectives = 1")),
                    QStringLiteral("NrOfObjectives = 40"));
    Main.CommentLines = comment;
    DecideImageCalibration(Main, panel);

    EXPECT_EQ(Main.MCSystems[-1], previous);
    EXPECT_EQ(Main.ImageCalibration, 0.7);
    // Taken as an image without comment: the configured system of its width.
    EXPECT_EQ(Main.ImageState, ImageAssumed);
    EXPECT_EQ(Main.CurrentMCSystem, 0);
    EXPECT_TRUE(Main.CommentLines.isEmpty());
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(CalibrationState, CorruptCommentsInBothLayoutsAreReportedAndTheLoadGoesOn) {
    const QString corrupt =
        QStringLiteral("QUVAR information in image is corrupt.\n\rSelect an MC-system manually.");
    const QStringList comments[] = {
        {QStringLiteral("[QUVARSystemComment]"), QStringLiteral("Pond"),
         QStringLiteral("SampleDate = 17.05.2024")},
        {QStringLiteral("[QUVARSystemComment]"), QStringLiteral("Pond"), QStringLiteral("x"),
         QStringLiteral("SampleDate = 2024-13-01"), QStringLiteral("[QUVARMCSystemComment]")},
        {QStringLiteral("QUVARUserComment"), QStringLiteral("Pond")},
        {QStringLiteral("QUVARUserComment"), QStringLiteral("Pond"), QStringLiteral("x"),
         QStringLiteral("no date")},
    };
    for (const QStringList& comment : comments) {
        prompts.shown.clear();
        Main.CommentLines = comment;
        Show(1234, 1234);
        DecideImageCalibration(Main, panel);
        EXPECT_EQ(prompts.Texts(), QStringList{corrupt}) << comment.join(u'|').toStdString();
        EXPECT_EQ(Main.ImageState, ImageUnknownSystem);
        FinishImageCalibration(Main, panel);
        EXPECT_EQ(Main.MCSystems[-1].Name, QStringLiteral("Unknown"));
    }
}

TEST_F(CalibrationState, UserCommentLayoutReadsTheWholeComment) {
    Main.CommentLines = {
        QStringLiteral("QUVARUserComment"),
        QStringLiteral("Pond 3"),
        QStringLiteral("52.1N"),
        QStringLiteral("SampleDate = 2019-03-04"),
        QStringLiteral("microscope = Old"),
        QStringLiteral("CaptureWidth = 800"),
        QStringLiteral("ImageObj = 0"),
        QStringLiteral("um/pixel = 0.4"),
        QStringLiteral("cal1 = 9"), // counted: one objective
        QStringLiteral("obj0 = 10"),
        QStringLiteral("cal0 = 0.4"),
    };
    Show(800, 800);
    DecideImageCalibration(Main, panel);
    EXPECT_EQ(Main.ImageState, ImageFromComment);
    EXPECT_EQ(Main.MCSystems[-1].Name, QStringLiteral("Old"));
    EXPECT_EQ(Main.MCSystems[-1].Objectives[0].ObjStr, QStringLiteral("10 X"));
    EXPECT_EQ(Main.SampleDate, QDate(2019, 3, 4));
    EXPECT_EQ(Main.SystemCommentLines.size(), 2);
    EXPECT_DOUBLE_EQ(Effective(), 0.4);
}

TEST_F(CalibrationState, ImageWithoutCommentTakesTheFirstSystemOfItsWidth) {
    Configure({System(QStringLiteral("Narrow"), 1000, {Objective(10, 0.5)}),
               System(QStringLiteral("Wide A"), 3000, {Objective(10, 0.3)}),
               System(QStringLiteral("Wide B"), 3000, {Objective(10, 0.2)})});
    Main.CommentLines = {QStringLiteral("JFIF picture")};
    Show(3000, 1500);
    DecideImageCalibration(Main, panel);
    EXPECT_EQ(Main.ImageState, ImageAssumed);
    EXPECT_EQ(Main.CurrentMCSystem, 1);
    EXPECT_EQ(panel.warnings, std::vector<bool>{true});
    EXPECT_EQ(Main.CaptureWidthRatio, 1.0);
    FinishImageCalibration(Main, panel);
    EXPECT_EQ(prompts.Texts(),
              QStringList{QStringLiteral(
                  "No calibration info found in this file.\n\rThe system assumes the photo was "
                  "made with the following settings: Wide A\n\rThis might be WRONG.")});
    EXPECT_DOUBLE_EQ(Effective(), 0.6);

    // Ticking "Don't show this window again" silences it.
    prompts.dontShowAgain = {true};
    FinishImageCalibration(Main, panel);
    EXPECT_FALSE(Main.WarningOnExternalFile);
}

TEST_F(CalibrationState, UncalibratedImageObjectiveEndsAsUnknownSystem) {
    Main.CommentLines = LoadedLines(CommentText(MCSystemCommentSection(
        System(QStringLiteral("Bench"), 2000, {Objective(10, 0.5), Objective(40, 0)}), 1, 0.1)));
    Main.CommentLines.prepend(QStringLiteral("SampleDate = 2024-05-17"));
    Main.CommentLines.prepend(QString());
    Main.CommentLines.prepend(QString());
    Main.CommentLines.prepend(QStringLiteral("[QUVARSystemComment]"));
    Show(2000, 1000);
    DecideImageCalibration(Main, panel);
    EXPECT_EQ(Main.ImageState, ImageUnknownSystem);
    FinishImageCalibration(Main, panel);
    EXPECT_EQ(panel.unknownClicks, 1);
    EXPECT_EQ(Main.CurrentMCSystem, -1);
    EXPECT_EQ(Main.MCSystems[-1].Name, QStringLiteral("Unknown"));
    EXPECT_EQ(Main.CaptureWidthRatio, 0.0);
    EXPECT_EQ(Main.CurrentCalibration, 0);
    EXPECT_EQ(panel.warnings, (std::vector<bool>{true, false}));
}

// ---- The panel ----------------------------------------------------------------------------

TEST_F(CalibrationState, PanelCaptionsFontsAndLayouts) {
    Configure({System(QStringLiteral("Bench"), 2000,
                      {Objective(10, 0.5), Objective(40, -0.125), Objective(4, 0)}),
               System(QStringLiteral("Unknown"), 2000, {Objective(10, 0.5)})});
    Main.MCSystems[0].Objectives[0].ObjStr = QStringLiteral("  10 plan ");
    Main.MCSystems[0].CurrentObjective = 1;

    const ObjectivePanel buttons = ShowObjectivePanel(Main, 0, 3);
    ASSERT_EQ(buttons.Layout, PanelLayout::Buttons);
    ASSERT_EQ(buttons.Buttons.size(), 3u);
    EXPECT_EQ(buttons.Buttons[0].Caption, QStringLiteral("10 plan"));
    EXPECT_EQ(buttons.Buttons[0].Font, ObjectiveFont::Bold);
    EXPECT_EQ(buttons.Buttons[1].Font, ObjectiveFont::Regular);
    EXPECT_TRUE(buttons.Buttons[1].Checked);
    EXPECT_EQ(buttons.Buttons[2].Caption, QStringLiteral("4 X  "));
    EXPECT_EQ(buttons.Buttons[2].Font, ObjectiveFont::Italic);
    EXPECT_EQ(Main.CurrentCalibration, 0.125);
    EXPECT_EQ(buttons.Calibration->Text, QStringLiteral("0.125000"));

    const ObjectivePanel combo = ShowObjectivePanel(Main, 0, 2);
    ASSERT_EQ(combo.Layout, PanelLayout::Combo);
    EXPECT_EQ(combo.ComboItems.size(), 3);
    EXPECT_EQ(combo.ComboIndex, 1);
    EXPECT_EQ(combo.ObjInfo, QStringLiteral("Calculated Calibration"));

    EXPECT_EQ(ShowObjectivePanel(Main, 1, 20).Buttons[0].Caption, QStringLiteral("???"));

    const auto menu = BuildMCSystemMenu(Main);
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].Caption, QStringLiteral("Unknown"));
    EXPECT_EQ(menu[0].Tag, -1);
    EXPECT_EQ(menu[2].Tag, 1);
}

TEST_F(CalibrationState, CaptureSystemFollowsAnObjectiveChosenOnASystemOfItsName) {
    Configure({System(QStringLiteral("Bench"), 2000, {Objective(10, 0.5), Objective(40, 0.1)})});
    Main.DefaultMCSystem = 0;
    Main.MCSystems[-1] = Main.MCSystems[0]; // the image's own record, read from a comment
    Main.CurrentMCSystem = -1;
    Main.ImageState = ImageAssumed;
    const ObjectivePanel chosen = ObjectiveClick(Main, 1);
    EXPECT_EQ(Main.MCSystems[0].CurrentObjective, 1);
    EXPECT_EQ(chosen.NonDefaultObjective, true);
    EXPECT_EQ(chosen.CaptureSystem->ObjectiveLabel, QStringLiteral("40 X"));
    EXPECT_EQ(Main.CurrentCalibration, 0.1);
    EXPECT_EQ(chosen.Layout, PanelLayout::Unchanged);

    Main.ImageState = ImageFromComment; // redraws the buttons of the system shown
    EXPECT_EQ(ObjectiveClick(Main, 0).Layout, PanelLayout::Buttons);
    EXPECT_EQ(ShowObjectivePanel(Main, -1, 20).NonDefaultObjective, false);
}

TEST_F(CalibrationState, ChoosingASystemChangesTheImageState) {
    Configure({System(QStringLiteral("Bench"), 4000, {Objective(10, 0.5)}),
               System(QStringLiteral("Unknown"), 2000, {Objective(10, 0.5)}),
               System(QStringLiteral("No width"), 0, {Objective(10, 0.5)})});
    Show(2000, 2000);
    const std::tuple<int, int, int, double> cases[] = {
        {ImageUnknownSystem, 0, ImageAssumed, 1.0},
        {ImageFromComment, 0, ImageFreshCapture, 1.0},
        {ImageFreshCapture, 0, ImageFreshCapture, 2.0},
        {ImageFreshCapture, 2, ImageFreshCapture, 1.0},
        {ImageAssumed, 0, ImageAssumed, 0.25},
        {ImageUnknownSystem, 1, ImageUnknownSystem, 1.0},
    };
    for (const auto& [state, k, expectedState, expectedRatio] : cases) {
        Main.ImageState = state;
        Main.CaptureWidthRatio = 0.25;
        const ObjectivePanel shown = SelectDeviceClick(Main, k, 20);
        EXPECT_EQ(Main.CurrentMCSystem, k);
        EXPECT_EQ(Main.ImageState, expectedState) << state << " " << k;
        EXPECT_EQ(Main.CaptureWidthRatio, expectedRatio) << state << " " << k;
        EXPECT_EQ(shown.MicCamWarning, false);
    }

    const ObjectivePanel unknown = UnknownSystemClick(Main);
    EXPECT_EQ(unknown.Layout, PanelLayout::SingleButton);
    EXPECT_EQ(Main.CaptureWidthRatio, 0.0);
    EXPECT_EQ(Main.MCSystems[-1].CaptureWidth, 2000);
    Main.OriginalImage = QImage();
    UnknownSystemClick(Main);
    EXPECT_EQ(Main.CaptureWidthRatio, 1.0);

    Show(640, 640);
    MakeSimpleSystem(Main);
    EXPECT_EQ(Main.ImageState, ImageFromComment);
    EXPECT_EQ(Main.MCSystems[-1].Objectives[0].ObjStr, QStringLiteral("1 X "));
    EXPECT_EQ(Main.MCSystems[-1].CaptureWidth, 640);
    EXPECT_EQ(CaptureWidthClick(Main, 3, QStringLiteral("Width = 160")),
              QStringLiteral("Capture: Width = 160"));
    EXPECT_EQ(Main.CaptureImageSize, 3);
}

namespace {

// The real window at its default and minimum size with one system of five objectives, the
// fifth not calibrated, captured 1600 pixels wide.
class PanelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        MCSystemTable table;
        table[0] = System(QStringLiteral("Olympus"), 1600,
                          {Objective(4, 0.625), Objective(10, 0.25), Objective(20, 0.125),
                           Objective(40, 0.0625), Objective(100, 0)});
        SaveCalibration(table, 1, program.path() + QStringLiteral("/"));
        CreateApplicationWindows({});
        Main->resize(1146, 768);
        Main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
        QApplication::processEvents();
    }
    void TearDown() override { DestroyApplicationWindows(); }
    QString SavedImage(const QString& name, int width) {
        const QString path = images.path() + QStringLiteral("/") + name;
        EXPECT_TRUE(Image(width).save(path));
        return path;
    }
    static QRect InWindow(const QWidget* widget) {
        return {widget->mapTo(Main, QPoint(0, 0)), widget->size()};
    }
    // A radio button takes clicks on its circle and caption only, not on its whole width.
    static QPoint OnTheCaption() {
        const QRadioButton* button = Main->ObjectiveButtons.front();
        return {8, button->height() / 2};
    }
    static std::vector<QRect> VisibleButtons() {
        std::vector<QRect> shown;
        for (const QRadioButton* button : Main->ObjectiveButtons)
            if (button->isVisible())
                shown.push_back(InWindow(button));
        return shown;
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir images;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(PanelWindow, AsManyObjectiveButtonsAsTheRuleCountsFitAtTheMinimumSize) {
    ASSERT_EQ(Main->size(), QSize(1146, 768));
    EXPECT_GE(Main->ObjectiveButtonsFit, 5);
    EXPECT_FALSE(Main->ObjectivesBox->isVisible()) << "five objectives show as buttons";
    EXPECT_EQ(VisibleButtons().size(), 5u);

    // A system with exactly as many objectives as the rule counts: every button lies inside
    // the objective group, and the group inside the panel.
    const int fit = Main->ObjectiveButtonsFit;
    ASSERT_LT(fit, ObjectiveButtonCount);
    TMCsystem& system = Main->MCSystems[0];
    for (int i = system.NrOfObjectives; i <= fit; ++i)
        system.Objectives[size_t(i)] = Objective(i + 1, 0.1);
    system.NrOfObjectives = fit;
    Main->ShowObjectivePanel(0);
    QApplication::processEvents();
    const std::vector<QRect> buttons = VisibleButtons();
    ASSERT_EQ(buttons.size(), size_t(fit));
    const QRect group = InWindow(Main->ObjectiveRBox);
    for (const QRect& button : buttons)
        EXPECT_TRUE(group.contains(button))
            << button.y() << " in " << group.y() << "+" << group.height();
    EXPECT_TRUE(InWindow(Main->LeftPanel).contains(group));

    system.NrOfObjectives = fit + 1;
    Main->ShowObjectivePanel(0);
    EXPECT_FALSE(Main->ObjectivesBox->isHidden()) << "one more gives the drop-down";
}

TEST_F(PanelWindow, NotCalibratedIsBoldAndMovesNoObjectiveButton) {
    Main->LoadImageFile(SavedImage(QStringLiteral("capture.png"), 1600));
    QApplication::processEvents();
    QTest::mouseClick(Main->ObjectiveButtons[1], Qt::LeftButton, {}, OnTheCaption());
    QApplication::processEvents();
    ASSERT_FALSE(Main->NotCalibrated->isVisible());
    const std::vector<QRect> before = VisibleButtons();
    ASSERT_EQ(before.size(), 5u);

    QTest::mouseClick(Main->ObjectiveButtons[4], Qt::LeftButton, {}, OnTheCaption());
    QApplication::processEvents();
    ASSERT_TRUE(Main->NotCalibrated->isVisible());
    EXPECT_EQ(Main->NotCalibrated->text(), QStringLiteral("Not Calibrated!"));
    EXPECT_TRUE(Main->NotCalibrated->font().bold());
    EXPECT_EQ(VisibleButtons(), before) << "the next click hits the objective it aims at";
}

TEST_F(PanelWindow, AnImageOfUnknownSystemShowsNoValueOfThePreviousImage) {
    Main->LoadImageFile(SavedImage(QStringLiteral("capture.png"), 1600));
    const QString none = ShowCalibration(*Main, 0.0).Text;
    ASSERT_NE(Main->Calibration->text(), none);
    ASSERT_FALSE(Main->NotCalibrated->isVisible());

    Main->LoadImageFile(SavedImage(QStringLiteral("other.png"), 1000));
    EXPECT_TRUE(Main->NotCalibrated->isVisible());
    EXPECT_EQ(Main->Calibration->text(), none);
    EXPECT_EQ(Main->CurrentCalibration, 0.0);
}
