#include "PreferencesDialog.h"

TPrefDlg::TPrefDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Preferences"));
}
