#include "AviSettingsDialog.h"

TAVIDialog::TAVIDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("AVI -Capture Settings "));
}
