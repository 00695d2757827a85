#pragma once
// Choosing the typeface, style and colour of a font, with a live preview. Created once
// and kept for the run: between uses it keeps its lists, and every showing starts from
// SelectedFont.

#include "platform/ui/WindowOnFirstUse.h"
#include "settings/FontRecord.h"

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TSimpleFontDialog : public QDialog {
public:
    explicit TSimpleFontDialog(QWidget* parent = nullptr);

    // Set by the caller before showing; after OK the preview's font (name, style and
    // colour; size, character set, underline and strike-out as the caller set them).
    FontRecord SelectedFont;
    // Shows the dialog for font; on OK copies name, style and colour back and gives true.
    bool Execute(FontRecord& font);

    QLabel* FontLabel;
    QLabel* StyleLabel;
    QLabel* ColorLabel;
    QLineEdit* FontName;
    QLineEdit* Style;
    QComboBox* ColorBox;
    QListWidget* FontNamesListBox;
    QListWidget* StyleListBox;
    QGroupBox* ExampleBox;
    QLabel* ExampleLabel;
    QPushButton* OKbtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void SelectColor(ColorRef color);
    ColorRef ChosenColor() const;
    void UpdatePreview();
    void OKbtnClick();
};

inline TWindowOnFirstUse<TSimpleFontDialog> SimpleFontDialog;
