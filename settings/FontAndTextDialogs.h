#pragma once
// The font picker and the label-text input, behind a small interface so callers run
// without windows and tests script them. The program installs the one over its dialogs;
// until then every request is cancelled. Also the picker's style list as plain rules.

#include "FontRecord.h"

#include <QString>

class FontAndTextDialogs {
public:
    virtual ~FontAndTextDialogs() = default;
    // True on OK with the font's name, bold, italic and colour replaced; size, character
    // set, underline and strike-out stay as they were. Cancel leaves the font unchanged.
    virtual bool SelectFont(FontRecord& font) = 0;
    // The platform's font dialog, then a colour choice: true on OK with name, size, style
    // and colour replaced (the colour only when its choice is confirmed; the character set
    // stays); Cancel of the font leaves the font unchanged.
    virtual bool SelectStandardFont(FontRecord& font) {
        (void)font;
        return false;
    }
    // True on OK with both texts replaced by the edited ones (wrap: digits only); on
    // cancel false with both unchanged.
    virtual bool InputTextAndWrap(const QString& caption, const QString& prompt, QString& text,
                                  QString& wrap) = 0;
};

FontAndTextDialogs& AppFontAndTextDialogs();
// Installs d (not owned); nullptr goes back to the one that cancels everything.
void SetAppFontAndTextDialogs(FontAndTextDialogs* d);

// The style list: "Regular", "Italic", "Bold", "Bold Italic".
QString StyleName(int styleIndex);
// 0 regular, 1 italic, 2 bold, 3 bold italic; underline and strike-out play no part.
int StyleIndexOf(int styleBits);
// styleBits with bold and italic set as styleIndex says, the other bits kept.
int WithStyleIndex(int styleBits, int styleIndex);
