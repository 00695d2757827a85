#include "TextCodec.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// Windows-1252 code points for the bytes 0x80-0x9F; 0 marks the five undefined bytes,
// which map to the C1 control of the same value as Windows itself does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t Windows1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        char16_t mapped = kHighControls[byte - 0x80];
        return mapped ? mapped : char16_t(byte);
    }
    return char16_t(byte);
}

// The Windows-1252 byte of a character, or nothing when it has none.
std::optional<char> Windows1252Byte(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return char(u);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == u || (kHighControls[i] == 0 && u == 0x80 + i))
            return char(0x80 + i);
    return std::nullopt;
}

} // namespace

bool IsValidUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

QString DecodeWindows1252(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text.append(QChar(Windows1252ToUnicode(static_cast<unsigned char>(c))));
    return text;
}

QByteArray EncodeWindows1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar ch : text)
        bytes.append(Windows1252Byte(ch.unicode()).value_or('?'));
    return bytes;
}

bool FitsWindows1252(const QString& text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar ch) { return Windows1252Byte(ch.unicode()).has_value(); });
}

QString DecodeText(QByteArrayView bytes) {
    // Neither a line feed nor a carriage return occurs inside a UTF-8 sequence, so cutting
    // at them splits no character; both are the same byte in the two encodings.
    QString text;
    text.reserve(bytes.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\n' && bytes[i] != '\r')
            continue;
        const QByteArrayView line = bytes.sliced(start, i - start);
        text += IsValidUtf8(line) ? QString::fromUtf8(line) : DecodeWindows1252(line);
        if (i < bytes.size())
            text += QChar(char16_t(bytes[i]));
        start = i + 1;
    }
    return text;
}

QByteArray EncodeText(const QString& text) {
    if (!FitsWindows1252(text))
        return text.toUtf8();
    // A line whose Windows-1252 bytes happen to be valid UTF-8 ("Ã©") would read back as
    // other text; such a text is written in UTF-8, which reads back as it was.
    const QByteArray bytes = EncodeWindows1252(text);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\n' && bytes[i] != '\r')
            continue;
        const QByteArrayView line = QByteArrayView(bytes).sliced(start, i - start);
        const bool high = std::any_of(line.begin(), line.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (high && IsValidUtf8(line))
            return text.toUtf8();
        start = i + 1;
    }
    return bytes;
}
