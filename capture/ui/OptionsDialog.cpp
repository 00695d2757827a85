#include "OptionsDialog.h"

TOptionsDlg::TOptionsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Settings"));
}
