#include "DialogFontAndText.h"

#include "FontDialog.h"
#include "InputDialog.h"

#include <QApplication>
#include <QFontDialog>

bool DialogFontAndText::SelectFont(FontRecord& font) {
    return SimpleFontDialog && SimpleFontDialog->Execute(font);
}

bool DialogFontAndText::InputTextAndWrap(const QString& caption, const QString& prompt,
                                         QString& text, QString& wrap) {
    return InputDialog && InputDialog->InputTextAndWrap(caption, prompt, text, wrap);
}

bool DialogFontAndText::SelectStandardFont(FontRecord& font) {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font.ToQFont(), QApplication::activeWindow());
    if (!ok)
        return false;
    font.Name = chosen.family();
    if (chosen.pointSize() > 0)
        font.Size = chosen.pointSize();
    int style = 0;
    if (chosen.bold())
        style |= StyleBold;
    if (chosen.italic())
        style |= StyleItalic;
    if (chosen.underline())
        style |= StyleUnderline;
    if (chosen.strikeOut())
        style |= StyleStrikeOut;
    font.Style = style;
    return true;
}
