#pragma once
// A text with a wrap length: the label text and after how many characters it wraps.

#include "platform/ui/WindowOnFirstUse.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TInputDialog : public QDialog {
public:
    explicit TInputDialog(QWidget* parent = nullptr);

    // True on OK with text and wrap replaced by the edited values; false on cancel with
    // both unchanged.
    bool InputTextAndWrap(const QString& caption, const QString& prompt, QString& text,
                          QString& wrap);

    QLabel* InfoLabel;
    QLineEdit* InputText;
    QLineEdit* WordWrap; // digits only
    QLabel* Label2;
    QPushButton* OKbtn;
    QPushButton* Cancelbtn;
};

inline TWindowOnFirstUse<TInputDialog> InputDialog;
