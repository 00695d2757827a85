#include "MeasurementListWindow.h"

TLBForm::TLBForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Measurements"));
}
