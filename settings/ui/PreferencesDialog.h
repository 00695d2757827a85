#pragma once
// The preferences: MC systems and objectives, folders, naming and appearance.

#include <QDialog>

class TPrefDlg : public QDialog {
public:
    explicit TPrefDlg(QWidget* parent = nullptr);
};

inline TPrefDlg* PrefDlg = nullptr;
