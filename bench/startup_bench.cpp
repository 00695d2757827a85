// Start-up until the measuring window is shown, against a minimal Qt 6 window, each a new
// process as a user starts it. A third arm is the minimal window loading the libraries the
// program still links beyond Qt Widgets (GStreamer, Qt Network, libjpeg, libpng): their share
// of the start.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// The helper executables lie beside this one.
QByteArray Beside(const char* name) {
    const QByteArray self =
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toLocal8Bit();
    return self.left(self.lastIndexOf('/') + 1) + name;
}

void StartUntilShown(benchmark::State& state, const char* program) {
    QTemporaryDir folder; // an empty program folder: a first start
    qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(folder.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray path = Beside(program);
    for (auto _ : state) {
        char* argv[] = {const_cast<char*>(path.constData()), nullptr};
        pid_t child = 0;
        if (posix_spawn(&child, path.constData(), nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not end normally");
            break;
        }
    }
}

} // namespace

BENCHMARK_CAPTURE(StartUntilShown, Quvar, "startup_probe")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindow, "minimal_window")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindowWithMediaLibraries, "minimal_window_media")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
