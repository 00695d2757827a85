#include "ColourControls.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

namespace {

struct NamedColour {
    const char* Name;
    ColorRef Color;
};
constexpr NamedColour StandardColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF}};

QIcon ColourIcon(ColorRef colour) {
    QPixmap swatch(16, 12);
    swatch.fill(ToQColor(colour));
    return QIcon(swatch);
}

} // namespace

QComboBox* ColourBox(QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const NamedColour& c : StandardColours)
        box->addItem(ColourIcon(c.Color), QString::fromLatin1(c.Name), uint(c.Color));
    return box;
}

void SelectColour(QComboBox* box, ColorRef colour) {
    int index = box->findData(uint(colour));
    if (index < 0) {
        box->addItem(ColourIcon(colour), QStringLiteral("Custom"), uint(colour));
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

ColorRef SelectedColour(const QComboBox* box) {
    return ColorRef(box->currentData().toUInt());
}

void ShowFontIn(QLabel* preview, const FontRecord& font) {
    preview->setFont(font.ToQFont());
    QPalette palette = preview->palette();
    palette.setColor(QPalette::WindowText, ToQColor(font.Color));
    preview->setPalette(palette);
}
