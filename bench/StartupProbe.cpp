// The program's start as main() runs it, ended once the measuring window's first frame is
// painted: what a user waits for before the window is there.

#include "ShownSignal.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/ProgramStart.h"

int main(int argc, char** argv) {
    return RunQuvarProgram(argc, argv, [] { new SignalWhenPainted(Main); });
}
