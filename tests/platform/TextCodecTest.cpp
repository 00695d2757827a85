#include "platform/TextCodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, Utf8FirstThenWindows1252) {
    EXPECT_EQ(DecodeText("\xC2\xB5m"), QString::fromUtf8("µm"));
    EXPECT_EQ(DecodeText("\xB5m"), QString::fromUtf8("µm"));
    // 0x93 and 0x94 are the typographic quotes of Windows-1252, not C1 controls.
    EXPECT_EQ(DecodeText("\x93x\x94"), QString::fromUtf8("“x”"));
    EXPECT_EQ(EncodeText(QString::fromUtf8("µm")), QByteArray("\xC2\xB5m"));
}

TEST(TextCodec, Windows1252RoundTrip) {
    const QString text = QString::fromUtf8("µm “€” é");
    EXPECT_EQ(EncodeWindows1252(text), QByteArray("\xB5m \x93\x80\x94 \xE9"));
    EXPECT_EQ(DecodeWindows1252(EncodeWindows1252(text)), text);
    EXPECT_EQ(EncodeWindows1252(QString::fromUtf8("日")), QByteArray("?"));
}
