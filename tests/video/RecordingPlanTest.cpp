#include "video/RecordingPlan.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TRecordingSettings NormalVideo(int fps_index, int seconds) {
    TRecordingSettings settings;
    settings.UseNormalVideo = true;
    settings.NVFPS = fps_index;
    settings.NVTimeLimit = seconds;
    return settings;
}

TRecordingSettings TimeLapse(int interval_index, int units, int frames, int playback_index = 0) {
    TRecordingSettings settings;
    settings.UseNormalVideo = false;
    settings.TLInterval = interval_index;
    settings.TimeUnits = units;
    settings.TLTimeLimit = frames;
    settings.TLFPS = playback_index;
    return settings;
}

TEST(RecordingPlan, FrameTimesOfEveryFrameRate) {
    const int normal[] = {250, 167, 125, 100, 83, 67, 50};
    for (int i = 0; i < 7; ++i) {
        const TRecordingPlan plan = PlanRecording(NormalVideo(i, 10));
        EXPECT_EQ(plan.FrameTimeMs, normal[i]) << i;
        EXPECT_EQ(plan.IntervalMs, normal[i]) << i;
    }
    const int playback[] = {200, 100, 67, 50, 40};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(PlanRecording(TimeLapse(4, 0, 10, i)).FrameTimeMs, playback[i]) << i;
}

TEST(RecordingPlan, TimeLapseIntervalsAndDurations) {
    struct Case {
        const char* interval;
        int units, frames;
        int64_t interval_ms, duration_s;
    } cases[] = {
        {"0.33", 0, 20, 330, 6},
        {"2", 1, 20, 120'000, 2'400},
        {"300", 2, 1, 1'080'000'000, 1'080'000},
        {"0.25", 0, 10, 250, 2},
        {"10", 1, 4'000, 600'000, 2'400'000},
        {"0.2", 0, 7, 200, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        const int index = int(recording::IntervalItems().indexOf(QString::fromLatin1(c.interval)));
        ASSERT_GE(index, 0);
        const TRecordingPlan plan = PlanRecording(TimeLapse(index, c.units, c.frames));
        EXPECT_EQ(plan.IntervalMs, c.interval_ms);
        EXPECT_EQ(plan.RecordDuration, c.duration_s);
        EXPECT_EQ(plan.PlannedFrames, c.frames);
    }
}

TEST(RecordingPlan, NormalVideoPlansFramesAndStopsAfterTheDuration) {
    const TRecordingPlan plan = PlanRecording(NormalVideo(3, 10));
    EXPECT_EQ(plan.FrameRate, 10);
    EXPECT_EQ(plan.IntervalMs, 100);
    EXPECT_EQ(plan.PlannedFrames, 100);
    EXPECT_EQ(plan.RecordDuration, 10);
}

TEST(RecordingPlan, StopsAtTheFirstTickPastTheDuration) {
    struct Case {
        int64_t duration_s, elapsed_ms;
        bool reached;
    } cases[] = {
        {2, 2000, false},
        {2, 2001, true},
        {10, 10'000, false},
        {10, 10'001, true},
        {2'400'000, 2'400'000'000, false}, // beyond 32 bits: no negative duration
        {2'400'000, 2'400'000'001, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecordingDurationReached(c.duration_s, c.elapsed_ms), c.reached) << c.elapsed_ms;
}

TEST(RecordingPlan, RefusesAnUnselectedItem) {
    EXPECT_THROW(PlanRecording(NormalVideo(-1, 10)), std::invalid_argument);
    EXPECT_THROW(PlanRecording(NormalVideo(7, 10)), std::invalid_argument);
    EXPECT_THROW(PlanRecording(TimeLapse(-1, 0, 10)), std::invalid_argument);
    EXPECT_THROW(PlanRecording(TimeLapse(0, 3, 10)), std::invalid_argument);
    TRecordingSettings no_playback = TimeLapse(0, 0, 10);
    no_playback.TLFPS = 5;
    EXPECT_THROW(PlanRecording(no_playback), std::invalid_argument);
}

TEST(RecordingPlan, AviSizeByItem) {
    const QSize sizes[] = {{640, 480},   {800, 600}, {1024, 768},
                           {2048, 1536}, {640, 640}, {640, 640}};
    const int indexes[] = {0, 1, 2, 3, -1, 4};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(AviSizeForIndex(indexes[i]), sizes[i]) << indexes[i];
}

TEST(RecordingPlan, NamesOfTheVideoAndItsFrameFiles) {
    EXPECT_EQ(ProposedVideoName(QDate(2026, 12, 9), 42), "Video_2026-12-09_00042.avi");
    EXPECT_EQ(ProposedVideoName(QDate(2026, 12, 9), 99999), "Video_2026-12-09_99999.avi");
    EXPECT_EQ(NextAVINr(99999), 0);
    EXPECT_EQ(NextAVINr(41), 42);
    EXPECT_EQ(FrameFileName("Video_2026-12-09_00042.avi", 0), "Video_2026-12-09_00042-000000.bmp");
    EXPECT_EQ(FrameFileName("Video_2026-12-09_00042.avi", 1234567),
              "Video_2026-12-09_00042-1234567.bmp");
}

TEST(RecordingPlan, FrameFilesComeInTickOrderWhateverTheListingOrder) {
    const QStringList listing = {"V-000010.bmp",  "V-000002.bmp", "notes.txt",
                                 "V-1000000.bmp", "V-000000.bmp", "V-000001.BMP"};
    const QStringList expected = {"V-000000.bmp", "V-000001.BMP", "V-000002.bmp", "V-000010.bmp",
                                  "V-1000000.bmp"};
    EXPECT_EQ(FrameFilesInTickOrder(listing), expected);
}

} // namespace
