#include "AviTestSupport.h"

#include "platform/Errors.h"
#include "video/AviWriter.h"
#include "video/FrameFileAssembly.h"
#include "video/RecordingPlan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Pixels(const QImage& frame) {
    QByteArray bytes;
    for (int y = 0; y < frame.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(frame.constScanLine(y)), frame.width() * 3);
    return bytes;
}

TEST(FrameFileAssembly, FramesGoInTickOrderWhateverOrderTheyWereWrittenIn) {
    QTemporaryDir folder;
    // 999999 and 1000000: past six digits the names no longer sort as the numbers do.
    const int ticks[] = {7, 0, 1'000'000, 3, 999'999, 12};
    for (int tick : ticks)
        ASSERT_TRUE(avitest::PatternFrame(64, 48, tick * 17)
                        .save(folder.filePath(FrameFileName("V.avi", tick)), "BMP"));
    const QString video = folder.filePath("V.avi");
    TAviWriter_2 writer;
    std::vector<int> progress;
    EXPECT_EQ(BuildAVIFromFrames(writer, folder.path(), {64, 48}, 100, video,
                                 [&](int n) { progress.push_back(n); }),
              6);
    EXPECT_EQ(progress, std::vector<int>({1, 2, 3, 4, 5, 6}));
    const auto decoded = avitest::DecodeBgr(video);
    if (!decoded)
        GTEST_SKIP()
            << "ffmpeg is not installed: the frames were not compared as a player decodes them";
    QByteArray expected;
    for (int tick : {0, 3, 7, 12, 999'999, 1'000'000})
        expected += Pixels(avitest::PatternFrame(64, 48, tick * 17));
    EXPECT_TRUE(*decoded == expected)
        << decoded->size() << " bytes decoded, " << expected.size() << " expected";
}

TEST(FrameFileAssembly, AnEmptyFolderWritesNoFile) {
    QTemporaryDir folder;
    TAviWriter_2 writer;
    EXPECT_EQ(BuildAVIFromFrames(writer, folder.path(), {64, 48}, 100, folder.filePath("V.avi")),
              0);
    EXPECT_FALSE(QFile::exists(folder.filePath("V.avi")));
}

TEST(FrameFileAssembly, SameWidthIsCopiedAnyOtherResized) {
    const QImage short_frame = avitest::PatternFrame(640, 360);
    EXPECT_EQ(FrameFileAtAviSize(short_frame, {640, 480}).size(), QSize(640, 360));
    EXPECT_EQ(FrameFileAtAviSize(avitest::PatternFrame(800, 600), {640, 480}).size(),
              QSize(640, 480));
}

TEST(DeleteFolderFiles, DeletesFilesKeepsSubfoldersAndRefusesALink) {
    QTemporaryDir root;
    QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath("temp/sub"));
    for (const char* name : {"temp/a.bmp", "temp/.hidden", "temp/sub/keep.bmp"}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::link(dir.filePath("temp"), dir.filePath("link")));
    EXPECT_FALSE(DeleteFolderFiles(dir.filePath("link")));
    EXPECT_TRUE(QFile::exists(dir.filePath("temp/a.bmp"))) << "nothing deleted through the link";
    EXPECT_FALSE(DeleteFolderFiles(dir.filePath("missing")));
    EXPECT_TRUE(DeleteFolderFiles(dir.filePath("temp")));
    EXPECT_FALSE(QFile::exists(dir.filePath("temp/a.bmp")));
    EXPECT_FALSE(QFile::exists(dir.filePath("temp/.hidden")));
    EXPECT_TRUE(QFile::exists(dir.filePath("temp/sub/keep.bmp")));
}

// A frame file that cannot be read in the middle of the assembly: the video is finished with
// the frames before it, and the message names the file.
TEST(FrameFileAssembly, AnUnreadableFrameFileEndsTheVideoWithTheFramesBeforeIt) {
    QTemporaryDir folder;
    for (int tick = 0; tick < 5; ++tick)
        ASSERT_TRUE(avitest::PatternFrame(64, 48, tick)
                        .save(folder.filePath(FrameFileName("V.avi", tick)), "BMP"));
    const QString broken = folder.filePath(FrameFileName("V.avi", 2));
    QFile damaged(broken);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("BM not an image");
    damaged.close();
    const QString video = folder.filePath("V.avi");
    TAviWriter_2 writer;
    QString message;
    try {
        BuildAVIFromFrames(writer, folder.path(), {64, 48}, 100, video);
    } catch (const QuvarError& error) {
        message = error.message();
    }
    EXPECT_EQ(message, "Cannot read the frame file " + QDir::toNativeSeparators(broken));
    const QByteArray f = avitest::ReadAll(video);
    EXPECT_EQ(avitest::U32(f, 4), uint32_t(f.size() - 8)) << "closed complete";
    EXPECT_EQ(avitest::U32(f, 48), 2u);
    const auto frames = avitest::FrameCount(video);
    if (!frames)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(*frames, 2);
}

// Frames a crash left behind become a video named after them, beside (never over) a file of
// that name; the frames of a finished recording, which carry no mark, stay as they are.
TEST(FrameFileAssembly, FramesOfAnUnfinishedRecordingBecomeAVideoOfTheirName) {
    QTemporaryDir temp, videos;
    for (int tick : {0, 1, 2})
        ASSERT_TRUE(avitest::PatternFrame(64, 48, tick)
                        .save(temp.filePath(FrameFileName("Done.avi", tick)), "BMP"));
    for (int tick : {0, 1, 2, 3})
        ASSERT_TRUE(avitest::PatternFrame(64, 48, tick)
                        .save(temp.filePath(FrameFileName("Cut.avi", tick)), "BMP"));
    ASSERT_TRUE(MarkRecordingUnfinished(temp.path(), "Cut"));
    EXPECT_EQ(UnfinishedRecordings(temp.path()), QStringList{"Cut"});

    QFile existing(QDir(videos.path()).filePath("Cut.avi"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("the user's own file");
    existing.close();
    TAviWriter_2 writer;
    const QStringList written =
        RecoverUnfinishedRecordings(writer, temp.path(), videos.path(), {64, 48}, 100);
    const QString video = QDir(videos.path()).filePath("Cut (2).avi");
    EXPECT_EQ(written, QStringList{video});
    EXPECT_EQ(avitest::ReadAll(existing.fileName()), "the user's own file");
    EXPECT_FALSE(QFile::exists(QDir(videos.path()).filePath("Done.avi")));
    EXPECT_TRUE(UnfinishedRecordings(temp.path()).isEmpty()) << "marked finished";
    EXPECT_EQ(QDir(temp.path()).entryList({"*.bmp"}, QDir::Files).size(), 7) << "frames stay";
    const auto frames = avitest::FrameCount(video);
    if (!frames)
        GTEST_SKIP() << "ffprobe is not installed";
    EXPECT_EQ(*frames, 4);
}

} // namespace
