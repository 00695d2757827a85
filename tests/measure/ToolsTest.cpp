#include "imaging/ui/ExposureDialog.h"
#include "measure/WorkImageRebuild.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/MeasurementListWindow.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>

namespace {

// The pixels of a widget as it paints itself, without its parent's background, that show
// colour (each channel within a small distance of it, fully opaque).
int PixelsOfColour(QWidget* widget, QColor colour) {
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget->render(&image, {}, {}, QWidget::DrawChildren);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255 && std::abs(c.red() - colour.red()) < 40 &&
                std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40)
                ++count;
        }
    return count;
}

// The measuring window with a 400 x 300 image of a system calibrated at 0.5 µm per pixel,
// shown at its original size, driven by mouse events as a user drives it.
class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        quvartest::SaveScopeA(
            program.path(), 400,
            {{10, QStringLiteral("10 plan"), 0.5}, {40, QStringLiteral("40 plan"), 0}});
        CreateApplicationWindows({});
        QImage image(400, 300, QImage::Format_BGR888);
        image.fill(QColor(200, 210, 190));
        const QString path = program.path() + QStringLiteral("/sample.png");
        ASSERT_TRUE(image.save(path));
        Main->resize(1400, 900);
        Main->LoadImageFile(path);
        clean = Main->WorkImage.copy();
    }
    void TearDown() override { DestroyApplicationWindows(); }
    void Press(QPoint p, Qt::KeyboardModifiers keys = {}) {
        QTest::mousePress(Main->Foto, Qt::LeftButton, keys, p);
    }
    void Move(QPoint p) { QTest::mouseMove(Main->Foto, p); }
    void Release(QPoint p, Qt::KeyboardModifiers keys = {}) {
        QTest::mouseRelease(Main->Foto, Qt::LeftButton, keys, p);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers keys = {}) {
        Press(from);
        Move((from + to) / 2);
        Move(to);
        Release(to, keys);
    }
    void Click(QToolButton* button, Qt::MouseButton mouse = Qt::LeftButton) {
        QTest::mouseClick(button, mouse);
    }
    QString Action() const { return Main->Action->text(); }
    QString Label() const {
        return Main->ImgLabel->isHidden() ? QString() : Main->ImgLabel->text();
    }
    bool Painted(QPoint p) const { return Main->WorkImage.pixelColor(p) != clean.pixelColor(p); }
    // Undo until there is nothing left to undo.
    void UndoAll() {
        for (int i = 0; i < 20; ++i)
            Main->Undo1Click();
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
    QImage clean;
};

} // namespace

TEST_F(Tools, MeasureGivesTheLengthInTheUnitAndSnapsWithCtrl) {
    ASSERT_DOUBLE_EQ(Main->CurrentCalibration, 0.5);
    Drag({100, 100}, {200, 100});
    EXPECT_EQ(Action(), QStringLiteral("Last Distance: 50.0"));
    EXPECT_EQ(Label(), QStringLiteral("50.0"));
    EXPECT_TRUE(Painted({150, 100}));

    Drag({100, 150}, {200, 160}, Qt::ControlModifier);
    EXPECT_EQ(Action(), QStringLiteral("Last Distance: 50.0")) << "snapped to (200, 150)";
    EXPECT_TRUE(Painted({190, 150}));
    EXPECT_FALSE(Painted({190, 159}));

    Drag({100, 200}, {200, 225}, Qt::ControlModifier);
    EXPECT_EQ(Action(), QStringLiteral("Last Distance: 52")) << "|dY| 25 is not snapped";

    Main->LengthUnit = QStringLiteral("mm");
    Main->AddUnit = true;
    Drag({10, 10}, {10, 210});
    EXPECT_EQ(Action(), QStringLiteral("Last Distance: 0.100 mm"));
}

TEST_F(Tools, TheViewShowsTheWorkImageAfterEveryChange) {
    // The view's own paint, without its children (the value labels).
    const auto shown = [&] {
        QImage image(Main->Foto->size(), QImage::Format_RGB32);
        Main->Foto->render(&image, {}, {}, {});
        return image;
    };
    const auto expectShown = [&](const char* after) {
        EXPECT_EQ(shown(), Main->WorkImage.convertToFormat(QImage::Format_RGB32)) << after;
    };
    expectShown("opening");
    Press({100, 100});
    Move({150, 130});
    expectShown("a band");
    Move({200, 100});
    expectShown("a band moved");
    Release({200, 100});
    expectShown("a measurement with its label");
    Drag({50, 250}, {300, 200});
    expectShown("a second measurement");
    Main->Undo1Click();
    expectShown("undo");
    Main->Redo1Click();
    expectShown("redo");
    Main->FotoSize->setCurrentIndex(1); // Fit to Window
    Main->FormUpdate(RebuildRedraw);
    expectShown("a rebuild");
}

TEST_F(Tools, ADragTooShortMeasuresNothingAndLeavesNoBand) {
    Press({100, 100});
    Move({130, 100});
    Move({101, 101});
    Release({101, 101});
    EXPECT_EQ(Main->WorkImage, clean);
    EXPECT_EQ(Action(), QStringLiteral("Measure"));
}

TEST_F(Tools, EveryWayOfEndingADragErasesItsBand) {
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        Press({50, 50});
        Move({150, 80});
        Move({160, 120});
        EXPECT_NE(Main->WorkImage, clean) << "the band shows while dragging";
        if (way == 0)
            QTest::keyClick(Main, Qt::Key_Escape);
        else if (way == 1)
            Main->ClearClick();
        else
            Main->Rotate90Click(), Main->Rotate270Click();
        EXPECT_EQ(Main->WorkImage, clean);
        Release({160, 120});
        EXPECT_EQ(Main->WorkImage, clean) << "a release after the end draws nothing";
    }
}

TEST_F(Tools, CirclesGiveTheirDiameterAndOvalsNothing) {
    Click(Main->CircleButton);
    Drag({200, 150}, {230, 190}); // radius 50
    EXPECT_EQ(Label(), QStringLiteral("D = 50.0"));
    EXPECT_TRUE(Painted({250, 150}));
    UndoAll();
    EXPECT_EQ(Main->WorkImage, clean);

    Click(Main->CircleButton); // already down: oval
    EXPECT_EQ(Action(), QStringLiteral("Draw Oval"));
    Drag({200, 150}, {260, 180});
    EXPECT_TRUE(Painted({140, 150}));
    EXPECT_FALSE(!Main->ImgLabel->isHidden());
    UndoAll();
    EXPECT_EQ(Main->WorkImage, clean);
}

TEST_F(Tools, ArrowsAndDotsAreNumberedFromZeroAndAfterAResetFromOne) {
    Click(Main->ArrowButton);
    EXPECT_EQ(Action(), QStringLiteral("Draw Arrow. Position in px"));
    Drag({100, 100}, {200, 100});
    EXPECT_EQ(Label(), QStringLiteral("0"));
    EXPECT_TRUE(Painted({101, 100})) << "the tip";
    Drag({100, 200}, {200, 200});
    EXPECT_EQ(Label(), QStringLiteral("1"));

    Click(Main->ArrowButton, Qt::RightButton);
    EXPECT_EQ(prompts.Texts().back(), QStringLiteral("Counter Reset"));
    Drag({100, 250}, {200, 250});
    EXPECT_EQ(Label(), QStringLiteral("1"));
    UndoAll();
    EXPECT_EQ(Main->WorkImage, clean);

    Click(Main->ArrowButton); // arrow in the unit
    Click(Main->ArrowButton); // dot in pixels
    EXPECT_EQ(Action(), QStringLiteral("Draw Dot. Position in px"));
    Drag({300, 40}, {300, 41});
    EXPECT_TRUE(Painted({300, 40}));
    EXPECT_EQ(Label(), QStringLiteral("2"));
}

TEST_F(Tools, ArrowPositionsGoToTheListInPixelsOrInTheUnit) {
    LBForm->SetListActive(true);
    Click(Main->ArrowButton);
    Drag({120, 60}, {220, 60});
    Click(Main->ArrowButton); // arrow, position in the unit
    EXPECT_EQ(Action(), QString::fromUtf8("Draw Arrow. Position in µm"));
    Drag({120, 80}, {220, 80});
    ASSERT_EQ(LBForm->Rows().size(), 2u);
    EXPECT_EQ(LBForm->Rows()[0], QStringList({"120", "60"}));
    EXPECT_EQ(LBForm->Rows()[1], QStringList({"60", "40.0"}));
    EXPECT_EQ(Label(), QStringLiteral("2")) << "the list's row number";
}

TEST_F(Tools, CurvatureOfAHalfCircleAndAThirdPointOnTheChord) {
    LBForm->SetListActive(true);
    Click(Main->Closteriometer);
    Drag({100, 200}, {200, 200}); // the chord
    EXPECT_EQ(Main->ClosteriometerTag, 1);
    EXPECT_TRUE(Painted({150, 20})) << "the bisector crosses the image";
    Press({150, 150});
    Release({150, 150}); // 50 pixels above the chord's midpoint
    // Two values a row: the chord's length, then the angle and the radius.
    ASSERT_EQ(LBForm->Rows().size(), 2u);
    EXPECT_EQ(LBForm->Rows()[0], QStringList({"50.0", "180"}));
    EXPECT_EQ(LBForm->Rows()[1], QStringList({"25.0", ""}));
    EXPECT_TRUE(Painted({150, 150})) << "the arc's top";
    EXPECT_TRUE(Main->Measure->isChecked());
    UndoAll();
    EXPECT_EQ(Main->WorkImage, clean);

    Click(Main->Closteriometer);
    Drag({100, 200}, {200, 200});
    Press({150, 200});
    Release({150, 200});
    EXPECT_EQ(LBForm->Rows()[1], QStringList({"25.0", "50.0"})) << "the second chord";
    EXPECT_EQ(LBForm->FillRow, 3) << "no curvature without a radius";
    EXPECT_EQ(LBForm->FillColumn, 1);
    EXPECT_EQ(Main->ClosteriometerTag, 0);
    EXPECT_TRUE(Main->Measure->isChecked());
}

TEST_F(Tools, CalibratingWithTheMouseThenMeasuringInTheNewUnits) {
    prompts.answers.push_back(Answer::Yes); // replace the measured value
    Click(Main->Calibrate);
    ASSERT_TRUE(prompts.Texts().back().startsWith(
        QStringLiteral("The calibration value of this objective is 0.500000")));
    prompts.inputs.push_back(QStringLiteral("20"));
    Drag({100, 100}, {200, 100});
    EXPECT_EQ(Main->WorkImage, clean) << "calibrating draws nothing";
    EXPECT_TRUE(Main->Measure->isChecked());
    Drag({100, 150}, {200, 150});
    EXPECT_EQ(Action(), QStringLiteral("Last Distance: 20.0"));

    prompts.answers.push_back(Answer::No);
    Click(Main->Calibrate);
    EXPECT_TRUE(Main->Measure->isChecked()) << "declined: back to Measure";
}

TEST_F(Tools, AFloatingLabelIsBurntInOnTheNextMouseDownAndRecorded) {
    Drag({100, 100}, {200, 100});
    ASSERT_TRUE(!Main->ImgLabel->isHidden());
    const QPoint labelAt = Main->ImgLabel->geometry().center();
    EXPECT_FALSE(Painted(labelAt));
    Press({10, 290});
    EXPECT_FALSE(!Main->ImgLabel->isHidden());
    EXPECT_TRUE(Painted(labelAt));
    Release({10, 290});
    Main->Undo1Click();
    EXPECT_EQ(Main->WorkImage, clean);
    Main->Redo1Click();
    EXPECT_TRUE(Painted(labelAt));
}

TEST_F(Tools, ChoosingASystemFromTheMenuKeepsTheAnnotations) {
    Drag({100, 100}, {200, 100});
    const QImage drawn = Main->WorkImage.copy();
    const QList<QAction*> items = Main->MCSystemMenu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Unknown"));
    items[0]->trigger();
    EXPECT_EQ(Main->ImageState, ImageUnknownSystem);
    EXPECT_EQ(Main->WorkImage, drawn);
    items[1]->trigger();
    EXPECT_EQ(Main->ImageState, ImageAssumed);
    EXPECT_DOUBLE_EQ(Main->CurrentCalibration, 0.5);
    EXPECT_EQ(Main->WorkImage, drawn);
}

TEST_F(Tools, AResultLabelIsDraggedBeforeItIsBurntIn) {
    Drag({100, 100}, {200, 100});
    const QPoint before = Main->ImgLabel->pos();
    QTest::mousePress(Main->ImgLabel, Qt::LeftButton, {}, {2, 2});
    QTest::mouseMove(Main->ImgLabel, {42, 52});
    QTest::mouseRelease(Main->ImgLabel, Qt::LeftButton, {}, {42, 52});
    EXPECT_EQ(Main->ImgLabel->pos(), before + QPoint(40, 50));
    Main->Copy1Click();
    EXPECT_TRUE(Main->ImgLabel->isHidden());
    EXPECT_TRUE(Painted(before + QPoint(40, 50) + QPoint(4, Main->ImgLabel->height() / 2)));
}

// Choosing an objective shows the calibration at the display size; circles and the comment
// of a saved image use that value too, not the one stored at the capture width.
TEST_F(Tools, AnObjectiveChosenOnAReducedImageMeasuresAndSavesAtTheDisplaySize) {
    Main->FotoSize->setCurrentIndex(3); // Width = 160: 1.25 µm per display pixel
    Main->WarningOnResize = false;
    Main->ResizeImageClick();
    ASSERT_DOUBLE_EQ(Main->CurrentCalibration, 1.25);
    Main->ObjectiveButtons[0]->click();
    EXPECT_DOUBLE_EQ(Main->CurrentCalibration, 1.25);

    Click(Main->CircleButton);
    Drag({80, 60}, {80, 80}); // radius 20
    EXPECT_EQ(Label(), QStringLiteral("D = 50.0"));

    Main->ObjectiveButtons[0]->click();
    const QString saved = program.path() + QStringLiteral("/reduced.png");
    prompts.files.push_back(FileDialogResult{saved, -1});
    Main->SaveImageAsClick(0);
    Main->LoadImageFile(saved);
    EXPECT_EQ(Main->WorkImage.width(), 160);
    EXPECT_DOUBLE_EQ(Main->CurrentCalibration, 1.25);
}

// The floating labels as the user sees them, before anything is burnt in: their own pixels
// show the text in the font colour, on the background colour or on none.
TEST_F(Tools, FloatingLabelsShowTheirTextInTheConfiguredColours) {
    Main->show();
    struct Case {
        ColorRef text, background; // 0x00BBGGRR
        bool transparent;
    };
    for (const Case c : {Case{0x000000, 0xFFFFFF, false}, Case{0x0000FF, 0x00FFFF, false},
                         Case{0xFF0000, 0xFFFFFF, true}}) {
        SCOPED_TRACE(c.text);
        Main->ScaleFont.Color = c.text;
        Main->UnitBackColor = c.background;
        Main->UnitTransparancy = c.transparent;
        const auto expectShown = [&](QLabel* label, const char* what) {
            ASSERT_TRUE(label->isVisible()) << what;
            EXPECT_GE(PixelsOfColour(label, ToQColor(c.text)), 3) << what << ": its text";
            const int background = PixelsOfColour(label, ToQColor(c.background));
            if (c.transparent)
                EXPECT_EQ(background, 0) << what;
            else
                EXPECT_GT(background, label->width() * label->height() / 2) << what;
        };
        Press({100, 100});
        Move({150, 120});
        Move({200, 140});
        expectShown(Main->MLabel, "the live value");
        EXPECT_EQ(Main->MLabel->x(), 203) << "beside the mouse where it is now";
        Release({200, 140});
        expectShown(Main->ImgLabel, "the result label");

        Click(Main->CircleButton);
        Drag({200, 150}, {230, 190});
        EXPECT_EQ(Label(), QStringLiteral("D = 50.0"));
        expectShown(Main->ImgLabel, "a circle's diameter");
        Click(Main->Measure);
        UndoAll();
    }
}

TEST_F(Tools, ACancelledOrRefusedCalibrationLeavesMeasureActiveAndSaysSo) {
    for (const std::optional<QString>& input :
         {std::optional<QString>(), std::optional<QString>("fifty"),
          std::optional<QString>("-5")}) {
        SCOPED_TRACE(input.value_or("(cancelled)").toStdString());
        prompts.answers.push_back(Answer::Yes); // replace the measured value
        Click(Main->Calibrate);
        ASSERT_EQ(Action(), QStringLiteral("Calibrate"));
        prompts.inputs.push_back(input);
        Drag({100, 100}, {200, 100});
        EXPECT_TRUE(Main->Measure->isChecked());
        EXPECT_EQ(Main->ActiveTool, ToolMeasure);
        EXPECT_EQ(Action(), QStringLiteral("Measure"));
        EXPECT_EQ(Main->Action->toolTip(), QStringLiteral("Measure"));
        EXPECT_DOUBLE_EQ(Main->CurrentCalibration, 0.5) << "nothing changed";
    }
}

TEST_F(Tools, TheCircleButtonCyclesOnEveryMouseButton) {
    Click(Main->CircleButton, Qt::RightButton);
    EXPECT_TRUE(Main->CircleButton->isChecked());
    EXPECT_EQ(Main->ActiveTool, ToolCircleOrOval);
    EXPECT_EQ(Action(), QStringLiteral("Draw Circle"));
    Click(Main->CircleButton, Qt::MiddleButton);
    EXPECT_EQ(Action(), QStringLiteral("Draw Oval"));
    Click(Main->CircleButton);
    EXPECT_EQ(Action(), QStringLiteral("Draw Circle"));
    // A quick pair of clicks through the window system, as a user gives one.
    Main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
    QTest::mouseDClick(Main->windowHandle(), Qt::LeftButton, {},
                       Main->CircleButton->mapTo(Main, Main->CircleButton->rect().center()));
    EXPECT_EQ(Action(), QStringLiteral("Draw Circle")) << "it cycles twice";
}

// A tool button with the keyboard focus would toggle on Space without choosing its tool.
TEST_F(Tools, TheKeyboardFocusNeverReachesAToolButton) {
    Main->show();
    QApplication::setActiveWindow(Main);
    const std::vector<QWidget*> tools = {Main->Calibrate,      Main->Measure,
                                         Main->Closteriometer, Main->ArrowButton,
                                         Main->CircleButton,   Main->MakeListButton};
    Main->OpenImage->setFocus();
    for (int i = 0; i < 60; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(std::find(tools.begin(), tools.end(), focus), tools.end())
            << focus->objectName().toStdString();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
}

TEST_F(Tools, ExposureCorrectionCancelledKeepsTheMeasurementsAndTheirHistory) {
    Main->show();
    QApplication::setActiveWindow(Main);
    const QImage original = Main->OriginalImage.copy();
    Drag({100, 100}, {200, 100});
    Drag({100, 150}, {200, 150}); // burns in the first label; the second floats
    const int undoSteps = Main->AnnotationHistory.UndoCount();
    ASSERT_GT(undoSteps, 0);
    const QImage measured = Main->WorkImage.copy();
    QTimer::singleShot(0, BCSForm, [] {
        ASSERT_TRUE(BCSForm->isVisible());
        QTest::mouseClick(BCSForm->Cancel, Qt::LeftButton);
    });
    QTest::keyClick(Main, Qt::Key_E);
    EXPECT_EQ(Main->OriginalImage, original);
    EXPECT_EQ(Main->WorkImage, measured);
    EXPECT_TRUE(Main->ImgLabel->isVisible()) << "the floating label still floats";
    EXPECT_EQ(Main->AnnotationHistory.UndoCount(), undoSteps) << "the measurements can be undone";
}

TEST_F(Tools, TheFreeAreaShowsItsRectangleWhateverToolIsChosen) {
    // The tools' own bands belong to measuring: the free area's rectangle shows alone.
    for (QToolButton* tool : {Main->Measure, Main->ArrowButton}) {
        SCOPED_TRACE(tool->objectName().toStdString());
        Click(tool);
        Main->SelectFreeAreaClick();
        ASSERT_EQ(Main->MeasureMode, ModeFreeArea);
        Press({100, 100});
        Move({200, 150});
        Move({300, 200});
        EXPECT_TRUE(Painted({200, 100})) << "the rectangle's top edge";
        EXPECT_FALSE(Painted({200, 150})) << "no line from corner to corner";
        EXPECT_TRUE(Main->MLabel->isHidden()) << "no length beside the mouse";
        Release({300, 200});
        QTest::keyClick(Main, Qt::Key_Escape);
        EXPECT_EQ(Main->MeasureMode, ModeTools);
        EXPECT_EQ(Main->WorkImage, clean);
    }
}

TEST_F(Tools, ARebuildAbandonsAClosteriometryWaitingForItsThirdPoint) {
    // The rebuilt image no longer shows the chord, and its pixels may be of another size.
    const std::function<void()> rebuilds[] = {
        [] { Main->ClearClick(); },
        [] {
            Main->FotoSize->setCurrentIndex(1); // Fit to Window
            Main->FormUpdate(RebuildRedraw);
        },
    };
    for (const auto& rebuild : rebuilds) {
        Click(Main->Closteriometer);
        Drag({100, 200}, {200, 200}); // the chord
        ASSERT_EQ(Main->ClosteriometerTag, 1);
        rebuild();
        const QImage rebuilt = Main->WorkImage.copy();
        EXPECT_EQ(Main->ClosteriometerTag, 0);
        Press({150, 150});
        Release({150, 150});
        EXPECT_EQ(Main->WorkImage, rebuilt) << "no arc for a chord that is gone";
    }
}

TEST_F(Tools, OvalsAndCirclesWithoutALabelAreRecordedForUndo) {
    struct Case {
        const char* name;
        int circleTag;
        QPoint press, move, release;
    };
    // Press and release without a move in between; a circle too small for its label.
    const Case cases[] = {
        {"oval without a move", 1, {200, 150}, {}, {260, 180}},
        {"circle of radius 1", 0, {300, 150}, {301, 150}, {301, 151}},
    };
    for (const Case& c : cases) {
        Click(Main->Measure);
        Drag({100, 100}, {200, 100});
        Press({10, 290}); // burns the line's label in
        Release({10, 290});
        const QImage before = Main->WorkImage.copy();
        Click(Main->CircleButton);
        if (Main->CircleButtonTag != c.circleTag)
            Click(Main->CircleButton);
        ASSERT_EQ(Main->CircleButtonTag, c.circleTag) << c.name;
        Press(c.press);
        if (!c.move.isNull())
            Move(c.move);
        Release(c.release);
        EXPECT_NE(Main->WorkImage, before) << c.name << ": drawn";
        const QImage drawn = Main->WorkImage.copy();
        Main->Undo1Click();
        EXPECT_EQ(Main->WorkImage, before) << c.name << ": one undo takes back the shape only";
        Main->Redo1Click();
        EXPECT_EQ(Main->WorkImage, drawn) << c.name << ": redo brings it back";
        UndoAll();
        ASSERT_EQ(Main->WorkImage, clean);
    }
}
