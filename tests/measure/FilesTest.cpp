#include "imaging/ImageFiles.h"
#include "measure/Calibration.h"
#include "measure/ImageFileCommands.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "platform/Errors.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>

namespace {

// The measuring window over a program folder with one configured system, a photo folder
// and a folder of images named as users name them: location, coordinates, sample date.
class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(root.path()).mkpath(QStringLiteral("photos"));
        QDir(root.path()).mkpath(QStringLiteral("Pond A #52.1N 4.3E $2024-05-17"));
        quvartest::SaveScopeA(
            program.path(), kWidth,
            {{10, QStringLiteral("10 plan"), 0.8}, {40, QStringLiteral("40x/0.65"), 0}});
        QFile ini(program.path() + QStringLiteral("/Quvar.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Directories]\r\nPhotoDir=" + QFile::encodeName(PhotoFolder()) + "\r\n");
        ini.close();
        CreateApplicationWindows({});
    }
    void TearDown() override { DestroyApplicationWindows(); }
    QString PhotoFolder() const { return root.path() + QStringLiteral("/photos"); }
    QString PondFolder() const {
        return root.path() + QStringLiteral("/Pond A #52.1N 4.3E $2024-05-17");
    }
    QString MakeImage(const QString& path, int width = kWidth) {
        QImage image(width, width * 3 / 4, QImage::Format_BGR888);
        image.fill(QColor(90, 140, 60));
        EXPECT_TRUE(image.save(path));
        return path;
    }
    void Open(const QString& path, int tag = 0) {
        prompts.files.push_back(FileDialogResult{path, 0});
        Main->OpenImageClick(tag);
    }
    void SaveAs(const QString& path, int tag = 0) {
        prompts.files.push_back(FileDialogResult{path, -1});
        Main->SaveImageAsClick(tag);
    }
    double Effective() const { return EffectiveCalibration(*Main).MicrometresPerPixel; }

    static constexpr int kWidth = 64;
    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir root;
    ScriptedPrompts prompts;
};

} // namespace

// The road a user walks first: open a picture without comment, calibrate it, save it,
// open it again and measure in the same units, in every file type.
TEST_F(ImageFiles, OpenCalibrateSaveAndReopenMeasuresInTheSameUnits) {
    Open(MakeImage(PondFolder() + QStringLiteral("/sample.png")), 1);
    EXPECT_EQ(Main->ImageState, ImageAssumed);
    EXPECT_EQ(Main->SelectedFolder, PondFolder());
    EXPECT_EQ(Main->ImageLocation, QStringLiteral("Pond A "));
    EXPECT_EQ(Main->ImageCoordinates, QStringLiteral("52.1N 4.3E $2024-05-17"));
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().kind, QStringLiteral("warn"));
    EXPECT_TRUE(prompts.shown.back().text.contains(QStringLiteral("Scope A")));

    prompts.inputs.push_back(QStringLiteral("20"));
    ASSERT_TRUE(CalibrateByTwoPoints(*Main, 40.0, *Main));
    const double calibrated = Effective();
    EXPECT_DOUBLE_EQ(calibrated, 0.5);

    for (const char* ext : {"jpg", "png", "tif", "bmp"}) {
        SCOPED_TRACE(ext);
        const QString saved = PondFolder() + QStringLiteral("/saved.") + QLatin1String(ext);
        const int counter = Main->FileCounter;
        SaveAs(saved, 1);
        ASSERT_TRUE(QFileInfo::exists(saved));
        EXPECT_EQ(Main->FileCounter, counter + 1);
        EXPECT_EQ(Main->windowTitle(), saved);

        Main->LoadImageFile(saved);
        EXPECT_EQ(Main->ImageState, ImageFromComment);
        EXPECT_EQ(Main->CurrentMCSystem, -1);
        EXPECT_NEAR(Effective(), calibrated, 1e-6);
        EXPECT_EQ(Main->OpenedExtension, QLatin1String(ext));
    }
}

TEST_F(ImageFiles, AFileThatCannotBeReadChangesNothing) {
    const QString good = MakeImage(PondFolder() + QStringLiteral("/good.png"));
    Main->LoadImageFile(good);
    const QStringList comment = Main->CommentLines;
    QFile broken(PondFolder() + QStringLiteral("/broken.jpg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();

    for (const QString& bad : {broken.fileName(), PondFolder() + QStringLiteral("/gone.png")}) {
        try {
            Main->LoadImageFile(bad);
            ADD_FAILURE() << "no error for " << bad.toStdString();
        } catch (const QuvarError& error) {
            EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QFileInfo(bad).fileName()));
        }
        EXPECT_EQ(Main->CurrentFileName, good);
        EXPECT_EQ(Main->OpenedExtension, QStringLiteral("png"));
        EXPECT_EQ(Main->CommentLines, comment);
        EXPECT_EQ(Main->OriginalImage.width(), kWidth);
        EXPECT_EQ(Main->windowTitle(), good);
    }
}

TEST_F(ImageFiles, SavingToATypeNoWriterHandlesIsRefused) {
    Main->LoadImageFile(MakeImage(PondFolder() + QStringLiteral("/a.png")));
    const QString title = Main->windowTitle();
    const QString gif = PondFolder() + QStringLiteral("/a.gif");
    EXPECT_THROW(SaveAs(gif), QuvarError);
    EXPECT_FALSE(QFileInfo::exists(gif));
    EXPECT_EQ(Main->FileCounter, 0);
    EXPECT_EQ(Main->windowTitle(), title);
}

TEST_F(ImageFiles, AnUppercaseExtensionIsKeptForSaving) {
    // An image of no configured width: unknown system, so Save As proposes a new name.
    const QString photo = PondFolder() + QStringLiteral("/photo.JPG");
    MakeImage(photo, 50);
    Main->SaveFilterIndex = 4;
    Main->LoadImageFile(photo);
    EXPECT_EQ(Main->ImageState, ImageUnknownSystem);
    EXPECT_EQ(Main->SaveExtension, QStringLiteral("JPG"));

    Main->SaveImageAsClick(0); // cancelled: nothing queued
    const FileDialogRequest& request = prompts.shown.back().request;
    EXPECT_EQ(request.filterIndex, 3) << "the filter index stays where it was";
    EXPECT_TRUE(request.fileName.endsWith(QStringLiteral(".JPG")));
    EXPECT_TRUE(request.fileName.startsWith(PhotoFolder() + QStringLiteral("/")));
    EXPECT_EQ(request.onFilterChange(QStringLiteral("x/name.JPG"), 1), QStringLiteral("name.bmp"));
    EXPECT_EQ(request.onFilterChange(QStringLiteral("name.JPG"), 0), QStringLiteral("name.JPG"));
}

TEST_F(ImageFiles, ACommentReadImageProposesANewNameInThePhotoFolderAndItsOwnElsewhere) {
    Open(MakeImage(PondFolder() + QStringLiteral("/sample.png")), 1);
    prompts.inputs.push_back(QStringLiteral("20"));
    ASSERT_TRUE(CalibrateByTwoPoints(*Main, 40.0, *Main));
    const QString saved = PondFolder() + QStringLiteral("/own.png");
    SaveAs(saved, 1);
    Main->LoadImageFile(saved);
    ASSERT_EQ(Main->ImageState, ImageFromComment);

    Main->AlternativeFolder = root.path();
    Main->SaveImageAsClick(2);
    EXPECT_EQ(prompts.shown.back().request.fileName, root.path() + QStringLiteral("/own.png"));
    Main->SaveImageAsClick(0);
    const QString proposed = prompts.shown.back().request.fileName;
    EXPECT_TRUE(proposed.startsWith(PhotoFolder() + QStringLiteral("/")));
    EXPECT_TRUE(proposed.endsWith(QStringLiteral("_10X_0001.png"))) << proposed.toStdString();
}

TEST_F(ImageFiles, APastedPictureGetsAnAutomaticName) {
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QApplication::clipboard()->setImage(picture);
    Main->Paste1Click();
    EXPECT_EQ(Main->ImageState, ImageUnknownSystem);
    EXPECT_TRUE(Main->CurrentFileName.startsWith(PhotoFolder() + QStringLiteral("/")));
    EXPECT_TRUE(Main->CurrentFileName.endsWith(QStringLiteral("_0001.jpg")))
        << Main->CurrentFileName.toStdString();
    EXPECT_EQ(Main->windowTitle(), Main->CurrentFileName);
}

TEST(SavedComment, RecordsTheCalibrationOfThePixelsSaved) {
    TMainFields main;
    main.NrOfMCSystems = 1;
    main.CurrentMCSystem = 0;
    main.MCSystems[0].Name = QStringLiteral("Scope A");
    main.MCSystems[0].CaptureWidth = 400;
    main.MCSystems[0].NrOfObjectives = 1;
    main.MCSystems[0].Objectives[0] = {10, QStringLiteral("10 plan"), 0.5};
    main.ImageState = ImageAssumed;
    main.CaptureWidthRatio = 1.0;
    main.OriginalImage = QImage(400, 300, QImage::Format_BGR888);
    main.WorkImage = QImage(160, 120, QImage::Format_BGR888);
    main.CurrentCalibration = 0.5; // as an objective choice leaves it: at the capture width
    const QString text = FillCommentForSaving(main, QString(), QString());
    EXPECT_TRUE(text.contains(QStringLiteral("\r\nCalibration = 1.250000\r\n")))
        << text.toStdString();
}

// A fresh install has no selected folder, and a stored one may be gone: the location lines
// then come from My Pictures/QUVAR/FromCamera, which loading creates, and the selected
// folder itself stays as it was.
TEST_F(ImageFiles, AMissingSelectedFolderGivesTheFromCameraLocation) {
    const QString fromCamera = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) +
                               QStringLiteral("/QUVAR/FromCamera");
    const QString image = MakeImage(PhotoFolder() + QStringLiteral("/fresh.png"), 50);
    for (const QString& selected : {QString(), root.path() + QStringLiteral("/Gone #1N 2E")}) {
        SCOPED_TRACE(selected.toStdString());
        QDir(fromCamera).removeRecursively();
        Main->SelectedFolder = selected;
        Open(image); // from the photo folder: the selected folder is not changed
        EXPECT_EQ(Main->SelectedFolder, selected);
        EXPECT_EQ(Main->ImageLocation, QStringLiteral("FromCamera"));
        EXPECT_EQ(Main->ImageCoordinates, QString());
        EXPECT_TRUE(QFileInfo(fromCamera).isDir());

        // An image of an unknown system keeps its own location lines in the saved comment.
        ASSERT_EQ(Main->ImageState, ImageUnknownSystem);
        const QString saved = root.path() + QStringLiteral("/located.png");
        SaveAs(saved);
        QImage bitmap;
        QStringList comment;
        LoadImageWithComment(bitmap, saved, comment);
        ASSERT_GE(comment.size(), 3);
        EXPECT_EQ(comment[1], QStringLiteral("FromCamera"));
        EXPECT_EQ(comment[2], QString());
    }
}

// An image without a comment has the sample date of new photos, in its automatic name and
// in the comment saved with it; a comment's own date wins, and does not stay behind for the
// next image without one.
TEST_F(ImageFiles, AnImageWithoutCommentTakesTheNewSampleDate) {
    const QString plain = MakeImage(PondFolder() + QStringLiteral("/plain.png"), 50);
    Main->NewSampleDate = QDate(2020, 2, 3);
    Open(plain);
    EXPECT_EQ(Main->SampleDate, QDate(2020, 2, 3));

    const QString saved = root.path() + QStringLiteral("/dated.png");
    SaveAs(saved);
    const QString proposed = prompts.shown.back().request.fileName;
    EXPECT_TRUE(proposed.startsWith(PhotoFolder() + QStringLiteral("/2020-02-03_")))
        << proposed.toStdString();
    QImage bitmap;
    QStringList comment;
    LoadImageWithComment(bitmap, saved, comment);
    EXPECT_TRUE(comment.contains(QStringLiteral("SampleDate = 2020-02-03")))
        << comment.join(u'|').toStdString();

    Main->NewSampleDate = QDate(2021, 6, 7);
    Main->LoadImageFile(saved);
    EXPECT_EQ(Main->SampleDate, QDate(2020, 2, 3)) << "the comment's date";
    Main->LoadImageFile(plain);
    EXPECT_EQ(Main->SampleDate, QDate(2021, 6, 7)) << "not the previous image's date";
}

// A counter read at the top of its range wraps on the next save.
TEST_F(ImageFiles, TheFileCounterWrapsAfterTheLargestValue) {
    Open(MakeImage(PondFolder() + QStringLiteral("/a.png")));
    Main->FileCounter = INT_MAX;
    SaveAs(root.path() + QStringLiteral("/top.png"));
    EXPECT_EQ(Main->FileCounter, 0);
    SaveAs(root.path() + QStringLiteral("/next.png"));
    EXPECT_EQ(Main->FileCounter, 1);
}
