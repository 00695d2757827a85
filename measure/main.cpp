// The program entry.

#include "measure/ui/ProgramStart.h"

int main(int argc, char** argv) {
    return RunQuvarProgram(argc, argv);
}
