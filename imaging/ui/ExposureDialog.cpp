#include "ExposureDialog.h"

TBCSForm::TBCSForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("QUVAR Exposure Correction"));
}
