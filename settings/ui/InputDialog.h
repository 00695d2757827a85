#pragma once
// A one-line text input.

#include <QDialog>

class TInputDialog : public QDialog {
public:
    explicit TInputDialog(QWidget* parent = nullptr);
};

inline TInputDialog* InputDialog = nullptr;
