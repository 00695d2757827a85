// The main of the benchmarks of windows: an offscreen QApplication around the runner, with
// the program's heap policy.

#include "platform/FrameMemory.h"

#include <QApplication>
#include <QByteArray>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    ReuseFreedFrameMemory(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
