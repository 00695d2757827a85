#include "capture/Snapshots.h"
#include "platform/Errors.h"

#include <QColor>
#include <gtest/gtest.h>

namespace {

SnapshotNaming Naming(int scheme, int extension = 1, int number = 7) {
    SnapshotNaming n;
    n.PhotoFolder = "/photos";
    n.CaptureNr = number;
    n.Prefix = "Snapshot";
    n.NameBoxIndex = scheme;
    n.ImageExtention = extension;
    n.SampleDate = QDate(2024, 5, 17);
    n.Now = QTime(14, 3, 9);
    return n;
}

} // namespace

TEST(SnapshotName, SchemesAndTypes) {
    struct Case {
        int scheme, extension, number;
        const char* path;
    };
    const Case cases[] = {
        {0, 1, 7, "/photos/00007.jpg"},
        {1, 1, 7, "/photos/Snapshot_00007.jpg"},
        {2, 1, 7, "/photos/Snapshot_2024-05-17_00007.jpg"},
        {3, 1, 7, "/photos/Snapshot_2024-05-17_14-03-09_00007.jpg"},
        {5, 1, 7, "/photos/Image.jpg"},
        {-1, 1, 7, "/photos/Image.jpg"},
        {1, 0, 123456, "/photos/Snapshot_123456.bmp"},
        {1, 2, 99999, "/photos/Snapshot_99999.png"},
        {1, 3, 0, "/photos/Snapshot_00000.tif"},
        {1, 4, 7, "/photos/Snapshot_00007"},
        {1, -1, 7, "/photos/Snapshot_00007"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeSnapshotFileName(Naming(c.scheme, c.extension, c.number)), c.path)
            << c.scheme << " " << c.extension;
}

TEST(SnapshotName, FolderGetsOneSeparator) {
    SnapshotNaming n = Naming(0);
    n.PhotoFolder = "/photos/";
    EXPECT_EQ(MakeSnapshotFileName(n), "/photos/00007.jpg");
    n.PhotoFolder.clear();
    EXPECT_EQ(MakeSnapshotFileName(n), "/00007.jpg"); // the window refuses an empty folder
}

TEST(SnapshotName, PrefixIsANamePartNeverAPath) {
    // A device name taken as the prefix, or a typed one, must not lead the file out of the
    // photo folder or into a subfolder that does not exist.
    struct Case {
        const char* prefix;
        int scheme;
        const char* path;
    };
    const Case cases[] = {
        {"USB2.0 Camera: 1/2", 1, "/photos/USB2.0 Camera_ 1_2_00007.jpg"},
        {"../elsewhere", 1, "/photos/.._elsewhere_00007.jpg"},
        {"a\\b", 2, "/photos/a_b_2024-05-17_00007.jpg"},
        {"/", 3, "/photos/__2024-05-17_14-03-09_00007.jpg"},
        {"Cam <1>?", 1, "/photos/Cam _1___00007.jpg"},
        {"", 1, "/photos/_00007.jpg"},
    };
    for (const Case& c : cases) {
        SnapshotNaming n = Naming(c.scheme);
        n.Prefix = c.prefix;
        EXPECT_EQ(MakeSnapshotFileName(n).toStdString(), c.path) << c.prefix;
    }
}

TEST(SnapshotName, CounterWrapsAfter99999) {
    EXPECT_EQ(NextCaptureNr(0), 1);
    EXPECT_EQ(NextCaptureNr(99998), 99999);
    EXPECT_EQ(NextCaptureNr(99999), 0);
}

TEST(FitVideo, ExamplesAndLimits) {
    struct Case {
        int w, h, areaW, areaH, fitW, fitH;
    };
    const Case cases[] = {
        {640, 480, 659, 601, 655, 491},      // 655 x 0.75 = 491.25
        {640, 480, 804, 404, 533, 400},      // limited by the height: 400 / 0.75 = 533.3
        {0, 0, 404, 1004, 400, 300},         // no format yet: the shape of 640 x 480
        {1920, 1080, 1004, 1004, 1000, 562}, // 562.5 rounds to even
        {640, 480, 2, 2, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitVideoSize(c.w, c.h, QSize(c.areaW, c.areaH)), QSize(c.fitW, c.fitH))
            << c.w << "x" << c.h << " in " << c.areaW << "x" << c.areaH;
}

TEST(StackFrameCount, AnyPositiveWholeNumberThatTheSumsHold) {
    const struct {
        const char* text;
        int count;
    } good[] = {{"1", 1},     {"2", 2},   {" 64 ", 64},          {"65", 65},
                {"100", 100}, {"007", 7}, {"16843009", 16843009}};
    for (const auto& c : good)
        EXPECT_EQ(ParseStackFrameCount(c.text), c.count) << c.text;
    for (const char* bad : {"", " ", "0", "00", "-4", "+4", "4.5", "abc", "0x10", "1e1", "16843010",
                            "99999999999", "\u0664"})
        EXPECT_FALSE(ParseStackFrameCount(QString::fromUtf8(bad)).has_value()) << bad;
}

TEST(FrameStack, AveragesTruncatingAndPadsASmallerFrame) {
    TFrameStack stack;
    stack.Reset(800, 600);
    const int values[] = {10, 11, 11, 11}; // sum 43, / 4 = 10.75 -> 10
    for (int v : values) {
        QImage frame(640, 480, QImage::Format_BGR888);
        frame.fill(QColor(v, 2 * v, 255));
        stack.Add(frame);
    }
    const QImage average = stack.Average();
    ASSERT_EQ(average.size(), QSize(800, 600));
    ASSERT_EQ(average.format(), QImage::Format_BGR888);
    EXPECT_EQ(average.pixel(0, 0), qRgb(10, 21, 255));
    EXPECT_EQ(average.pixel(639, 479), qRgb(10, 21, 255));
    EXPECT_EQ(average.pixel(640, 0), qRgb(0, 0, 0));
    EXPECT_EQ(average.pixel(0, 480), qRgb(0, 0, 0));
    EXPECT_EQ(average.pixel(799, 599), qRgb(0, 0, 0));
}

TEST(FrameStack, LargerFramesAreCutAnd32BitFramesCount) {
    TFrameStack stack;
    stack.Reset(3, 2);
    QImage big(5, 4, QImage::Format_RGB32);
    big.fill(QColor(255, 255, 255));
    big.setPixel(0, 0, qRgb(1, 2, 3));
    for (int i = 0; i < 300; ++i) // 300 x 255 is beyond 16 bits
        stack.Add(big);
    const QImage average = stack.Average();
    EXPECT_EQ(average.size(), QSize(3, 2));
    EXPECT_EQ(average.pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(average.pixel(2, 1), qRgb(255, 255, 255));
}

TEST(FrameStack, LargerThanTheOldFixedArray) {
    TFrameStack stack;
    stack.Reset(3300, 2500);
    QImage frame(3300, 2500, QImage::Format_BGR888);
    frame.fill(QColor(9, 8, 7));
    stack.Add(frame);
    stack.Add(frame);
    EXPECT_EQ(stack.Average().pixel(3299, 2499), qRgb(9, 8, 7));
}
