#pragma once
// The measurement list window.

#include <QDialog>

class TLBForm : public QDialog {
public:
    explicit TLBForm(QWidget* parent = nullptr);
};

inline TLBForm* LBForm = nullptr;
