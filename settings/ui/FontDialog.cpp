#include "FontDialog.h"

TSimpleFontDialog::TSimpleFontDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("QUVAR Select Font"));
}
