// Start-up until the measuring window is shown, against a minimal Qt 6 window, each a new
// process as a user starts it. The program starts twice over: before any microscope is set
// up (its warning shown over the window) and as it starts every day, with one calibrated.
// A further arm is the minimal window loading the libraries the program still links beyond
// Qt Widgets (libjpeg, libpng): their share of the start.

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

// One microscope with one calibrated objective, as Preferences saves it.
void WriteOneCalibratedSystem(const QString& programFolder) {
    QFile file(programFolder + QStringLiteral("/Quvar-cal.ini"));
    if (file.open(QIODevice::WriteOnly))
        file.write("[MCsystems]\r\nNrOfMCsystems=1\r\n"
                   "[MCsystem0]\r\nName0=Leica\r\nCamIsDSLR=0\r\nCaptureWidth=0\r\n"
                   "NrofObjectives=1\r\nDefaultObjective=0\r\n"
                   "Obj0=10\r\nObjStr0=10x\r\nCal0=0.5\r\n");
}

enum class Folder { NoSystem, OneCalibratedSystem };

void StartUntilShown(benchmark::State& state, const char* program, Folder kind) {
    QTemporaryDir folder; // a new program folder
    if (kind == Folder::OneCalibratedSystem)
        WriteOneCalibratedSystem(folder.path());
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

BENCHMARK_CAPTURE(StartUntilShown, Quvar, "startup_probe", Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, QuvarOneCalibratedSystem, "startup_probe",
                  Folder::OneCalibratedSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindow, "minimal_window", Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindowWithMediaLibraries, "minimal_window_media",
                  Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
