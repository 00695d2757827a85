#pragma once
// Text in our files: written as UTF-8, read as UTF-8 when the bytes are valid UTF-8,
// otherwise as Windows-1252 (older installations wrote "µm" as the single byte B5).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString DecodeText(QByteArrayView bytes);
QByteArray EncodeText(const QString& text);

bool IsValidUtf8(QByteArrayView bytes);
QString DecodeWindows1252(QByteArrayView bytes);
// Characters Windows-1252 cannot hold become "?".
QByteArray EncodeWindows1252(const QString& text);
