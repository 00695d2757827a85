#pragma once
// The font picker and the label-text input as the program shows them: the dialogs
// created at start-up.

#include "settings/FontAndTextDialogs.h"

class DialogFontAndText final : public FontAndTextDialogs {
public:
    bool SelectFont(FontRecord& font) override;
    bool SelectStandardFont(FontRecord& font) override;
    bool InputTextAndWrap(const QString& caption, const QString& prompt, QString& text,
                          QString& wrap) override;
};
