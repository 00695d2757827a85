#pragma once
// The colour lists of the Preferences pages and the font previews: the sixteen standard
// colours, and a colour that is none of them shown as "Custom" so that OK keeps it.

#include "settings/FontRecord.h"

class QComboBox;
class QLabel;
class QWidget;

QComboBox* ColourBox(QWidget* parent);
void SelectColour(QComboBox* box, ColorRef colour);
ColorRef SelectedColour(const QComboBox* box);

// The preview label shows font: typeface, size, style and colour.
void ShowFontIn(QLabel* preview, const FontRecord& font);
