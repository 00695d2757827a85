// The program's start as main() runs it, ended once the measuring window has been shown
// and the first events after it handled: what a user waits for before the window is there.

#include "ShownSignal.h"
#include "measure/ui/ProgramStart.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char** argv) {
    return RunQuvarProgram(argc, argv, [] {
        QTimer::singleShot(0, qApp, [] {
            SignalShown();
            QCoreApplication::quit();
        });
    });
}
