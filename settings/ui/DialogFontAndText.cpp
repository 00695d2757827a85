#include "DialogFontAndText.h"

#include "FontDialog.h"
#include "InputDialog.h"

#include "platform/ui/FormHelpers.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>

namespace {

// The font as the previews show it, with the style named as its family names it ("Book"
// for a regular DejaVu Sans): the font dialog selects its style by that name and falls
// back to the family's first style, which may be an oblique one.
QFont PreviewFont(const FontRecord& font) {
    QFont shown = font.ToQFont();
    const QString style = QFontInfo(shown).styleName();
    if (!style.isEmpty())
        shown.setStyleName(style);
    return shown;
}

// The same family, size and style: what the user can change in the font dialog.
bool SameChoice(const QFont& a, const QFont& b) {
    return a.family() == b.family() && a.pointSize() == b.pointSize() && a.bold() == b.bold() &&
           a.italic() == b.italic() && a.underline() == b.underline() &&
           a.strikeOut() == b.strikeOut();
}

// The toolkit's font dialog has no colour: the colour is chosen next, starting from the
// font's. Cancelling it keeps the colour and the font chosen; either way the font was.
bool PickColour(FontRecord& font, QWidget* parent) {
    QColorDialog colours(ToQColor(font.Color), parent);
    colours.setObjectName(QStringLiteral("FontColorDialog"));
    SetFixedDialogBorder(&colours);
    if (colours.exec() == QDialog::Accepted)
        font.Color = ToColorRef(colours.selectedColor());
    return true;
}

} // namespace

bool DialogFontAndText::SelectFont(FontRecord& font) {
    return SimpleFontDialog && SimpleFontDialog->Execute(font);
}

bool DialogFontAndText::InputTextAndWrap(const QString& caption, const QString& prompt,
                                         QString& text, QString& wrap) {
    return InputDialog && InputDialog->InputTextAndWrap(caption, prompt, text, wrap);
}

bool DialogFontAndText::SelectStandardFont(FontRecord& font) {
    QWidget* parent = QApplication::activeWindow();
    QFontDialog fonts(PreviewFont(font), parent);
    fonts.setObjectName(QStringLiteral("FontDialog"));
    SetFixedDialogBorder(&fonts);
    // What the dialog could show of the font: a style the system lacks (an italic where only
    // the upright face is installed) is not among its choices.
    const QFont shown = fonts.currentFont();
    if (fonts.exec() != QDialog::Accepted)
        return false;
    const QFont chosen = fonts.selectedFont();
    if (SameChoice(chosen, shown))
        return PickColour(font, parent); // nothing changed: the font stays as it was
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
    return PickColour(font, parent);
}
