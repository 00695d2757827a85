// The least a Qt 6 program does before its window is there: the application object, one
// main window shown, the first events after it handled.

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setStyle(QStringLiteral("Fusion"));
    QMainWindow window;
    window.resize(1400, 900);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
