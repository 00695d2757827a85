#include "imaging/BitmapResize.h"
#include "measure/DisplayGeometry.h"
#include "measure/DisplaySizes.h"
#include "measure/WorkImageRebuild.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "platform/Errors.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QImage Filled(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(color);
    return image;
}

// The measuring window over a program folder of its own.
class ImageDisplay : public ::testing::Test {
protected:
    void SetUp() override { CreateApplicationWindows({}); }
    void TearDown() override { DestroyApplicationWindows(); }
    void ShowImage(const QImage& image, int fotoSizeItem = 0) {
        Main->OriginalImage = image;
        Main->FotoSize->setCurrentIndex(fotoSizeItem);
        Main->FormUpdate(RebuildNewImage);
    }
    // What a tool does: paint into the work image, then record the state.
    void Annotate(QColor color) {
        Main->WorkImage.setPixelColor(0, 0, color);
        Main->AnnotationHistory.Add(Main->WorkImage);
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
};

} // namespace

TEST(RebuildWorkImage, SizesAndHistories) {
    TMainFields main;
    EXPECT_FALSE(RebuildWorkImage(main, RebuildNewImage, 1, {1000, 600})) << "no image yet";
    main.OriginalImage = Filled(4000, 3000, Qt::gray);
    ASSERT_TRUE(RebuildWorkImage(main, RebuildNewImage, 1, {1000, 600}));
    EXPECT_EQ(main.WorkImage.size(), QSize(796, 596));
    EXPECT_EQ(main.AnnotationHistory.UndoCount(), 0) << "one entry: the state on display";
    QImage out;
    EXPECT_FALSE(main.CropHistory.Undo(out));

    main.UseWidth = false;
    ASSERT_TRUE(RebuildWorkImage(main, RebuildAreaAverage, 10, {1000, 600})); // Height = 640
    EXPECT_EQ(main.WorkImage.size(), QSize(853, 640));
    EXPECT_EQ(main.WorkImage.format(), QImage::Format_BGR888);
}

TEST(RebuildWorkImage, OriginalSizeSharesTheOriginalAndAreaAverageIsOnePass) {
    TMainFields main;
    QImage original = Filled(300, 200, Qt::gray);
    for (int x = 0; x < 300; ++x)
        original.setPixelColor(x, x % 200, QColor(x % 256, 40, 200));
    main.OriginalImage = original;
    ASSERT_TRUE(RebuildWorkImage(main, RebuildNewImage, 0, {1000, 600}));
    EXPECT_EQ(main.WorkImage.constBits(), main.OriginalImage.constBits())
        << "no copy until one of them changes";
    main.WorkImage.setPixelColor(1, 0, Qt::red);
    EXPECT_EQ(main.OriginalImage.pixelColor(1, 0), QColor(Qt::gray));

    for (const int item : {0, 1}) {
        SCOPED_TRACE(item);
        ASSERT_TRUE(RebuildWorkImage(main, RebuildAreaAverage, item, {200, 150}));
        QImage expected = Filled(main.WorkImage.width(), main.WorkImage.height(), Qt::black);
        AreaAverageResize(original, expected);
        EXPECT_EQ(main.WorkImage, expected);
        EXPECT_EQ(main.WorkImage.format(), QImage::Format_BGR888);
    }
}

TEST_F(ImageDisplay, UndoAndRedoWriteIntoTheWorkImageItself) {
    ShowImage(Filled(400, 300, Qt::white), 1); // fitted: not shared with the original
    ASSERT_NE(Main->WorkImage.constBits(), Main->OriginalImage.constBits());
    Annotate(Qt::red);
    Annotate(Qt::green);
    const uchar* pixels = Main->WorkImage.constBits();
    Main->Undo1Click();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(Main->WorkImage.constBits(), pixels) << "undone in place";
    Main->Redo1Click();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(Main->WorkImage.constBits(), pixels) << "redone in place";
}

TEST_F(ImageDisplay, UndoAndRedoOverSeveralAnnotations) {
    ShowImage(Filled(40, 30, Qt::white));
    Annotate(Qt::red);
    Annotate(Qt::green);
    Annotate(Qt::blue);
    Main->Undo1Click();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::green));
    Main->Undo1Click();
    Main->Undo1Click();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::white));
    Main->Undo1Click(); // nothing left: the image stays
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::white));
    Main->Redo1Click();
    Main->Redo1Click();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::green));
    Main->ClearClick();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::white)) << "clear drops annotations";
}

// A fixed length across a very tall, narrow image asks for a bitmap none can be: the size
// is refused and the image on display, with its annotations and their undo, stays.
TEST_F(ImageDisplay, ASizeNoBitmapCanHaveKeepsTheImageOnDisplay) {
    Main->WarningOnResize = false;
    const int width4608 = FotoSizeItemCount - 1;
    for (const bool useWidth : {true, false}) {
        Main->UseWidth = useWidth;
        // As tall as wide when the lengths are heights: 4608 x 69 million either way round.
        ShowImage(useWidth ? Filled(2, 30000, Qt::white) : Filled(30000, 2, Qt::white));
        Annotate(Qt::red);
        Annotate(Qt::green);
        const QSize shown = Main->WorkImage.size();
        Main->FotoSize->setCurrentIndex(width4608);
        EXPECT_THROW(Main->ResizeImageClick(), QuvarError);
        EXPECT_EQ(Main->WorkImage.size(), shown);
        EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::green));
        Main->Undo1Click();
        EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::red));
    }
}

TEST_F(ImageDisplay, MakePermanentKeepsAnnotationsAndLeavesNoCropToUndo) {
    ShowImage(Filled(40, 30, Qt::white), 0);
    Main->AnnotationHistory.Add(Main->WorkImage);
    Annotate(Qt::red);
    Main->FixImageClick();
    EXPECT_EQ(Main->ImageState, ImageFromComment);
    EXPECT_EQ(Main->OriginalImage.pixelColor(0, 0), QColor(Qt::red));
    const QImage before = Main->OriginalImage;
    Main->UndoSelectArea1Click();
    EXPECT_EQ(Main->OriginalImage, before);
    Main->Undo1Click();
    EXPECT_EQ(Main->WorkImage.pixelColor(0, 0), QColor(Qt::red));
}

TEST_F(ImageDisplay, ResizeWarningUntilItsBoxIsTicked) {
    ShowImage(Filled(40, 30, Qt::white));
    prompts.dontShowAgain = {false, true};
    Main->ResizeImageClick();
    Main->ResizeImageClick();
    Main->ResizeImageClick();
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].text,
              "All measurements will be lost on resize!\n\rFirst set the right size, then "
              "perform measurements\n\rNOTE: The image will be saved in this format");
    EXPECT_FALSE(Main->WarningOnResize);
}

TEST_F(ImageDisplay, RotationKeepsTheCalibrationState) {
    QImage image = Filled(5, 3, Qt::white);
    image.setPixelColor(4, 0, Qt::red); // top right
    ShowImage(image);
    Main->ImageState = ImageFromComment;
    Main->ImageCalibration = 0.25;
    Main->CaptureWidthRatio = 1.0;
    Main->Rotate90Click();
    EXPECT_EQ(Main->OriginalImage.size(), QSize(3, 5));
    EXPECT_EQ(Main->OriginalImage.pixelColor(2, 4), QColor(Qt::red)) << "clockwise";
    Main->Rotate270Click();
    Main->Rotate270Click();
    EXPECT_EQ(Main->OriginalImage.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(Main->ImageState, ImageFromComment);
    EXPECT_EQ(Main->ImageCalibration, 0.25);
    EXPECT_EQ(Main->CaptureWidthRatio, 1.0);
}

TEST_F(ImageDisplay, PasteTakesTheClipboardPictureAndCopyPutsTheWorkImage) {
    QApplication::clipboard()->setImage(Filled(12, 9, Qt::blue));
    Main->Paste1Click();
    EXPECT_EQ(Main->OriginalImage.size(), QSize(12, 9));
    EXPECT_EQ(Main->OriginalImage.format(), QImage::Format_BGR888);
    EXPECT_EQ(Main->WorkImage.pixelColor(3, 3), QColor(Qt::blue));

    Annotate(Qt::red);
    Main->Copy1Click();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.pixelColor(0, 0), QColor(Qt::red));

    QApplication::clipboard()->clear();
    Main->Paste1Click(); // no picture: nothing happens
    EXPECT_EQ(Main->OriginalImage.size(), QSize(12, 9));
}

TEST_F(ImageDisplay, ExposureCorrectionWithoutAnImage) {
    Main->ExposureCorrectionClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "No image available");
}

TEST_F(ImageDisplay, SingleKeysChooseTheDisplaySize) {
    ShowImage(Filled(1200, 900, Qt::white));
    Main->WarningOnResize = false;
    Main->show();
    QApplication::setActiveWindow(Main);
    struct Case {
        Qt::Key key;
        int item;
        int width;
    };
    for (const Case c : {Case{Qt::Key_9, 12, 800}, Case{Qt::Key_0, 13, 960},
                         Case{Qt::Key_3, 5, 320}, Case{Qt::Key_G, 0, 1200}}) {
        QTest::keyClick(Main, c.key);
        EXPECT_EQ(Main->FotoSize->currentIndex(), c.item) << c.key;
        EXPECT_EQ(Main->WorkImage.width(), c.width) << c.key;
    }
    QTest::keyClick(Main, Qt::Key_F);
    EXPECT_EQ(Main->FotoSize->currentIndex(), 1);
    EXPECT_LT(Main->WorkImage.width(), 1200);
}

TEST_F(ImageDisplay, FitToWindowGivesOneSizeWhetherOrNotScrollBarsShow) {
    Main->WarningOnResize = false;
    Main->resize(1146, 768);
    Main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
    QApplication::setActiveWindow(Main);
    ShowImage(Filled(3000, 2000, Qt::white), FotoSizeOriginal);
    QApplication::processEvents();
    ASSERT_TRUE(Main->MeasureBox->horizontalScrollBar()->isVisible()) << "larger than the area";

    QTest::keyClick(Main, Qt::Key_F);
    QApplication::processEvents();
    const QSize first = Main->WorkImage.size();
    EXPECT_FALSE(Main->MeasureBox->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(Main->MeasureBox->verticalScrollBar()->isVisible());
    QTest::keyClick(Main, Qt::Key_F);
    QApplication::processEvents();
    EXPECT_EQ(Main->WorkImage.size(), first);
    EXPECT_EQ(first, WorkImageSize(FotoSizeFitToWindow, {3000, 2000},
                                   Main->MeasureBox->viewport()->size(), true))
        << "the whole area without scroll bars";
}
