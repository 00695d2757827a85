#pragma once
// The application object: an exception that escapes an event handler is shown in an
// error box captioned with the executable's name, and the program goes on.

#include <QApplication>

class QuvarApplication : public QApplication {
public:
    QuvarApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error box for an exception caught elsewhere (start-up steps).
    static void ShowError(const std::exception& error);
};
