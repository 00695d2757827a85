// Start-up until the measuring window is shown, against a minimal Qt 6 window, each a new
// process as a user starts it. The program starts twice over: before any microscope is set
// up (its warning shown over the window) and as it starts every day, with one calibrated.
// Further arms are the minimal window with one line of text, which reads the font
// configuration as every window with words does, and the minimal window loading the
// libraries the program still links beyond Qt Widgets (libjpeg, libpng): their share.
//
// Each start is timed until its window's first frame is painted, as the program tells on a
// pipe; the whole life of the process is a counter beside it. The life flatters the empty
// window: with no text ever drawn, Qt reads the font configuration in its font database's
// destructor, milliseconds after the window was there.

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
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Where a started program finds the pipe on which it tells that its window is shown.
constexpr int ShownFd = 3;

// One start: until the window's first frame was painted, and until the process ended; ok
// when it signalled and ended normally.
struct Start {
    bool ok = false;
    double shownMs = 0, lifeMs = 0;
};

Start StartOnce(const QByteArray& path) {
    int shown[2];
    if (pipe2(shown, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, shown[1], ShownFd);
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    pid_t child = 0;
    const auto begin = std::chrono::steady_clock::now();
    const bool spawned =
        posix_spawn(&child, path.constData(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(shown[1]); // a child that ends without signalling then reads as the end of the pipe
    Start start;
    char byte = 0;
    const bool signalled = spawned && read(shown[0], &byte, 1) == 1;
    const auto up = std::chrono::steady_clock::now();
    close(shown[0]);
    int status = 0;
    if (spawned)
        waitpid(child, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    start.ok = signalled && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    start.shownMs = std::chrono::duration<double, std::milli>(up - begin).count();
    start.lifeMs = std::chrono::duration<double, std::milli>(end - begin).count();
    return start;
}

double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// A new program folder for the run, set for the programs started.
std::unique_ptr<QTemporaryDir> ProgramFolderFor(Folder kind) {
    auto folder = std::make_unique<QTemporaryDir>();
    if (kind == Folder::OneCalibratedSystem)
        WriteOneCalibratedSystem(folder->path());
    qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(folder->path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("STARTUP_SHOWN_FD", QByteArray::number(ShownFd));
    return folder;
}

// The time until shown is each iteration's; the process's whole life is a counter beside it.
void StartUntilShown(benchmark::State& state, const char* program, Folder kind) {
    const auto folder = ProgramFolderFor(kind);
    const QByteArray path = Beside(program);
    std::vector<double> lifeMs;
    for (auto _ : state) {
        const Start start = StartOnce(path);
        if (!start.ok) {
            state.SkipWithError("the program did not show its window and end normally");
            break;
        }
        state.SetIterationTime(start.shownMs / 1000);
        lifeMs.push_back(start.lifeMs);
    }
    if (!lifeMs.empty())
        state.counters["life_ms"] = Median(lifeMs);
}

// The program's everyday start and the minimal windows', one after the other in every
// iteration: the machine's changing speed then weighs on all alike, and the ratios are
// theirs alone.
void EverydayStartOverMinimalWindow(benchmark::State& state) {
    const auto folder = ProgramFolderFor(Folder::OneCalibratedSystem);
    const QByteArray quvar = Beside("startup_probe"), minimal = Beside("minimal_window"),
                     text = Beside("minimal_window_text");
    std::vector<double> quvarMs, minimalMs, textMs, quvarLifeMs, minimalLifeMs;
    for (auto _ : state) {
        const Start m = StartOnce(minimal);
        const Start t = StartOnce(text);
        const Start q = StartOnce(quvar);
        if (!m.ok || !t.ok || !q.ok) {
            state.SkipWithError("a program did not show its window and end normally");
            break;
        }
        minimalMs.push_back(m.shownMs);
        textMs.push_back(t.shownMs);
        quvarMs.push_back(q.shownMs);
        minimalLifeMs.push_back(m.lifeMs);
        quvarLifeMs.push_back(q.lifeMs);
    }
    if (quvarMs.empty())
        return;
    state.counters["quvar_ms"] = Median(quvarMs);
    state.counters["minimal_ms"] = Median(minimalMs);
    state.counters["text_ms"] = Median(textMs);
    state.counters["ratio"] = Median(quvarMs) / Median(minimalMs);
    state.counters["ratio_to_text"] = Median(quvarMs) / Median(textMs);
    // The whole processes, their teardown included.
    state.counters["life_ratio"] = Median(quvarLifeMs) / Median(minimalLifeMs);
}

} // namespace

BENCHMARK_CAPTURE(StartUntilShown, Quvar, "startup_probe", Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, QuvarOneCalibratedSystem, "startup_probe",
                  Folder::OneCalibratedSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindow, "minimal_window", Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindowWithText, "minimal_window_text", Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(StartUntilShown, MinimalQtWindowWithMediaLibraries, "minimal_window_media",
                  Folder::NoSystem)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK(EverydayStartOverMinimalWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(4.0);
