#pragma once
// The preview window: live camera picture, snapshots and recording.

#include <QMainWindow>

class TCamViewMain : public QMainWindow {
public:
    explicit TCamViewMain(QWidget* parent = nullptr);
};

inline TCamViewMain* CamViewMain = nullptr;
