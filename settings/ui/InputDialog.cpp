#include "InputDialog.h"

TInputDialog::TInputDialog(QWidget* parent) : QDialog(parent) {
    // no caption: the caller sets it for each question
}
