#include "SaveWithOptionsDialog.h"

TSaveWithOptions::TSaveWithOptions(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("QUVAR Save With Options"));
}
