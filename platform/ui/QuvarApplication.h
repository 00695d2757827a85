#pragma once
// The application object: an exception that escapes an event handler is shown in an
// error box captioned with the executable's name, and the program goes on.

#include <QApplication>
#include <functional>

class QuvarApplication : public QApplication {
public:
    QuvarApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the error box for an exception caught elsewhere (start-up steps).
    static void ShowError(const std::exception& error);
    // Runs a handler; an exception it throws goes to the error box and gives false.
    static bool RunGuarded(const std::function<bool()>& handler);
};
