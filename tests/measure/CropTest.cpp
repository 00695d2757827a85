#include "measure/Calibration.h"
#include "measure/CropFrame.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
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
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <ostream>

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// ---- Geometry -------------------------------------------------------------------------

TEST(CropFrameGeometry, PixelItemsGiveTheFormatsSizes) {
    struct Case {
        int tag, format;
        bool useWidth, swapped;
        QSize expected;
    };
    const Case cases[] = {
        {640, 2, true, false, {640, 480}},     {640, 2, true, true, {480, 640}},
        {640, 3, true, false, {640, 360}},     {600, 1, true, false, {600, 400}},
        {480, 2, false, false, {640, 480}},    {480, 2, false, true, {480, 640}},
        {1000, 4, true, false, {1000, 1000}},  {1000, 9, true, false, {1000, 750}}, // 4:3 fallback
        {1000, 3, false, false, {1778, 1000}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelCropSize(c.tag, c.format, c.useWidth, c.swapped), c.expected)
            << c.tag << " format " << c.format;
}

TEST(CropFrameGeometry, ImageSizeIsTheLargestFrameThatFits) {
    struct Case {
        QSize original;
        int format;
        bool swapped;
        QSize expected;
    };
    const Case cases[] = {
        {{1000, 1000}, 3, false, {1000, 562}}, // 562.5 to even
        {{1000, 1000}, 3, true, {562, 1000}},   {{2048, 1536}, 2, false, {2048, 1536}},
        {{4000, 1000}, 2, false, {1333, 1000}}, {{1000, 4000}, 2, true, {1000, 1333}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImageSizeCrop(c.original, c.format, c.swapped), c.expected);
}

TEST(CropFrameGeometry, FrameIsHeldAtTheDisplayEdges) {
    struct Case {
        QPoint centre;
        int x1, x2, y1, y2;
    };
    const QSize frame(100, 80), display(500, 400);
    const Case cases[] = {
        {{250, 200}, 200, 300, 160, 240},
        {{0, 0}, -1, 99, -1, 79}, // one pixel outside at the left and top
        {{500, 400}, 400, 500, 320, 400},
        {{-50, 390}, -1, 99, 320, 400},
    };
    for (const Case& c : cases) {
        const TRubberBand b = PlaceCropFrame(c.centre, frame, display);
        EXPECT_EQ(std::tuple(b.X1, b.X2, b.Y1, b.Y2), std::tuple(c.x1, c.x2, c.y1, c.y2))
            << c.centre.x() << "," << c.centre.y();
    }
}

TEST(CropFrameGeometry, SourceRectangleHasTheCropSizeInsideTheOriginal) {
    struct Case {
        TRubberBand frame;
        double scale;
        QSize crop, original, display;
        QRect expected;
    };
    const Case cases[] = {
        {{-1, -1, 99, 79}, 2.0, {200, 160}, {1000, 800}, {500, 400}, {0, 0, 200, 160}},
        {{400, 320, 500, 400}, 2.0, {200, 160}, {1000, 800}, {500, 400}, {800, 640, 200, 160}},
        // 2.5 * 333 = 832.5 rounds to 832, and 832 + 170 passes 1000: moved in, not cut.
        {{333, 0, 401, 40}, 2.5, {170, 100}, {1000, 800}, {500, 400}, {830, 0, 170, 100}},
        {{10, 10, 110, 90}, 1.5, {150, 120}, {1000, 800}, {500, 400}, {15, 15, 150, 120}},
        // 2048 shown 1054 wide: a frame at the bottom edge ends on the last row, not one short.
        {{800, 543, 1054, 790},
         2048.0 / 1054,
         {494, 480},
         {2048, 1536},
         {1054, 790},
         {1554, 1056, 494, 480}},
        {{800, 543, 1000, 790},
         2048.0 / 1054,
         {389, 480},
         {2048, 1536},
         {1054, 790},
         {1554, 1056, 389, 480}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CropSourceRect(c.frame, c.scale, c.crop, c.original, c.display), c.expected);
}

TEST(CropFrameGeometry, UnitItemsGiveFramesOfTheCalibratedSize) {
    // 50 µm at 0.5 µm per display pixel, two original pixels per display pixel.
    UnitCropResult r = UnitCropSize(50, QString::fromUtf8("µm"), 0.5, 2.0, 2, true, false);
    EXPECT_EQ(r.Frame, QSize(100, 75));
    EXPECT_EQ(r.Crop, QSize(200, 150));
    EXPECT_DOUBLE_EQ(r.Width, 50);
    EXPECT_DOUBLE_EQ(r.Height, 37.5);
    r = UnitCropSize(50, QString::fromUtf8("µm"), 0.5, 2.0, 2, true, true);
    EXPECT_EQ(r.Frame, QSize(75, 100));
    EXPECT_DOUBLE_EQ(r.Width, 37.5);
    // mm tags are tenths: 25 is 2.5 mm, at 0.01 mm per pixel 250 pixels.
    r = UnitCropSize(25, QStringLiteral("mm"), 0.01, 1.0, 4, true, false);
    EXPECT_EQ(r.Frame, QSize(250, 250));
    EXPECT_EQ(UnitCropRefusal(r, QStringLiteral("mm")),
              QStringLiteral("Not possible. Image is smaller than 2.5 X 2.5 mm"));
    EXPECT_TRUE(IsUncalibrated(0));
    EXPECT_TRUE(IsUncalibrated(1e-15));
    EXPECT_FALSE(IsUncalibrated(0.001));
}

TEST(CropFrameGeometry, FramesBeyondAnyImageAreHeldAtTheLargestSize) {
    const std::pair<double, int> rounded[] = {{2.5, 2},         {3.5, 4},          {-2.5, -2},
                                              {1e300, INT_MAX}, {-1e300, INT_MIN}, {NAN, 0}};
    for (auto [x, expected] : rounded)
        EXPECT_EQ(RoundEven(x), expected) << x;
    // 500 µm at a calibration of 1e-9 µm per pixel: far beyond any image, and refused so.
    const UnitCropResult r = UnitCropSize(500, QString::fromUtf8("µm"), 1e-9, 1.0, 2, true, false);
    EXPECT_EQ(r.Frame.width(), INT_MAX);
    EXPECT_GT(r.Crop.width(), 30000);
    EXPECT_GT(r.Crop.height(), 30000);
}

TEST(CropFrameGeometry, CaptionsFollowTheWordingRule) {
    EXPECT_TRUE(SizeWordIsWidth(true, false));
    EXPECT_FALSE(SizeWordIsWidth(true, true));
    EXPECT_TRUE(SizeWordIsWidth(false, true));
    EXPECT_FALSE(SizeWordIsWidth(false, false));
    struct Case {
        QString got, expected;
    };
    const Case cases[] = {
        {CropPixelCaption(640, true), QStringLiteral("Width = 640")},
        {SetSizeMenuWording(QStringLiteral("Width = 640"), false), QStringLiteral("Height = 640")},
        {PopupPixelCaption(640, false), QStringLiteral("Height in pixels = 640")},
        {PopupUnitCaption(50, true, QStringLiteral("mil")), QStringLiteral("Width in mil = 5")},
        {PopupImageSizeCaption({2048, 1536}, false),
         QStringLiteral("Image Height in pixels = 1536")},
        {PixelCropRefusal({4608, 3456}),
         QStringLiteral("Not possible. Image is smaller than 4608 x 3456pixels")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected);
}

TEST(FreeAreaGeometry, HitZonesWithFivePixelsTolerance) {
    struct Case {
        QPoint m;
        int zone;
        Qt::CursorShape cursor;
    };
    const Case cases[] = {
        {{95, 95}, ZoneTopLeft, Qt::SizeFDiagCursor},
        {{94, 95}, ZoneNone, Qt::ArrowCursor},
        {{205, 95}, ZoneTopRight, Qt::SizeBDiagCursor},
        {{205, 206}, ZoneNone, Qt::ArrowCursor},
        {{205, 205}, ZoneBottomRight, Qt::SizeFDiagCursor},
        {{95, 205}, ZoneBottomLeft, Qt::SizeBDiagCursor},
        {{100, 150}, ZoneLeft, Qt::SizeHorCursor},
        {{200, 150}, ZoneRight, Qt::SizeHorCursor},
        {{150, 104}, ZoneTop, Qt::SizeVerCursor},
        {{150, 200}, ZoneBottom, Qt::SizeVerCursor},
        {{150, 150}, ZoneInside, Qt::SizeAllCursor},
        {{300, 300}, ZoneNone, Qt::ArrowCursor},
    };
    for (const Case& c : cases) {
        TCropFrame f = StartCropFrame({100, 100}, {200, 200}, 1);
        EXPECT_EQ(CropFrameHitTest(f, c.m), c.zone) << c.m.x() << "," << c.m.y();
        EXPECT_EQ(CursorForZone(f.Zone), c.cursor);
        EXPECT_EQ(f.LastMouse, c.m);
    }
}

TEST(FreeAreaGeometry, DraggingKeepsTwentyPixelsAndEndsThere) {
    struct Case {
        int zone;
        QPoint m;
        bool symmetric;
        QRect expected; // left, top, right, bottom as x, y, width, height
        int zoneAfter;
    };
    const Case cases[] = {
        {ZoneBottomLeft, {188, 200}, false, {180, 100, 20, 100}, ZoneNone},
        {ZoneTopLeft, {188, 150}, false, {180, 150, 20, 50}, ZoneNone},
        {ZoneTopRight, {112, 150}, false, {100, 150, 20, 50}, ZoneNone},
        {ZoneBottomRight, {150, 112}, false, {100, 100, 50, 20}, ZoneNone},
        {ZoneLeft, {195, 150}, false, {180, 100, 20, 100}, ZoneNone},
        {ZoneRight, {105, 150}, false, {100, 100, 20, 100}, ZoneNone},
        {ZoneTop, {150, 190}, false, {100, 180, 100, 20}, ZoneNone},
        {ZoneBottom, {150, 110}, false, {100, 100, 100, 20}, ZoneNone},
        // Across the other edge: ordered again, then the 20 pixels.
        {ZoneLeft, {230, 150}, false, {200, 100, 30, 100}, ZoneLeft},
        {ZoneRight, {210, 150}, true, {90, 100, 120, 100}, ZoneRight},
        {ZoneTop, {150, 90}, true, {100, 90, 100, 120}, ZoneTop},
        {ZoneInside, {160, 170}, false, {110, 120, 100, 100}, ZoneInside},
        {ZoneTopLeft, {-20, -5}, false, {0, 0, 200, 200}, ZoneTopLeft}, // clamped
        {ZoneBottomRight, {900, 900}, false, {100, 100, 400, 300}, ZoneBottomRight},
    };
    for (const Case& c : cases) {
        TCropFrame f = StartCropFrame({100, 100}, {200, 200}, 1);
        f.LastMouse = {150, 150};
        f.Zone = c.zone;
        DragCropFrame(f, c.m, {500, 400}, c.symmetric);
        EXPECT_EQ(QRect(f.Left, f.Top, f.Right - f.Left, f.Bottom - f.Top), c.expected)
            << "zone " << c.zone << " to " << c.m.x() << "," << c.m.y();
        EXPECT_EQ(f.Zone, c.zoneAfter) << "zone " << c.zone;
        EXPECT_EQ(f.CentreX, f.Left + (f.Right - f.Left) / 2);
    }
}

TEST(FreeAreaGeometry, ArrowKeysStepFiveUnitsAboutTheCentre) {
    struct Case {
        int width; // display pixels
        int key;
        double t;
        int left, right, top, bottom;
    };
    const Case cases[] = {
        {100, Qt::Key_Right, 0.5, 95, 205, 100, 200}, // 50 µm to 55 µm
        {100, Qt::Key_Left, 0.5, 105, 195, 100, 200},
        {100, Qt::Key_Up, 0.5, 100, 200, 95, 205},
        {100, Qt::Key_Down, 0.5, 100, 200, 105, 195},
        {10, Qt::Key_Left, 0.5, 100, 110, 100, 200}, // 5 units: not shrunk further
        {100, Qt::Key_Right, 0, 100, 200, 100, 200}, // uncalibrated: nothing
    };
    for (const Case& c : cases) {
        TCropFrame f = StartCropFrame({100, 100}, {100 + c.width, 200}, 1);
        KeyResizeCropFrame(f, c.key, c.t);
        EXPECT_EQ(std::tuple(f.Left, f.Right, f.Top, f.Bottom),
                  std::tuple(c.left, c.right, c.top, c.bottom))
            << "key " << c.key << " width " << c.width;
    }
}

TEST(FreeAreaGeometry, SourceRectangleIsOrderedAndClamped) {
    const TCropFrame a = StartCropFrame({300, 250}, {100, 50}, 2.0);
    const TCropFrame b = StartCropFrame({100, 50}, {300, 250}, 2.0);
    EXPECT_EQ(FreeAreaSourceRect(a, {1000, 800}), QRect(200, 100, 400, 400));
    EXPECT_EQ(FreeAreaSourceRect(a, {1000, 800}), FreeAreaSourceRect(b, {1000, 800}));
    EXPECT_EQ(FreeAreaPixelSize(a), QSize(400, 400));
    TCropFrame grown = StartCropFrame({-10, -10}, {600, 100}, 2.0);
    EXPECT_EQ(FreeAreaSourceRect(grown, {1000, 800}), QRect(0, 0, 1000, 200));
    EXPECT_FALSE(FreeAreaSourceRect(StartCropFrame({50, 50}, {50, 90}, 1.0), {1000, 800}));
    EXPECT_FALSE(FreeAreaSourceRect(StartCropFrame({1200, 50}, {1300, 90}, 1.0), {1000, 800}));
}

// ---- The window -----------------------------------------------------------------------

// A 2048 x 1536 original whose every pixel encodes its own coordinates.
QImage CoordinateImage(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            line[3 * x] = uchar(x & 255);
            line[3 * x + 1] = uchar(y & 255);
            line[3 * x + 2] = uchar((x >> 8) | ((y >> 8) << 4));
        }
    }
    return image;
}

QPoint Coordinates(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + 3 * x;
    return {p[0] | ((p[2] & 15) << 8), p[1] | ((p[2] >> 4) << 8)};
}

// The image is a block of the coordinate image starting at its first pixel's coordinates.
::testing::AssertionResult IsBlockOfOriginal(const QImage& image) {
    if (image.format() != QImage::Format_BGR888)
        return ::testing::AssertionFailure() << "format " << image.format();
    const QPoint origin = Coordinates(image, 0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Coordinates(image, x, y) != origin + QPoint(x, y))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y;
    return ::testing::AssertionSuccess();
}

class Crop : public ::testing::Test {
protected:
    void SetUp() override {
        quvartest::SaveScopeA(program.path(), 2048, {{10, QStringLiteral("10 plan"), 0.5}});
        CreateApplicationWindows({});
        Main->resize(1400, 900);
        Main->WarningOnResize = false;
        Main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
        QApplication::setActiveWindow(Main);
        Load(CoordinateImage(2048, 1536));
        Main->Action->setFocus();
        prompts.shown.clear();
    }
    void TearDown() override { DestroyApplicationWindows(); }
    void Load(const QImage& image) {
        const QString path = program.path() + QStringLiteral("/sample%1.png").arg(loads++);
        ASSERT_TRUE(image.save(path));
        Main->LoadImageFile(path);
        ASSERT_EQ(Main->OriginalImage.size(), image.size());
        // Fit to the window: display pixels are not original pixels.
        Main->FotoSize->setCurrentIndex(1);
        Main->ResizeImageClick();
    }
    void Choose(const char* name) {
        QAction* item = Main->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        item->trigger();
    }
    void Move(QPoint p) { QTest::mouseMove(Main->Foto, p); }
    void Click(QPoint p, Qt::KeyboardModifiers keys = {}) {
        QTest::mouseClick(Main->Foto, Qt::LeftButton, keys, p);
    }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(Main->Foto, Qt::LeftButton, {}, from);
        QTest::mouseMove(Main->Foto, (from + to) / 2);
        QTest::mouseMove(Main->Foto, to);
        QTest::mouseRelease(Main->Foto, Qt::LeftButton, {}, to);
    }
    void Key(int key) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(key)); }
    double Scale() const { return double(Main->OriginalImage.width()) / Main->WorkImage.width(); }
    // Micrometres per original pixel: what a measured length depends on.
    double PerOriginalPixel() const {
        return EffectiveCalibration(*Main).MicrometresPerPixel / Scale();
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
    int loads = 0;
};

TEST_F(Crop, PixelFrameCropsExactlyThePixelsItShowed) {
    Main->PictureFormatClick(2);
    const double perPixel = PerOriginalPixel();
    ASSERT_GT(perPixel, 0);
    const QImage work = Main->WorkImage.copy();
    Choose("W640");
    EXPECT_EQ(Main->MeasureMode, ModeCropPixels);
    Move({300, 200});
    Move({310, 210});
    EXPECT_FALSE(Main->SizeLabel->isHidden());
    EXPECT_TRUE(Main->SizeLabel->text().startsWith(QStringLiteral("640 X 480 pixels = ")))
        << Main->SizeLabel->text().toStdString();
    // The label starts black and K makes it white.
    const auto shade = [&](int level) {
        QImage shown(Main->SizeLabel->size(), QImage::Format_RGB32);
        shown.fill(QColor(128, 128, 128));
        Main->SizeLabel->render(&shown, {}, {}, {});
        int count = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                count += std::abs(QColor(shown.pixel(x, y)).red() - level) < 40;
        return count;
    };
    EXPECT_GT(shade(0), 20);
    EXPECT_EQ(shade(255), 0);
    Key(Qt::Key_K);
    EXPECT_GT(shade(255), 20);
    EXPECT_EQ(shade(0), 0);
    EXPECT_TRUE(Main->findChild<QAction*>(QStringLiteral("ToggleCropColor"))->isChecked());
    const TRubberBand frame = Main->RubberBand;
    Click({310, 210});
    EXPECT_EQ(Main->MeasureMode, ModeTools);
    ASSERT_EQ(Main->OriginalImage.size(), QSize(640, 480));
    EXPECT_TRUE(IsBlockOfOriginal(Main->OriginalImage));
    const QPoint origin = Coordinates(Main->OriginalImage, 0, 0);
    EXPECT_NEAR(origin.x(), frame.X1 * 2048.0 / work.width(), 1.0);
    EXPECT_NEAR(origin.y(), frame.Y1 * 2048.0 / work.width(), 1.0);
    // A length measured after the crop is the length it was before.
    EXPECT_NEAR(PerOriginalPixel(), perPixel, 1e-12);
}

TEST_F(Crop, QSwapsTheOrientationInPlace) {
    Main->PictureFormatClick(2);
    Choose("W640");
    Move({300, 200});
    Key(Qt::Key_Q);
    EXPECT_TRUE(Main->SizeMenusSwapped);
    EXPECT_EQ(Main->findChild<QAction*>(QStringLiteral("W640"))->text(),
              QStringLiteral("Height = 640"));
    EXPECT_EQ(Main->CropSize, QSize(480, 640));
    Click({300, 200});
    EXPECT_EQ(Main->OriginalImage.size(), QSize(480, 640));
    EXPECT_TRUE(IsBlockOfOriginal(Main->OriginalImage));
    // The orientation stays for the next frame; Q on that frame turns it back.
    Main->findChild<QAction*>(QStringLiteral("UndoSelectArea1"))->trigger();
    Choose("W640");
    Move({300, 200});
    EXPECT_EQ(Main->CropSize, QSize(480, 640));
    Key(Qt::Key_Q);
    EXPECT_EQ(Main->findChild<QAction*>(QStringLiteral("W640"))->text(),
              QStringLiteral("Width = 640"));
    EXPECT_EQ(Main->CropSize, QSize(640, 480));
}

// Q belongs to a waiting frame: elsewhere, or while the frame is being redrawn, it must
// not turn the next frame on its side.
TEST_F(Crop, QOutsideAFrameOrWhileItIsRedrawnChangesNothing) {
    Main->PictureFormatClick(2);
    QAction* w640 = Main->findChild<QAction*>(QStringLiteral("W640"));
    Key(Qt::Key_Q);
    EXPECT_FALSE(Main->SizeMenusSwapped) << "no frame";
    Key(Qt::Key_A);
    ASSERT_EQ(Main->MeasureMode, ModeFreeArea);
    Key(Qt::Key_Q);
    EXPECT_FALSE(Main->SizeMenusSwapped) << "free area";
    Key(Qt::Key_Escape);
    EXPECT_EQ(w640->text(), QStringLiteral("Width = 640"));

    Choose("W640");
    Move({300, 200});
    EXPECT_EQ(Main->CropSize, QSize(640, 480));
    Main->Busy = true;
    Key(Qt::Key_Q);
    EXPECT_FALSE(Main->SizeMenusSwapped) << "busy";
    EXPECT_EQ(Main->CropSize, QSize(640, 480));
    EXPECT_FALSE(Main->Busy) << "the key's release frees the handlers";
    Key(Qt::Key_Q);
    EXPECT_EQ(Main->CropSize, QSize(480, 640));
}

TEST_F(Crop, ImageSizeItemOnASquareImageAtSixteenToNine) {
    Load(CoordinateImage(1000, 1000));
    Main->PictureFormatClick(3);
    EXPECT_TRUE(Main->findChild<QAction*>(QStringLiteral("PictureFormat3"))->isChecked());
    EXPECT_FALSE(Main->findChild<QAction*>(QStringLiteral("PictureFormat2"))->isChecked());
    Choose("ImageSize");
    EXPECT_EQ(Main->CropSize, QSize(1000, 562));
    Move({100, 100});
    Click({100, 100});
    EXPECT_EQ(Main->OriginalImage.size(), QSize(1000, 562));
    EXPECT_TRUE(IsBlockOfOriginal(Main->OriginalImage));
}

TEST_F(Crop, FramesAtTheEdgesStayInside) {
    Main->PictureFormatClick(2);
    Choose("W640");
    Move({60, 60});
    Move({1, 1});
    Click({1, 1});
    ASSERT_EQ(Main->OriginalImage.size(), QSize(640, 480));
    EXPECT_EQ(Coordinates(Main->OriginalImage, 0, 0), QPoint(0, 0));
    Main->findChild<QAction*>(QStringLiteral("UndoSelectArea1"))->trigger();
    ASSERT_EQ(Main->OriginalImage.size(), QSize(2048, 1536));

    Choose("W640");
    const QSize work = Main->WorkImage.size();
    Move({work.width() - 60, work.height() - 60});
    Move({work.width() - 1, work.height() - 1});
    Click({work.width() - 1, work.height() - 1});
    ASSERT_EQ(Main->OriginalImage.size(), QSize(640, 480));
    EXPECT_TRUE(IsBlockOfOriginal(Main->OriginalImage));
    EXPECT_EQ(Coordinates(Main->OriginalImage, 639, 479), QPoint(2047, 1535))
        << "work image " << work.width() << " x " << work.height() << ", viewport "
        << Main->MeasureBox->viewport()->width();
}

TEST_F(Crop, TwoCropsAndTwoUndosGiveBackTheOriginal) {
    const QImage original = Main->OriginalImage.copy();
    Choose("W1280");
    Move({200, 150});
    Click({200, 150});
    const QImage first = Main->OriginalImage.copy();
    ASSERT_EQ(first.width(), 1280);
    Choose("W640");
    Move({100, 100});
    Click({100, 100});
    ASSERT_EQ(Main->OriginalImage.width(), 640);
    QAction* undo = Main->findChild<QAction*>(QStringLiteral("UndoSelectArea1"));
    undo->trigger();
    EXPECT_EQ(Main->OriginalImage, first);
    undo->trigger();
    EXPECT_EQ(Main->OriginalImage.convertToFormat(original.format()), original);
}

TEST_F(Crop, RefusalsAndCancelling) {
    const QImage work = Main->WorkImage.copy();
    Choose("W4608");
    EXPECT_EQ(prompts.Texts().value(0),
              QStringLiteral("Not possible. Image is smaller than 4608 x 3456pixels"));
    EXPECT_EQ(Main->MeasureMode, ModeTools);

    Choose("W640");
    Move({300, 300});
    Move({320, 330});
    EXPECT_NE(Main->WorkImage, work);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Main->MeasureMode, ModeTools);
    EXPECT_TRUE(Main->SizeLabel->isHidden());
    EXPECT_EQ(Main->WorkImage, work) << "the outline is erased byte for byte";

    Main->MCSystems[Main->CurrentMCSystem].Objectives[0].Cal = 0;
    Choose("U50");
    EXPECT_EQ(prompts.Texts().value(1), QStringLiteral("Calibrate the image first"));
    EXPECT_EQ(Main->MeasureMode, ModeTools);
}

TEST_F(Crop, FreeAreaDrawnEitherWayCropsTheSameArea) {
    const QImage work = Main->WorkImage.copy();
    const double s = Scale();
    Key(Qt::Key_A);
    EXPECT_EQ(Main->MeasureMode, ModeFreeArea);
    Drag({300, 250}, {100, 50});
    EXPECT_EQ(std::tuple(Main->CropFrame.Left, Main->CropFrame.Top, Main->CropFrame.Right,
                         Main->CropFrame.Bottom),
              std::tuple(100, 50, 300, 250));
    EXPECT_FALSE(Main->SizeLabel->isHidden());
    Click({200, 150}, Qt::ControlModifier);
    EXPECT_EQ(Main->MeasureMode, ModeTools);
    const QImage backwards = Main->OriginalImage.copy();
    EXPECT_TRUE(IsBlockOfOriginal(backwards));
    Main->findChild<QAction*>(QStringLiteral("UndoSelectArea1"))->trigger();
    ASSERT_EQ(Main->WorkImage, work);

    Key(Qt::Key_A);
    Drag({100, 50}, {300, 250});
    Click({200, 150}, Qt::ControlModifier);
    EXPECT_EQ(Main->OriginalImage, backwards);
    EXPECT_EQ(backwards.width(), int(std::floor(300 * s + 0.5)) - int(std::floor(100 * s + 0.5)));
    EXPECT_EQ(Coordinates(backwards, 0, 0),
              QPoint(int(std::floor(100 * s + 0.5)), int(std::floor(50 * s + 0.5))));
}

TEST_F(Crop, FreeAreaArrowStepAndCancelKeepTheImage) {
    const QImage work = Main->WorkImage.copy();
    Key(Qt::Key_A);
    Drag({100, 100}, {300, 200});
    const double t = EffectiveCalibration(*Main).MicrometresPerPixel;
    ASSERT_GT(t, 0);
    const double before = std::nearbyint(t * 200 / 5) * 5;
    Key(Qt::Key_Right);
    const int width = Main->CropFrame.Right - Main->CropFrame.Left;
    EXPECT_NEAR(width * t, before + 5, t) << "one step is 5 µm";
    EXPECT_LT(Main->CropFrame.Left, 100);

    // Dragging the bottom edge past the top ends at 20 pixels.
    Move({200, 200});
    QTest::mousePress(Main->Foto, Qt::LeftButton, {}, {200, 200});
    QTest::mouseMove(Main->Foto, {200, 105});
    EXPECT_EQ(Main->CropFrame.Bottom - Main->CropFrame.Top, 20);
    QTest::mouseRelease(Main->Foto, Qt::LeftButton, {}, {200, 105});

    Key(Qt::Key_Escape);
    EXPECT_EQ(Main->MeasureMode, ModeTools);
    EXPECT_EQ(Main->WorkImage, work) << "frame and cross erased, nothing else changed";
}

TEST_F(Crop, NoImageForTheFreeArea) {
    Main->WorkImage = QImage();
    Main->OriginalImage = QImage();
    Main->SelectFreeAreaClick();
    EXPECT_EQ(prompts.Texts().value(0), QStringLiteral("No image available"));
    EXPECT_EQ(Main->MeasureMode, ModeTools);
}

TEST_F(Crop, PopupOffersThePixelSizes) {
    QStringList captions;
    QTimer::singleShot(0, [&] {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            return;
        for (QAction* item : popup->actions())
            captions << item->text();
        for (QAction* item : popup->actions())
            if (item->text() == QStringLiteral("Width in pixels = 640"))
                item->trigger();
        popup->close();
    });
    QTest::mouseClick(Main->Foto, Qt::RightButton, {}, {100, 100});
    if (captions.isEmpty())
        GTEST_SKIP() << "no pop-up menu on this platform";
    EXPECT_EQ(captions.value(0), QStringLiteral("Clear"));
    EXPECT_EQ(captions.value(2), QStringLiteral("Select Free Area"));
    EXPECT_EQ(captions.value(4), QStringLiteral("Width in pixels = 240"));
    EXPECT_EQ(captions.last(), QStringLiteral("Image Width in pixels = 2048"));
    EXPECT_EQ(Main->MeasureMode, ModeCropPixels);
    EXPECT_EQ(Main->CropSize, QSize(640, 480));
}

} // namespace

namespace {

void Wheel(QWidget* widget, QPoint at, int delta) {
    QWheelEvent event(at, widget->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

TEST_F(Crop, TheWheelStepsThroughThePixelSizes) {
    Main->PictureFormatClick(2);
    Choose("W640");
    Move({300, 200});
    Wheel(Main->Foto, {300, 200}, -120);
    EXPECT_EQ(Main->CropSize, QSize(800, 600));
    Wheel(Main->Foto, {300, 200}, 120);
    EXPECT_EQ(Main->CropSize, QSize(640, 480));

    Choose("W240");
    Move({300, 200});
    Wheel(Main->Foto, {300, 200}, 120);
    EXPECT_EQ(Main->CropSize, QSize(240, 180)) << "nothing before the first item";

    // The largest size that fits goes on to the image-size frame.
    Load(CoordinateImage(1900, 1425));
    Choose("W1680");
    Move({300, 200});
    Wheel(Main->Foto, {300, 200}, -120);
    EXPECT_EQ(Main->CropSize, QSize(1900, 1425));
    EXPECT_EQ(Main->MeasureMode, ModeCropPixels);
}

TEST_F(Crop, UnitFrameHasTheCalibratedSizeAndQKeepsItsCentre) {
    Main->PictureFormatClick(2);
    const double c = EffectiveCalibration(*Main).MicrometresPerPixel;
    const double s = Scale();
    Choose("U500");
    ASSERT_EQ(Main->MeasureMode, ModeCropUnits);
    const int fw = int(std::nearbyint(500 / c));
    const int fh = int(std::nearbyint(fw * 3 / 4.0));
    EXPECT_EQ(Main->CropFrameSize, QSize(fw, fh));
    Move({400, 300});
    Move({401, 301});
    const QPoint centre((Main->RubberBand.X1 + Main->RubberBand.X2) / 2,
                        (Main->RubberBand.Y1 + Main->RubberBand.Y2) / 2);
    Key(Qt::Key_Q);
    EXPECT_EQ(Main->CropFrameSize, QSize(fh, fw));
    EXPECT_NEAR((Main->RubberBand.X1 + Main->RubberBand.X2) / 2, centre.x(), 1);
    EXPECT_NEAR((Main->RubberBand.Y1 + Main->RubberBand.Y2) / 2, centre.y(), 1);
    Click({401, 301});
    EXPECT_EQ(Main->OriginalImage.size(),
              QSize(int(std::nearbyint(fh * s)), int(std::nearbyint(fw * s))));
    EXPECT_TRUE(IsBlockOfOriginal(Main->OriginalImage));
}

} // namespace

namespace {

TEST_F(Crop, FreeAreaDrawnPastTheImageEdgesEndsAtThemAndIsLabelledAsCropped) {
    const QSize work = Main->WorkImage.size();
    const double s = Scale();
    struct Case {
        const char* name;
        QPoint from, to;
    };
    const Case cases[] = {
        {"past right and bottom",
         {work.width() - 100, work.height() - 80},
         {work.width() + 150, work.height() + 120}},
        {"past left and top", {100, 80}, {-150, -120}},
    };
    for (const Case& c : cases) {
        Key(Qt::Key_A);
        QTest::mousePress(Main->Foto, Qt::LeftButton, {}, c.from);
        QTest::mouseMove(Main->Foto, (c.from + c.to) / 2);
        QTest::mouseMove(Main->Foto, c.to);
        QTest::mouseRelease(Main->Foto, Qt::LeftButton, {}, c.to);
        EXPECT_GE(Main->CropFrame.Left, 0) << c.name;
        EXPECT_GE(Main->CropFrame.Top, 0) << c.name;
        EXPECT_LE(Main->CropFrame.Right, work.width()) << c.name;
        EXPECT_LE(Main->CropFrame.Bottom, work.height()) << c.name;
        const QString label = Main->SizeLabel->text();
        const QPoint centre((Main->CropFrame.Left + Main->CropFrame.Right) / 2,
                            (Main->CropFrame.Top + Main->CropFrame.Bottom) / 2);
        Click(centre, Qt::ControlModifier);
        ASSERT_EQ(Main->MeasureMode, ModeTools) << c.name;
        const QSize cropped = Main->OriginalImage.size();
        EXPECT_TRUE(label.startsWith(
            QStringLiteral("%1 X %2 = ").arg(cropped.width()).arg(cropped.height())))
            << c.name << ": " << label.toStdString();
        EXPECT_NEAR(cropped.width(), 100 * s, 1.0) << c.name;
        Main->findChild<QAction*>(QStringLiteral("UndoSelectArea1"))->trigger();
        ASSERT_EQ(Main->OriginalImage.size(), QSize(2048, 1536));
    }
}

} // namespace

namespace {

TEST_F(Crop, QOnTheImageSizeFrameSwapsItEvenWhenAMenuSizeHasItsWidth) {
    // 2048 is also the menu's "Width = 2048", which is too tall when swapped.
    Main->PictureFormatClick(2);
    Choose("ImageSize");
    ASSERT_EQ(Main->CropSize, QSize(2048, 1536));
    Move({300, 200});
    Key(Qt::Key_Q);
    EXPECT_TRUE(prompts.Texts().isEmpty()) << prompts.Texts().join(u'|').toStdString();
    EXPECT_EQ(Main->MeasureMode, ModeCropPixels);
    EXPECT_EQ(Main->CropSize, QSize(1152, 1536));
    Key(Qt::Key_Q);
    EXPECT_EQ(Main->CropSize, QSize(2048, 1536));

    // The menu's own item keeps its size when swapped, and is refused where it does not fit.
    Choose("W2048");
    Move({300, 200});
    Key(Qt::Key_Q);
    EXPECT_EQ(prompts.Texts().value(0),
              QStringLiteral("Not possible. Image is smaller than 1536 x 2048pixels"));
}

} // namespace
