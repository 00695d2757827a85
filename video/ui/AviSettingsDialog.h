#pragma once
// Recording settings: compressor, frame rate and time lapse.

#include <QDialog>

class TAVIDialog : public QDialog {
public:
    explicit TAVIDialog(QWidget* parent = nullptr);
};

inline TAVIDialog* AVIDialog = nullptr;
