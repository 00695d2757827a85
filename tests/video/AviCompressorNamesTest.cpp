#include "video/AviCompressorNames.h"
#include "video/AviWriter.h"

#include <gtest/gtest.h>

namespace {

TEST(AviCompressorNames, TheWritersEncodersWithoutNoCompressionEachUsable) {
    const QStringList names = AviCompressorNames();
    EXPECT_FALSE(names.contains("No Compression"));
    EXPECT_TRUE(names.contains("MJPG mjpeg")) << names.join(", ").toStdString();

    TAviWriter_2 writer;
    writer.SetWidth(640);
    writer.SetHeight(480);
    QStringList list;
    writer.GetCompressorList(list);
    list.removeFirst();
    EXPECT_EQ(names, list);
    for (const QString& name : names) {
        writer.SetCompressor(name); // the FOURCC before the blank
        EXPECT_EQ(writer.Compressor(), name.left(4));
    }
    EXPECT_EQ(AviCompressorNames(), names); // the same list again, found once
}

} // namespace
