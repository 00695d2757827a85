#include "AviTestSupport.h"
#include "FakeTimerClock.h"

#include "video/AviWriter.h"
#include "video/OnTheFlyRecorder.h"
#include "video/PreciseTimer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <future>
#include <mutex>
#include <stdexcept>

#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;

TEST(FrameAtAviSize, CopiesTheAviSizeAndStretchesAnyOther) {
    const QImage same = avitest::PatternFrame(64, 48);
    EXPECT_EQ(FrameAtAviSize(same, {64, 48}), same);
    const QImage wide = avitest::PatternFrame(128, 48);
    const QImage stretched = FrameAtAviSize(wide, {64, 48});
    EXPECT_EQ(stretched.size(), QSize(64, 48));
    EXPECT_EQ(stretched.format(), QImage::Format_BGR888);
    EXPECT_EQ(stretched.pixel(10, 0), qRgb(255, 0, 0)) << "the top row stays at the top";
    EXPECT_EQ(stretched.pixel(10, 47), qRgb(0, 0, 255));
    EXPECT_EQ(FrameAtAviSize(QImage(), {64, 48}).size(), QSize(64, 48));
}

// A camera in code: a new pattern at every request, failing from a chosen request on.
class TCodeCamera {
public:
    explicit TCodeCamera(int fail_from = -1) : fail_from_(fail_from) {}
    void Request() {
        std::lock_guard lock(mutex_);
        ++requests_;
        if (fail_from_ < 0 || requests_ < fail_from_)
            latest_ = avitest::PatternFrame(320, 240, requests_);
    }
    QImage Latest() {
        std::lock_guard lock(mutex_);
        if (fail_from_ >= 0 && requests_ >= fail_from_)
            throw std::runtime_error("Capture device lost");
        return latest_.copy();
    }

private:
    std::mutex mutex_;
    int requests_ = 0;
    int fail_from_;
    QImage latest_ = avitest::PatternFrame(320, 240);
};

class OnTheFlyRecorder : public ::testing::Test {
protected:
    QString Path() const { return folder.filePath("video.avi"); }
    TOnTheFlyRecorder::Hooks HooksFor(TCodeCamera& camera) {
        TOnTheFlyRecorder::Hooks hooks;
        hooks.RequestFrame = [&camera] { camera.Request(); };
        hooks.LatestFrame = [&camera] { return camera.Latest(); };
        hooks.Ticked = [this](int tick) { last_tick = tick; };
        hooks.StopDue = [this] {
            ++stop_reports;
            ended.set_value();
        };
        hooks.Failed = [this](const QString& message) {
            failure = message;
            ended.set_value();
        };
        return hooks;
    }

    QTemporaryDir folder;
    TAviWriter_2 writer;
    TPreciseTimer timer;
    std::promise<void> ended;
    std::atomic<int> last_tick{0};
    std::atomic<int> stop_reports{0};
    QString failure;
};

// The recorder's time on the timer's fake clock, in milliseconds.
TOnTheFlyRecorder::TNowMs NowMsOf(TFakeTimerClock& clock) {
    return [&clock] { return clock.NowNs() / 1'000'000; };
}

TEST_F(OnTheFlyRecorder, ThreeSecondsAtTenFramesPerSecondGiveAPlayableFile) {
    auto owned = std::make_unique<TFakeTimerClock>();
    TFakeTimerClock& clock = *owned;
    TPreciseTimer ticks(std::move(owned));
    // Tick n comes at n x 100 ms; tick 31, the first past 3 s, asks to stop, and the sleep
    // toward tick 32 lasts until the stop.
    clock.HoldAfter(clock.NowNs() + 3'100'000'000);
    TCodeCamera camera;
    TRecordingSettings settings;
    settings.NVFPS = 3; // 10 frames per second
    settings.NVTimeLimit = 3;
    TOnTheFlyRecorder recorder(writer, ticks, NowMsOf(clock));
    recorder.Start(PlanRecording(settings), {640, 480}, Path(), camera.Latest(), HooksFor(camera));
    ASSERT_EQ(ended.get_future().wait_for(10s), std::future_status::ready);
    ASSERT_TRUE(clock.WaitForHold());
    EXPECT_TRUE(recorder.Stop());
    EXPECT_FALSE(recorder.Stop()) << "a second stop finishes nothing";
    EXPECT_EQ(stop_reports.load(), 1);
    EXPECT_EQ(last_tick.load(), 31);
    EXPECT_EQ(clock.UnwokenHolds(), 0);
    const auto probe = avitest::ProbeStream(Path(), "width,height,r_frame_rate,nb_read_frames");
    if (!probe)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_TRUE(probe->contains("width=640")) << probe->toStdString();
    EXPECT_TRUE(probe->contains("height=480"));
    EXPECT_TRUE(probe->contains("r_frame_rate=10/1"));
    // One frame per tick.
    EXPECT_EQ(probe->section("nb_read_frames=", 1).trimmed().toInt(), 31);
}

TEST_F(OnTheFlyRecorder, ACameraLostMidRecordingStillGivesAReadableFile) {
    TCodeCamera camera(5);
    TRecordingSettings settings;
    settings.NVFPS = 6; // 20 frames per second
    settings.NVTimeLimit = 60;
    TOnTheFlyRecorder recorder(writer, timer);
    recorder.Start(PlanRecording(settings), {640, 480}, Path(), camera.Latest(), HooksFor(camera));
    ASSERT_EQ(ended.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(failure, "Capture device lost");
    EXPECT_FALSE(timer.Running());
    EXPECT_TRUE(recorder.Stop());
    const auto frames = avitest::FrameCount(Path());
    if (!frames)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    // Ticks 1 to 4 had a frame; the fifth found the camera gone.
    EXPECT_EQ(*frames, 4);
}

TEST_F(OnTheFlyRecorder, DestroyingARecorderWhileTicksRunFinishesTheFile) {
    TCodeCamera camera;
    TRecordingSettings settings;
    settings.NVFPS = 6;
    settings.NVTimeLimit = 60;
    auto owned = std::make_unique<TFakeTimerClock>();
    TFakeTimerClock& clock = *owned;
    TPreciseTimer ticks(std::move(owned));
    clock.HoldAfter(clock.NowNs() + 250'000'000); // ticks 1 to 5 run, then a sleep lasts
    {
        TOnTheFlyRecorder recorder(writer, ticks, NowMsOf(clock));
        recorder.Start(PlanRecording(settings), {320, 240}, Path(), camera.Latest(),
                       HooksFor(camera));
        ASSERT_TRUE(clock.WaitForHold());
    }
    EXPECT_FALSE(ticks.Running());
    EXPECT_EQ(clock.UnwokenHolds(), 0);
    EXPECT_TRUE(writer.Finalized());
    const auto frames = avitest::FrameCount(Path());
    if (!frames)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_EQ(*frames, 5);
}

TEST_F(OnTheFlyRecorder, AFullFileStopsTheRecordingAndSaysSo) {
    TAVICreator::Limits limits;
    limits.IndexEntries = 5;
    TAviWriter_2 small(nullptr, limits);
    TCodeCamera camera;
    TRecordingSettings settings;
    settings.NVFPS = 6; // 20 frames per second
    settings.NVTimeLimit = 60;
    TOnTheFlyRecorder recorder(small, timer);
    recorder.Start(PlanRecording(settings), {320, 240}, Path(), camera.Latest(), HooksFor(camera));
    ASSERT_EQ(ended.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_EQ(stop_reports.load(), 1);
    try {
        recorder.Stop();
        ADD_FAILURE() << "the refused frame must be reported";
    } catch (const std::exception& error) {
        EXPECT_TRUE(QString(error.what()).startsWith("The index of the AVI file is full"))
            << error.what();
    }
    EXPECT_FALSE(recorder.Recording());
    const auto frames = avitest::FrameCount(Path());
    if (!frames)
        GTEST_SKIP() << "ffprobe is not installed: the file was not checked as a player reads it";
    EXPECT_EQ(*frames, 5);
}

// A full file ends only its own recording: the next recording, here compressed, on the
// same writer runs its whole duration.
TEST_F(OnTheFlyRecorder, AFullFileEndsOnlyItsOwnRecording) {
    // Room for 5 uncompressed frames of 320 x 240, and for far more compressed ones.
    TAVICreator::Limits limits;
    limits.MaxFileBytes = 1'200'000;
    TAviWriter_2 small(nullptr, limits);
    TCodeCamera camera;
    TRecordingSettings settings;
    settings.NVFPS = 6; // 20 frames per second
    settings.NVTimeLimit = 60;
    TOnTheFlyRecorder recorder(small, timer);
    recorder.Start(PlanRecording(settings), {320, 240}, Path(), camera.Latest(), HooksFor(camera));
    ASSERT_EQ(ended.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_THROW(recorder.Stop(), std::exception);

    ended = std::promise<void>();
    stop_reports = 0;
    settings.NVTimeLimit = 1;
    small.SetWidth(320);
    small.SetHeight(240);
    small.SetCompressor("MJPG");
    const QString second = folder.filePath("second.avi");
    recorder.Start(PlanRecording(settings), {320, 240}, second, camera.Latest(), HooksFor(camera));
    ASSERT_EQ(ended.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(recorder.Stop());
    EXPECT_EQ(stop_reports.load(), 1);
    EXPECT_GE(last_tick.load(), 20) << "stopped before its duration";
}

// A write that fails (a full disk, here a file-size limit of this process for the time of
// the recording) closes the file, compressed or not, with its index and the frames so far;
// the recording stops then, instead of dropping every frame until its duration, and says
// which file failed and why.
TEST_F(OnTheFlyRecorder, AFailedWriteStopsTheRecording) {
    struct Case {
        const char* fourcc;
        rlim_t limit;
        int frames; // that fit below the limit; 0: not known in advance
    };
    for (const Case& c : {Case{"", 3'000'000, 3}, Case{"MJPG", 400'000, 0}}) {
        SCOPED_TRACE(c.fourcc);
        ended = std::promise<void>();
        stop_reports = 0;
        const QString path = folder.filePath(QString("failed%1.avi").arg(c.fourcc));
        TAviWriter_2 target;
        target.SetWidth(640);
        target.SetHeight(480);
        target.SetCompressor(c.fourcc);
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previous = signal(SIGXFSZ, SIG_IGN);
        rlimit limit{c.limit, saved.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        TCodeCamera camera;
        TRecordingSettings settings;
        settings.NVFPS = 6; // 20 frames per second
        settings.NVTimeLimit = 60;
        TOnTheFlyRecorder recorder(target, timer);
        recorder.Start(PlanRecording(settings), {640, 480}, path, camera.Latest(),
                       HooksFor(camera));
        const bool stopped = ended.get_future().wait_for(30s) == std::future_status::ready;
        QString message;
        try {
            recorder.Stop();
        } catch (const std::exception& error) {
            message = error.what();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
        ASSERT_TRUE(stopped) << "the recording went on after its file was closed";
        EXPECT_EQ(stop_reports.load(), 1);
        EXPECT_TRUE(message.startsWith("Writing " + path + " failed: File too large"))
            << message.toStdString();
        const QByteArray f = avitest::ReadAll(path);
        const uint32_t headerFrames = avitest::U32(f, 48);
        if (c.frames > 0) {
            EXPECT_EQ(headerFrames, uint32_t(c.frames));
        }
        EXPECT_GT(headerFrames, 1u);
        EXPECT_EQ(avitest::U32(f, 4), uint32_t(f.size() - 8)) << "closed complete";
        EXPECT_TRUE(message.endsWith(QString("closed with %1 frames").arg(headerFrames)))
            << message.toStdString();
        const auto frames = avitest::FrameCount(path);
        if (!frames)
            GTEST_SKIP()
                << "ffprobe is not installed: the file was not checked as a player reads it";
        EXPECT_EQ(*frames, int(headerFrames));
    }
}

TEST_F(OnTheFlyRecorder, FrameFileTicksRequestAndCountWithoutAWriter) {
    TCodeCamera camera;
    std::atomic<int> requests{0};
    TOnTheFlyRecorder::Hooks hooks = HooksFor(camera);
    hooks.RequestFrame = [&requests] { ++requests; };
    hooks.LatestFrame = []() -> QImage { throw std::logic_error("no frame is read"); };
    TRecordingSettings settings;
    settings.UseNormalVideo = false;
    settings.TLInterval = 0;   // 0.2 s
    settings.TLTimeLimit = 10; // 2 s
    const TRecordingPlan plan = PlanRecording(settings);
    TOnTheFlyRecorder recorder(writer, timer);
    recorder.StartFrameFiles(plan, hooks);
    ASSERT_EQ(ended.get_future().wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    EXPECT_TRUE(recorder.Stop());
    EXPECT_FALSE(writer.Initialized());
    EXPECT_EQ(requests.load(), last_tick.load());
    EXPECT_GE(last_tick.load(), 10); // the first tick past 2000 ms stops
}

} // namespace
