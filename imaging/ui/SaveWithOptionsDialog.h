#pragma once
// Saving an image under a name built from name lists and options.

#include <QDialog>

class TSaveWithOptions : public QDialog {
public:
    explicit TSaveWithOptions(QWidget* parent = nullptr);
};

inline TSaveWithOptions* SaveWithOptions = nullptr;
