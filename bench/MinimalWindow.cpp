// The least a Qt 6 program does before its window is there: the application object, one
// main window shown and its first frame painted. Built with MINIMAL_WINDOW_TEXT, the
// window shows one line of text: the least a window with words in it costs, the fonts read.

#include "ShownSignal.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setStyle(QStringLiteral("Fusion"));
    QMainWindow window;
    window.resize(1400, 900);
#ifdef MINIMAL_WINDOW_TEXT
    window.setCentralWidget(new QLabel(QStringLiteral("Microscope and Camera")));
#endif
    new SignalWhenPainted(&window);
    window.show();
    return app.exec();
}
