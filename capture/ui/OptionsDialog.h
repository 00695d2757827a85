#pragma once
// The capture settings dialog of the preview window.

#include <QDialog>

class TOptionsDlg : public QDialog {
public:
    explicit TOptionsDlg(QWidget* parent = nullptr);
};

inline TOptionsDlg* OptionsDlg = nullptr;
