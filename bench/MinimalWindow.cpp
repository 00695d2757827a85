// The least a Qt 6 program does before its window is there: the application object, one
// main window shown, the first events after it handled. Built with MINIMAL_WINDOW_TEXT, the
// window shows one line of text: the least a window with words in it costs, the fonts read.

#include "ShownSignal.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setStyle(QStringLiteral("Fusion"));
    QMainWindow window;
    window.resize(1400, 900);
#ifdef MINIMAL_WINDOW_TEXT
    window.setCentralWidget(new QLabel(QStringLiteral("Microscope and Camera")));
#endif
    window.show();
    QTimer::singleShot(0, &app, [] {
        SignalShown();
        QCoreApplication::quit();
    });
    return app.exec();
}
