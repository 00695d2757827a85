#include "imaging/ui/ExposureDialog.h"
#include "imaging/ExposureCorrection.h"
#include "measure/DisplaySizes.h"
#include "measure/WorkImageRebuild.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace {

// Grey levels left to right, a pure white block at the left top.
QImage TestImage() {
    QImage image(320, 200, QImage::Format_BGR888);
    for (int y = 0; y < image.height(); ++y) {
        uint8_t* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const bool white = x < 20 && y < 20;
            row[3 * x] = white ? 255 : uint8_t(x * 255 / 319);
            row[3 * x + 1] = white ? 255 : uint8_t(y);
            row[3 * x + 2] = white ? 255 : uint8_t(200 - y / 2);
        }
    }
    return image;
}

class ExposureDialog : public ::testing::Test {
protected:
    void SetUp() override {
        CreateApplicationWindows({});
        Main->OriginalImage = TestImage();
        Main->FotoSize->setCurrentIndex(FotoSizeOriginal);
        Main->FormUpdate(RebuildNewImage);
        Main->show();
        QApplication::setActiveWindow(Main);
    }
    void TearDown() override { DestroyApplicationWindows(); }
    // Presses E as the user does; whileShown runs inside the dialog and closes it.
    void RunExposure(std::function<void()> whileShown) {
        QTimer::singleShot(0, BCSForm, [whileShown] {
            EXPECT_TRUE(BCSForm->isVisible());
            whileShown();
            if (BCSForm->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                BCSForm->reject();
            }
        });
        QTest::keyClick(Main, Qt::Key_E);
    }
    // A check box takes a click on its box or text only, not on the empty rest of its row.
    static void Click(QAbstractButton* button) {
        const bool box = qobject_cast<QCheckBox*>(button);
        QTest::mouseClick(button, Qt::LeftButton, {},
                          box ? QPoint(6, button->height() / 2) : button->rect().center());
    }
    // The modal dialog took the activation; the key goes to the window again.
    static void CtrlU() {
        QApplication::setActiveWindow(Main);
        QTest::keyClick(Main, Qt::Key_U, Qt::ControlModifier);
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
};

ExposureSettings Strong() {
    return {384, 40, 400, 60, 20, -10, 0};
}

void SetBars(const ExposureSettings& s) {
    BCSForm->tbBright->setValue(s.Brightness);
    BCSForm->tbContrast->setValue(s.Contrast);
    BCSForm->tbSaturation->setValue(s.Saturation);
    BCSForm->tbGamma->setValue(s.Gamma);
    BCSForm->tbRed->setValue(s.Red);
    BCSForm->tbGreen->setValue(s.Green);
    BCSForm->tbBlue->setValue(s.Blue);
}

QImage CorrectedCopy(const QImage& image, const ExposureSettings& s, bool highlight) {
    QImage copy = image.copy();
    CorrectExposure(copy, s, highlight);
    return copy;
}

} // namespace

TEST_F(ExposureDialog, BarsTextsAndDefaults) {
    RunExposure([] {
        EXPECT_EQ(BCSForm->windowTitle(), "QUVAR Exposure Correction");
        EXPECT_EQ(BCSForm->size(), QSize(455, 268));
        struct Bar {
            QSlider* bar;
            int minimum, maximum, position, ticks;
        } bars[] = {
            {BCSForm->tbBright, 128, 384, 255, 16},   {BCSForm->tbContrast, -100, 100, 0, 10},
            {BCSForm->tbSaturation, 0, 512, 255, 16}, {BCSForm->tbGamma, -128, 255, 0, 32},
            {BCSForm->tbRed, -64, 64, 0, 16},         {BCSForm->tbGreen, -64, 64, 0, 16},
            {BCSForm->tbBlue, -64, 64, 0, 16},
        };
        for (const Bar& b : bars) {
            EXPECT_EQ(b.bar->minimum(), b.minimum) << b.bar->objectName().toStdString();
            EXPECT_EQ(b.bar->maximum(), b.maximum);
            EXPECT_EQ(b.bar->value(), b.position);
            EXPECT_EQ(b.bar->tickInterval(), b.ticks);
        }
        EXPECT_EQ(BCSForm->OverExposure->text(), "Show Overexposure");
        for (auto* button :
             {BCSForm->OK, BCSForm->Cancel, BCSForm->Reset, BCSForm->Store, BCSForm->Recall})
            EXPECT_TRUE(button->isVisible());
        EXPECT_EQ(Main->WorkImage, TestImage()) << "opening computes no preview";
        Click(BCSForm->Cancel);
    });
}

TEST_F(ExposureDialog, PreviewWithOverexposureThenOkAndCtrlUGivesTheOriginalBack) {
    const QImage original = TestImage();
    RunExposure([&] {
        SetBars(Strong());
        EXPECT_EQ(Main->WorkImage, CorrectedCopy(original, Strong(), false));
        Click(BCSForm->OverExposure);
        const QImage preview = Main->WorkImage;
        EXPECT_EQ(preview, CorrectedCopy(original, Strong(), true));
        EXPECT_EQ(preview.pixelColor(5, 5), QColor(255, 0, 0)) << "white shows red";
        EXPECT_EQ(Main->OriginalImage, original) << "the preview leaves the original";
        Click(BCSForm->OK);
    });
    EXPECT_EQ(Main->ColorAdjustmentTag, 1);
    const QImage corrected = CorrectedCopy(original, Strong(), false);
    EXPECT_EQ(Main->OriginalImage, corrected) << "OK never highlights";
    EXPECT_EQ(Main->WorkImage, corrected) << "rebuilt from the corrected original";

    CtrlU();
    ASSERT_EQ(Main->OriginalImage.format(), original.format());
    ASSERT_EQ(Main->OriginalImage.size(), original.size());
    for (int y = 0; y < original.height(); ++y)
        ASSERT_EQ(0, memcmp(Main->OriginalImage.constScanLine(y), original.constScanLine(y),
                            size_t(3 * original.width())))
            << "row " << y;
    EXPECT_EQ(Main->WorkImage, original);
}

TEST_F(ExposureDialog, CancelRestoresAndRecordsNothing) {
    const QImage original = TestImage();
    RunExposure([&] {
        SetBars(Strong());
        EXPECT_NE(Main->WorkImage, original);
        Click(BCSForm->Cancel);
        EXPECT_EQ(Main->WorkImage, original) << "the backup, before any rebuild";
    });
    EXPECT_EQ(Main->ColorAdjustmentTag, 0);
    EXPECT_EQ(Main->OriginalImage, original);
    CtrlU();
    EXPECT_EQ(Main->OriginalImage, original) << "no history step to undo";
}

// Leaving the dialog without OK changes nothing: labels burnt in and a label still
// floating stay, whether Cancel, Esc or the title bar closes it.
TEST_F(ExposureDialog, LeavingWithoutOKKeepsTheAnnotations) {
    const std::function<void()> leave[] = {
        [] { Click(BCSForm->Cancel); },
        [] { QTest::keyClick(BCSForm, Qt::Key_Escape); },
        [] { BCSForm->close(); },
    };
    for (size_t i = 0; i < std::size(leave); ++i) {
        Main->InsertLabelClick(2);
        Main->InsertLabelClick(6); // burns the copyright label in; this one floats
        const QImage annotated = Main->WorkImage.copy();
        ASSERT_NE(annotated, TestImage());
        RunExposure([&] {
            SetBars(Strong());
            leave[i]();
        });
        EXPECT_EQ(Main->WorkImage, annotated) << i;
        EXPECT_EQ(Main->ImgLabelTag, 1) << i;
        EXPECT_TRUE(Main->ImgLabel->isVisible()) << i;
        EXPECT_EQ(Main->OriginalImage, TestImage()) << i;
    }
}

TEST_F(ExposureDialog, ResetStoreAndRecall) {
    RunExposure([] {
        Click(BCSForm->Recall);
        const ExposureSettings recalled = BCSForm->Positions();
        EXPECT_EQ(recalled, (ExposureSettings{128, 0, 0, 0, 0, 0, 0}))
            << "Recall before Store: every bar to 0, brightness stops at 128";
        SetBars(Strong());
        Click(BCSForm->Store);
        Click(BCSForm->Reset);
        EXPECT_EQ(BCSForm->Positions(), ExposureSettings{});
        EXPECT_EQ(Main->WorkImage, CorrectedCopy(TestImage(), ExposureSettings{}, false));
        Click(BCSForm->Recall);
        EXPECT_EQ(BCSForm->Positions(), Strong());
        EXPECT_EQ(Main->WorkImage, CorrectedCopy(TestImage(), Strong(), false));
        Click(BCSForm->Cancel);
    });
    // The stored positions last between openings; the bars start at the defaults again.
    RunExposure([] {
        EXPECT_EQ(BCSForm->Positions(), ExposureSettings{});
        Click(BCSForm->Recall);
        EXPECT_EQ(BCSForm->Positions(), Strong());
        Click(BCSForm->Cancel);
    });
}
