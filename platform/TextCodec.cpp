#include "TextCodec.h"

#include <QStringDecoder>
#include <array>

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
    for (QChar ch : text) {
        char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(char(u));
            continue;
        }
        char out = '?';
        for (int i = 0; i < 32; ++i) {
            if (kHighControls[i] == u || (kHighControls[i] == 0 && u == 0x80 + i)) {
                out = char(0x80 + i);
                break;
            }
        }
        bytes.append(out);
    }
    return bytes;
}

QString DecodeText(QByteArrayView bytes) {
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return DecodeWindows1252(bytes);
}

QByteArray EncodeText(const QString& text) {
    return text.toUtf8();
}
