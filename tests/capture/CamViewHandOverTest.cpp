// The preview window's side of the hand-over to the window that takes its captures, with a
// fake taker: where snapshots go, how a frame is handed through the watched folder, and
// showing the taker in the preview window's place. The real pair is in MeasureHandOverTest.

#include "FakeCaptureTaker.h"
#include "PreviewWindowFixture.h"

#include "imaging/ImageFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QToolButton>

namespace {

using previewtest::Colour;
using previewtest::PreviewWindow;

// JPEG of a YUV camera format: a channel may be a few steps off.
bool NearInJpeg(QRgb actual, QRgb expected) {
    return std::abs(qRed(actual) - qRed(expected)) <= 6 &&
           std::abs(qGreen(actual) - qGreen(expected)) <= 6 &&
           std::abs(qBlue(actual) - qBlue(expected)) <= 6;
}

class PreviewHandOver : public PreviewWindow {
protected:
    void SetUp() override {
        PreviewWindow::SetUp();
        taker.PhotoFolder = takerPhotos.path();
        taker.SampleDate = QDate(2021, 3, 4);
        taker.WatchFolder = watched.path();
        window->SetCaptureTaker(&taker);
    }
    QString FromCamera() const { return watched.filePath("FromCamera.jpg"); }

    QTemporaryDir takerPhotos;
    QTemporaryDir watched;
    FakeCaptureTaker taker;
};

TEST_F(PreviewHandOver, SnapshotsGoToTheTakersPhotoFolderNamedWithItsSampleDate) {
    StartCamera(); // showing the window takes the taker's folder
    EXPECT_EQ(window->SnapshotFolder, takerPhotos.path());
    EXPECT_TRUE(window->Snapshot->toolTip().endsWith(takerPhotos.path()));
    window->SnapshotFolder = photos.path(); // the taker's folder counts, not this one
    window->CaptureNr = 7;
    window->NameBoxIndex = 2;
    window->ImageExtention = 2;
    window->SnapshotClick();
    EXPECT_TRUE(QFile::exists(takerPhotos.filePath("Snapshot_2021-03-04_00007.png")))
        << prompts.Texts().join("|").toStdString();
    EXPECT_TRUE(QDir(photos.path()).isEmpty());
    EXPECT_TRUE(taker.Calls.isEmpty());

    // The taker has no photo folder: refused, whatever the preview window's own says.
    taker.PhotoFolder = " ";
    window->SnapshotClick();
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_TRUE(prompts.shown.back().text.contains("No photo folder"));
    EXPECT_EQ(window->CaptureNr, 8);
}

TEST_F(PreviewHandOver, F3HoldsTheFrameThenLoadsItsFileFromTheWatchedFolder) {
    StartCamera();
    QTest::keyRelease(window.get(), Qt::Key_F3);
    EXPECT_EQ(taker.Calls, QStringList({"HoldFrame", "LoadFrame FromCamera.jpg"}))
        << prompts.Texts().join("|").toStdString();
    EXPECT_EQ(taker.Held.size(), QSize(640, 480));
    EXPECT_TRUE(previewtest::Near(taker.Held.pixel(320, 240), Colour));
    EXPECT_TRUE(taker.LoadedFileExisted);
    QImage written;
    QStringList comment;
    LoadImageWithComment(written, FromCamera(), comment);
    EXPECT_EQ(written.size(), QSize(640, 480));
    EXPECT_TRUE(NearInJpeg(written.pixel(320, 240), Colour));
}

TEST_F(PreviewHandOver, ALinkInTheWatchedFolderIsReplacedAndItsTargetNeverWritten) {
    QTemporaryDir outside;
    const QString precious = outside.filePath("precious.jpg");
    {
        QFile file(precious);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("an earlier photo");
    }
    ASSERT_TRUE(QFile::link(precious, FromCamera()));
    StartCamera();
    window->ToMeasurementClick();
    EXPECT_EQ(taker.Calls, QStringList({"HoldFrame", "LoadFrame FromCamera.jpg"}));
    EXPECT_TRUE(taker.LoadedFileExisted); // a regular file of its own
    QFile file(precious);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "an earlier photo");
}

TEST_F(PreviewHandOver, AFailedWriteStillHandsTheFrameOverWithoutAFileAndSaysWhy) {
    taker.WatchFolder = watched.filePath("gone"); // no such folder
    StartCamera();
    try {
        window->ToMeasurementClick();
        ADD_FAILURE() << "the failed write was not reported";
    } catch (const std::exception& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains("FromCamera.jpg")) << error.what();
    }
    EXPECT_EQ(taker.Calls, QStringList({"HoldFrame", "LoadFrame "}));
    EXPECT_EQ(taker.Held.size(), QSize(640, 480));
}

TEST_F(PreviewHandOver, WithoutAPreviewNothingIsHandedOver) {
    window->ToMeasurementClick();
    EXPECT_TRUE(taker.Calls.isEmpty());
    EXPECT_TRUE(QDir(watched.path()).isEmpty());
}

TEST_F(PreviewHandOver, ShowMeasurementShowsTheTakerInThePreviewsPlace) {
    window->show();
    window->setGeometry(100, 120, 850, 700);
    const QRect placed = window->geometry();
    window->ShowMeasurementClick();
    EXPECT_EQ(taker.Calls, QStringList({"ShowInPlaceOf"}));
    EXPECT_FALSE(taker.ShownMaximized);
    EXPECT_EQ(taker.ShownOn, placed);
    EXPECT_TRUE(window->isHidden());

    window->showMaximized();
    window->ShowMeasurementClick();
    EXPECT_TRUE(taker.ShownMaximized);
    EXPECT_TRUE(window->isHidden());

    // Closing the preview window hands back the same way.
    window->showNormal();
    window->close();
    EXPECT_EQ(taker.Calls.size(), 3);
    EXPECT_TRUE(window->isHidden());
}

} // namespace
