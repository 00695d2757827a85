#include "DialogFontAndText.h"

#include "FontDialog.h"
#include "InputDialog.h"

bool DialogFontAndText::SelectFont(FontRecord& font) {
    return SimpleFontDialog && SimpleFontDialog->Execute(font);
}

bool DialogFontAndText::InputTextAndWrap(const QString& caption, const QString& prompt,
                                         QString& text, QString& wrap) {
    return InputDialog && InputDialog->InputTextAndWrap(caption, prompt, text, wrap);
}
