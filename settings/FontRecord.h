#pragma once
// A font as the settings files keep it. The five values are held exactly as read, so a
// file written back is the same; ToQFont() is what the drawing code uses.

#include <QFont>
#include <QString>
#include <cstdint>

// Colours are 0x00BBGGRR, as the settings files store them.
using ColorRef = uint32_t;

enum FontStyleBit : int { StyleBold = 1, StyleItalic = 2, StyleUnderline = 4, StyleStrikeOut = 8 };

struct FontRecord {
    QString Name = QStringLiteral("DejaVu Sans");
    int CharSet = 1; // the default character set
    ColorRef Color = 0;
    int Size = 10; // points
    int Style = 0; // FontStyleBit set

    QFont ToQFont() const;
    bool operator==(const FontRecord&) const = default;
};

// 0x00BBGGRR to a Qt colour and back.
QColor ToQColor(ColorRef color);
ColorRef ToColorRef(const QColor& color);
