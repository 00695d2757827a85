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

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
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

// Starts the program once and waits for its end; false when it did not end normally.
bool StartOnce(const QByteArray& path) {
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, path.constData(), nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A new program folder for the run, set for the programs started.
std::unique_ptr<QTemporaryDir> ProgramFolderFor(Folder kind) {
    auto folder = std::make_unique<QTemporaryDir>();
    if (kind == Folder::OneCalibratedSystem)
        WriteOneCalibratedSystem(folder->path());
    qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(folder->path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return folder;
}

void StartUntilShown(benchmark::State& state, const char* program, Folder kind) {
    const auto folder = ProgramFolderFor(kind);
    const QByteArray path = Beside(program);
    for (auto _ : state)
        if (!StartOnce(path)) {
            state.SkipWithError("the program did not start and end normally");
            break;
        }
}

// The program's everyday start and the minimal window's, one after the other in every
// iteration: the machine's changing speed then weighs on both alike, and the ratio is
// theirs alone.
void EverydayStartOverMinimalWindow(benchmark::State& state) {
    const auto folder = ProgramFolderFor(Folder::OneCalibratedSystem);
    const QByteArray quvar = Beside("startup_probe"), minimal = Beside("minimal_window");
    std::vector<double> quvarMs, minimalMs;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool minimalRan = StartOnce(minimal);
        const auto between = std::chrono::steady_clock::now();
        const bool quvarRan = StartOnce(quvar);
        const auto end = std::chrono::steady_clock::now();
        if (!minimalRan || !quvarRan) {
            state.SkipWithError("a program did not start and end normally");
            break;
        }
        minimalMs.push_back(std::chrono::duration<double, std::milli>(between - start).count());
        quvarMs.push_back(std::chrono::duration<double, std::milli>(end - between).count());
    }
    if (quvarMs.empty())
        return;
    const auto median = [](std::vector<double> values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    state.counters["quvar_ms"] = median(quvarMs);
    state.counters["minimal_ms"] = median(minimalMs);
    state.counters["ratio"] = median(quvarMs) / median(minimalMs);
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
BENCHMARK(EverydayStartOverMinimalWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(4.0);
