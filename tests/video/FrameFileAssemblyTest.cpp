#include "AviTestSupport.h"

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

} // namespace
