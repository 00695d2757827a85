// A recording as the preview window makes it, without a window or a camera: the timer
// thread asks a pattern "camera" for a new frame at every tick and the writer adds it, until
// the duration ends or the process is killed. The crash tests and scripts/avi-kill-check
// kill it at random moments and read what it left.
//
// avi_recorder FILE FOURCC|none [WIDTH HEIGHT [SECONDS]]
// Prints "recording" once the first frame is in the file.

#include "video/AviWriter.h"
#include "video/OnTheFlyRecorder.h"
#include "video/PreciseTimer.h"
#include "video/RecordingPlan.h"

#include <QImage>
#include <QString>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

namespace {

// Moving content, so that every frame differs from the one before as a camera's do.
QImage Pattern(int width, int height, int seed) {
    QImage frame(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar* line = frame.scanLine(y);
        for (int x = 0; x < width; ++x) {
            line[3 * x] = uchar(x + 3 * seed);
            line[3 * x + 1] = uchar(y + 2 * seed);
            line[3 * x + 2] = uchar((x ^ y) + seed);
        }
    }
    return frame;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE FOURCC|none [WIDTH HEIGHT [SECONDS]]\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QString fourcc = QString::fromLatin1(argv[2]);
    const int width = argc > 4 ? std::atoi(argv[3]) : 640;
    const int height = argc > 4 ? std::atoi(argv[4]) : 480;
    TRecordingSettings settings;
    settings.NVFPS = 6; // 20 frames per second
    settings.NVTimeLimit = argc > 5 ? std::atoi(argv[5]) : 3600;

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    QString failure;
    int seed = 0;
    QImage latest = Pattern(width, height, 0);

    TAviWriter_2 writer;
    writer.SetWidth(width);
    writer.SetHeight(height);
    TPreciseTimer timer;
    TOnTheFlyRecorder recorder(writer, timer);
    TOnTheFlyRecorder::Hooks hooks;
    hooks.RequestFrame = [&] {
        const QImage next = Pattern(width, height, ++seed);
        std::lock_guard lock(mutex);
        latest = next;
    };
    hooks.LatestFrame = [&] {
        std::lock_guard lock(mutex);
        return latest.copy();
    };
    bool announced = false;
    hooks.Ticked = [&](int) {
        if (!announced) {
            announced = true;
            std::printf("recording\n");
            std::fflush(stdout);
        }
    };
    hooks.StopDue = [&] {
        std::lock_guard lock(mutex);
        done = true;
        ended.notify_all();
    };
    hooks.Failed = [&](const QString& message) {
        std::lock_guard lock(mutex);
        failure = message;
        done = true;
        ended.notify_all();
    };
    try {
        writer.SetCompressor(fourcc == "none" ? QString() : fourcc);
        recorder.Start(PlanRecording(settings), {width, height}, file, latest, hooks);
        {
            std::unique_lock lock(mutex);
            ended.wait(lock, [&] { return done; });
        }
        recorder.Stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", failure.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
