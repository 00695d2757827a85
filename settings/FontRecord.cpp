#include "FontRecord.h"

#include <QColor>

QFont FontRecord::ToQFont() const {
    QFont font(Name);
    font.setPointSize(Size > 0 ? Size : 1);
    font.setBold(Style & StyleBold);
    font.setItalic(Style & StyleItalic);
    font.setUnderline(Style & StyleUnderline);
    font.setStrikeOut(Style & StyleStrikeOut);
    return font;
}

QColor ToQColor(ColorRef color) {
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

ColorRef ToColorRef(const QColor& color) {
    return ColorRef(color.red()) | ColorRef(color.green()) << 8 | ColorRef(color.blue()) << 16;
}
