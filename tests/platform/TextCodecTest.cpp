#include "platform/TextCodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, Utf8FirstThenWindows1252) {
    EXPECT_EQ(DecodeText("\xC2\xB5m"), QString::fromUtf8("µm"));
    EXPECT_EQ(DecodeText("\xB5m"), QString::fromUtf8("µm"));
    // 0x93 and 0x94 are the typographic quotes of Windows-1252, not C1 controls.
    EXPECT_EQ(DecodeText("\x93x\x94"), QString::fromUtf8("“x”"));
}

// Each line on its own: one byte that is not UTF-8 leaves the other lines as they are.
TEST(TextCodec, DecodesLineByLine) {
    const struct {
        QByteArray bytes;
        const char* text; // UTF-8
    } cases[] = {
        {"\xC3\xA9t\xC3\xA9\r\nUnits=\xB5m\r\n\xC2\xA9 me", "été\r\nUnits=µm\r\n© me"},
        {"\xB5m\n\xC2\xB5m", "µm\nµm"},
        {"a\r\xE9\r\xC3\xA9", "a\ré\ré"}, // a lone carriage return ends a line too
        {"\x93x\x94\n", "“x”\n"},
        {"\n\n", "\n\n"},
        {"", ""},
        // A sequence cut off at the end of a line is no UTF-8: the line is Windows-1252.
        {"\xC3\n\xA9", "Ã\n©"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeText(c.bytes), QString::fromUtf8(c.text)) << c.bytes.toHex().constData();
}

// Windows-1252 whenever every character of the whole text has a byte there and no line of
// those bytes would read as UTF-8, else UTF-8 for the whole text; either way the text reads
// back as it was.
TEST(TextCodec, EncodesWindows1252WhenEveryCharacterFitsAndNoLineReadsAsUtf8) {
    const struct {
        const char* text; // UTF-8
        QByteArray bytes;
    } cases[] = {
        {"Units=µm", "Units=\xB5m"},
        {"été\r\n© “x” €", "\xE9t\xE9\r\n\xA9 \x93x\x94 \x80"},
        {"plain", "plain"},
        {"µm\r\n日", "\xC2\xB5m\r\n\xE6\x97\xA5"},
        {"Ā µ", "\xC4\x80 \xC2\xB5"},                  // U+0100 is one past Latin-1
        {"Ã©", "\xC3\x83\xC2\xA9"},                    // C3 A9 would read as "é"
        {"Âµm", "\xC3\x82\xC2\xB5m"},                  // C2 B5 would read as "µ"
        {"µm\r\nÃ©", "\xC2\xB5m\r\n\xC3\x83\xC2\xA9"}, // one such line is enough
        {"Ã\r\n©", "\xC3\r\n\xA9"},                    // cut by the line end: no UTF-8
        {"é©", "\xE9\xA9"},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(EncodeText(text), c.bytes) << c.text;
        EXPECT_EQ(DecodeText(EncodeText(text)), text) << c.text;
    }
    // The five bytes Windows-1252 leaves undefined read as the C1 control of that value,
    // so such a control goes back to its byte.
    EXPECT_EQ(EncodeText(QString(QChar(0x81))), QByteArray("\x81"));
}

TEST(TextCodec, Windows1252RoundTrip) {
    const QString text = QString::fromUtf8("µm “€” é");
    EXPECT_EQ(EncodeWindows1252(text), QByteArray("\xB5m \x93\x80\x94 \xE9"));
    EXPECT_EQ(DecodeWindows1252(EncodeWindows1252(text)), text);
    EXPECT_EQ(EncodeWindows1252(QString::fromUtf8("日")), QByteArray("?"));
}
