#pragma once
// Text in our files (settings files, image comments). Written in Windows-1252 whenever
// every character of the text has a Windows-1252 byte ("µm" is the single byte B5, as the
// Windows program and PNG's Latin-1 text chunk have it), else in UTF-8. Read line by line:
// a line that is valid UTF-8 as UTF-8, any other line as Windows-1252, so one stray byte
// does not turn the other lines of a file into mojibake. A Windows-1252 line that happens
// to be valid UTF-8 (such as "Ã©") would read as UTF-8, so a text with such a line is
// written in UTF-8 instead: whatever is written reads back as it was.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString DecodeText(QByteArrayView bytes);
QByteArray EncodeText(const QString& text);

// True when every character of text has a Windows-1252 byte.
bool FitsWindows1252(const QString& text);

bool IsValidUtf8(QByteArrayView bytes);
QString DecodeWindows1252(QByteArrayView bytes);
// Characters Windows-1252 cannot hold become "?".
QByteArray EncodeWindows1252(const QString& text);
