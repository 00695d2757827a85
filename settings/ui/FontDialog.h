#pragma once
// Choosing a font for scale bars and labels.

#include <QDialog>

class TSimpleFontDialog : public QDialog {
public:
    explicit TSimpleFontDialog(QWidget* parent = nullptr);
};

inline TSimpleFontDialog* SimpleFontDialog = nullptr;
