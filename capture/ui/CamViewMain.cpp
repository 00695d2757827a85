#include "CamViewMain.h"

TCamViewMain::TCamViewMain(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("  Preview Window"));
}
