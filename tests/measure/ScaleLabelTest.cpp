#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "settings/FontAndTextDialogs.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>

namespace {

class ScriptedLabelInput final : public FontAndTextDialogs {
public:
    ScriptedLabelInput() { SetAppFontAndTextDialogs(this); }
    ~ScriptedLabelInput() override { SetAppFontAndTextDialogs(nullptr); }
    bool SelectFont(FontRecord&) override { return false; }
    bool InputTextAndWrap(const QString& caption, const QString& prompt, QString& text,
                          QString& wrap) override {
        asked.push_back(caption + u'|' + prompt + u'|' + text + u'|' + wrap);
        if (answers.empty())
            return false;
        text = answers.front().first;
        wrap = answers.front().second;
        answers.pop_front();
        return true;
    }
    std::deque<std::pair<QString, QString>> answers;
    QStringList asked;
};

// The measuring window with a 1000 x 750 image of a system calibrated at 0.5 µm per pixel,
// shown at its original size.
class ScaleLabel : public ::testing::Test {
protected:
    void SetUp() override {
        quvartest::SaveScopeA(program.path(), 1000,
                              {{10, QStringLiteral("10 plan"), 0.5}, {40, QString(), 0}});
        CreateApplicationWindows({});
        // The windows install the real dialogs.
        SetAppFontAndTextDialogs(&labelInput);
        QImage image(1000, 750, QImage::Format_BGR888);
        for (int y = 0; y < 750; ++y)
            for (int x = 0; x < 1000; ++x)
                image.setPixel(x, y, qRgb(150 + x % 50, 170 + y % 40, 120));
        path = program.path() + QStringLiteral("/sample.png");
        ASSERT_TRUE(image.save(path));
        Main->resize(1400, 900);
        Main->WarningOnResize = false;
        Main->LoadImageFile(path);
        if (Main->WorkImage.size() != QSize(1000, 750)) {
            Main->FotoSize->setCurrentIndex(0);
            Main->ResizeImageClick();
        }
        ASSERT_EQ(Main->WorkImage.size(), QSize(1000, 750));
        Main->ScaleAsPercentage = false;
        Main->ScaleMarginPx = 6;
        Main->ScaleWidthPx = 2;
        Main->ScalePosition = 0;
        Main->ScaleType = 1;
        Main->ScalePenColor = 0;
        Main->ShowScaleText = true;
        Main->ScaleTransparent = true;
        clean = Main->WorkImage.copy();
    }
    void TearDown() override { DestroyApplicationWindows(); }
    void Trigger(const char* name) {
        QAction* item = Main->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        item->trigger();
    }
    QPoint ImagePos(QWidget* overlay) const { return Main->Foto->ImagePoint(overlay->pos()); }
    // Columns of row y that differ from the clean image.
    std::vector<int> ChangedColumns(const QImage& image, int y) const {
        std::vector<int> columns;
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != clean.pixel(x, y))
                columns.push_back(x);
        return columns;
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QString path;
    ScriptedPrompts prompts;
    ScriptedLabelInput labelInput;
    QImage clean;
};

} // namespace

TEST_F(ScaleLabel, FiftyMicrometreBarIsExactlyAHundredPixelsInTheSavedPng) {
    Trigger("InsertScale3"); // F4: 50 µm
    ASSERT_FALSE(Main->ScaleImage->isHidden());
    EXPECT_EQ(Main->ScaleImageTag, 2);
    const QPoint at = ImagePos(Main->ScaleImage);
    EXPECT_EQ(at.x(), 6);
    EXPECT_EQ(at.y() + Main->ScaleImage->height(), 750 - 6);

    const QString saved = program.path() + QStringLiteral("/scaled.png");
    prompts.files.push_back(FileDialogResult{saved, -1});
    Main->SaveImageAsClick(0);
    EXPECT_TRUE(Main->ScaleImage->isHidden());
    EXPECT_EQ(Main->ScaleImageTag, 0);
    const QImage file(saved);
    ASSERT_EQ(file.size(), QSize(1000, 750));
    // The bar's two rows end 4 above the overlay's bottom, which is 6 above the image's.
    for (int y : {738, 739}) {
        const auto columns = ChangedColumns(file, y);
        ASSERT_EQ(columns.size(), 100u) << y;
        EXPECT_EQ(columns.front(), 10);
        EXPECT_EQ(columns.back(), 109);
        EXPECT_EQ(file.pixel(10, y), qRgb(0, 0, 0));
    }
    EXPECT_TRUE(ChangedColumns(file, 737).size() < 100u);
    EXPECT_TRUE(ChangedColumns(file, 740).empty());
    // The text above it, black only: no grey halo of the key colour.
    int textPixels = 0;
    for (int y = 700; y < 737; ++y)
        for (int x : ChangedColumns(file, y)) {
            EXPECT_EQ(file.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
            ++textPixels;
        }
    EXPECT_GT(textPixels, 20);
}

TEST_F(ScaleLabel, RefusalsShowTheirMessageAndNoOverlay) {
    Trigger("InsertScale6"); // 500 µm: exactly the image's width
    EXPECT_FALSE(Main->ScaleImage->isHidden());
    Main->Undo1Click();

    Main->LengthUnit = QStringLiteral("mm");
    Trigger("InsertScale1"); // 1 mm: 2000 pixels
    EXPECT_TRUE(Main->ScaleImage->isHidden());
    EXPECT_EQ(prompts.Texts().back(), QStringLiteral("Not possible. Scale is wider than image"));

    Main->LengthUnit = QString::fromUtf8("µm");
    Main->ObjectiveButtons[1]->click();
    Trigger("InsertScale0");
    EXPECT_TRUE(Main->ScaleImage->isHidden());
    EXPECT_EQ(prompts.Texts().back(), QStringLiteral("Image is not calibrated"));
    EXPECT_EQ(Main->ScaleImageTag, 0);
}

TEST_F(ScaleLabel, CommitThenUndoGivesBackTheImageByteForByte) {
    Trigger("InsertScale4");
    Trigger("InsertCopyright");
    Main->Undo1Click(); // burns both in, then steps back over the label
    Main->Undo1Click();
    EXPECT_EQ(Main->WorkImage.convertToFormat(QImage::Format_BGR888),
              clean.convertToFormat(QImage::Format_BGR888));
    Main->Redo1Click();
    EXPECT_NE(Main->WorkImage.convertToFormat(QImage::Format_BGR888),
              clean.convertToFormat(QImage::Format_BGR888));
}

TEST_F(ScaleLabel, RightClickTogglesTextAndKSwitchesThePen) {
    Trigger("InsertScale3");
    const int withText = Main->ScaleImage->height();
    QTest::mouseClick(Main->ScaleImage, Qt::RightButton, {}, {5, 5});
    EXPECT_EQ(Main->ScaleImageTag, 1);
    QTest::mouseClick(Main->ScaleImage, Qt::RightButton, {}, {5, 5});
    EXPECT_EQ(Main->ScaleImageTag, 2);
    EXPECT_EQ(Main->ScaleImage->height(), withText);

    Trigger("ToggleCropColor");
    EXPECT_EQ(Main->ScalePenColor, 0xFFFFFFu);
    EXPECT_EQ(Main->ScaleImageTag, 2) << "the text stays";
    Main->Copy1Click();
    EXPECT_EQ(Main->WorkImage.pixel(10, 739), qRgb(255, 255, 255));
    Trigger("InsertScale3");
    Trigger("ToggleCropColor");
    EXPECT_EQ(Main->ScalePenColor, 0u);
}

TEST_F(ScaleLabel, DraggingIsHeldInsideAndSnapsToTheCentre) {
    Trigger("InsertScale3");
    QLabel* scale = Main->ScaleImage;
    const int w = scale->width();
    QTest::mousePress(scale, Qt::LeftButton, {}, {5, 5});
    QTest::mouseMove(scale, {5 + 2000, 5 + 500});
    EXPECT_FALSE(Main->PosLabel->isHidden());
    QTest::mouseRelease(scale, Qt::LeftButton, {}, {5, 5});
    EXPECT_EQ(ImagePos(scale).x() + w, 1000 - 6) << "right edge kept 6 inside";

    const QPoint start = ImagePos(scale);
    const int towardsCentre = (1000 - w) / 2 + 10 - start.x();
    QTest::mousePress(scale, Qt::LeftButton, {}, {5, 5});
    QTest::mouseMove(scale, {5 + towardsCentre, 5});
    EXPECT_FALSE(Main->PosShape->isHidden());
    QTest::mouseRelease(scale, Qt::LeftButton, {}, {5, 5});
    EXPECT_EQ(ImagePos(scale).x(), (1000 - w) / 2);
    EXPECT_TRUE(Main->PosShape->isHidden());
    EXPECT_TRUE(Main->PosLabel->isHidden());
}

TEST_F(ScaleLabel, CopyrightLabelSitsFivePixelsFromLeftAndBottom) {
    Main->CopyrightText = QStringLiteral("(c) Lab");
    Main->CopyrightPosition = 0;
    Trigger("InsertCopyright");
    ASSERT_FALSE(Main->ImgLabel->isHidden());
    EXPECT_EQ(Main->MeasureMode, ModeTools);
    const QPoint at = ImagePos(Main->ImgLabel);
    EXPECT_EQ(at.x(), 5);
    EXPECT_EQ(at.y() + Main->ImgLabel->height(), 750 - 5);
    Main->Copy1Click();
    EXPECT_TRUE(Main->ImgLabel->isHidden());
    // Painted inside the label's rectangle only.
    const QRect box(at, Main->ImgLabel->size());
    int inside = 0;
    for (int y = 0; y < 750; ++y)
        for (int x = 0; x < 1000; ++x)
            if (Main->WorkImage.pixel(x, y) != clean.pixel(x, y)) {
                ASSERT_TRUE(box.contains(x, y)) << x << "," << y;
                ++inside;
            }
    EXPECT_GT(inside, 20);
}

TEST_F(ScaleLabel, RightClickEditsAndWrapsTheLabel) {
    Main->WrapLength = 0;
    Trigger("InsertLabel");
    const int oneLine = Main->ImgLabel->height();
    labelInput.answers.push_back({QStringLiteral("a label of (c) several words"), "10"});
    QTest::mouseClick(Main->ImgLabel, Qt::RightButton, {}, {3, 3});
    ASSERT_EQ(labelInput.asked.size(), 1);
    EXPECT_EQ(labelInput.asked[0], QStringLiteral("QUVAR Label|Enter (Modify) the Label "
                                                  "text:|Right Click to Enter Text|0"));
    EXPECT_GE(Main->ImgLabel->height(), 3 * oneLine);
    EXPECT_EQ(Main->WrapLength, 0) << "a text label's wrap applies to this text only";
    const QPoint at = ImagePos(Main->ImgLabel);
    EXPECT_LE(at.y() + Main->ImgLabel->height(), 750 - 5);
    EXPECT_GE(at.y(), 5);

    // Cancel leaves it as it is.
    const QSize before = Main->ImgLabel->size();
    QTest::mouseClick(Main->ImgLabel, Qt::RightButton, {}, {3, 3});
    EXPECT_EQ(Main->ImgLabel->size(), before);
}

TEST_F(ScaleLabel, ObjectiveLabelWithoutTextReadsUnknown) {
    Main->ObjectiveButtons[1]->click();
    Trigger("InsertObjectiveLabel");
    ASSERT_FALSE(Main->ImgLabel->isHidden());
    QTest::mouseClick(Main->ImgLabel, Qt::RightButton, {}, {3, 3});
    ASSERT_EQ(labelInput.asked.size(), 1);
    EXPECT_TRUE(labelInput.asked[0].contains(QStringLiteral("|Unknown|")));
}

TEST_F(ScaleLabel, NothingIsInsertedWhileAFrameIsShown) {
    // The crop frame and free area set the mode and draw by inversion.
    Main->MeasureMode = ModeCropPixels;
    Trigger("InsertLabel");
    Trigger("InsertScale3");
    EXPECT_TRUE(Main->ImgLabel->isHidden());
    EXPECT_TRUE(Main->ScaleImage->isHidden());
    EXPECT_EQ(Main->MeasureMode, ModeCropPixels);
    Main->MeasureMode = ModeTools;
}
