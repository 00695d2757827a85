#pragma once
// Brightness, contrast and colour correction of the image.

#include <QDialog>

class TBCSForm : public QDialog {
public:
    explicit TBCSForm(QWidget* parent = nullptr);
};

inline TBCSForm* BCSForm = nullptr;
