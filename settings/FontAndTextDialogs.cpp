#include "FontAndTextDialogs.h"

#include <array>

namespace {

class CancelEverything final : public FontAndTextDialogs {
public:
    bool SelectFont(FontRecord&) override { return false; }
    bool InputTextAndWrap(const QString&, const QString&, QString&, QString&) override {
        return false;
    }
};

CancelEverything cancelEverything;
FontAndTextDialogs* installed = nullptr;

} // namespace

FontAndTextDialogs& AppFontAndTextDialogs() {
    return installed ? *installed : cancelEverything;
}

void SetAppFontAndTextDialogs(FontAndTextDialogs* d) {
    installed = d;
}

QString StyleName(int styleIndex) {
    static const std::array<const char*, 4> names = {"Regular", "Italic", "Bold", "Bold Italic"};
    return styleIndex >= 0 && styleIndex < 4 ? QString::fromLatin1(names[size_t(styleIndex)])
                                             : QString();
}

int StyleIndexOf(int styleBits) {
    int index = 0;
    if (styleBits & StyleItalic)
        index = 1;
    if (styleBits & StyleBold)
        index += 2;
    return index;
}

int WithStyleIndex(int styleBits, int styleIndex) {
    int bits = styleBits & ~(StyleBold | StyleItalic);
    if (styleIndex & 1)
        bits |= StyleItalic;
    if (styleIndex & 2)
        bits |= StyleBold;
    return bits;
}
