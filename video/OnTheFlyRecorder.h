#pragma once
// The ticks of a recording. On the fly, every tick of the timer requests the next camera
// frame and adds the latest delivered one, at the AVI size, to the writer. For a frame-file
// recording the ticks only request and count frames (the frame handler saves them). The
// duration's end, a full file and the user's Stop all end in Stop, which finishes the file
// exactly once with the frames so far.
//
// The hooks run on the timer thread and must not touch widgets: they hand work to the GUI
// thread. Stop runs on the GUI thread: it stops and joins the timer before the writer
// finishes the file, so no tick runs beside FinalizeVideo.

#include "video/RecordingPlan.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class TAviWriter_2;
class TPreciseTimer;

// The frame as the writer gets it: a copy at the AVI size when it has that size, else
// stretched over all of it; 24 bits either way.
QImage FrameAtAviSize(const QImage& frame, QSize avi_size);

class TOnTheFlyRecorder {
public:
    struct Hooks {
        std::function<void()> RequestFrame;         // asks the camera for its next frame
        std::function<QImage()> LatestFrame;        // a copy of the latest delivered frame
        std::function<void(int tick_count)> Ticked; // after each tick (the caption)
        std::function<void()> StopDue; // duration passed or file full: the GUI thread runs Stop
        std::function<void(const QString& message)> Failed; // a tick failed: report, then Stop
    };

    // Milliseconds of a steady clock; tests pass their own.
    using TNowMs = std::function<int64_t()>;

    TOnTheFlyRecorder(TAviWriter_2& writer, TPreciseTimer& timer, TNowMs now_ms = {});
    ~TOnTheFlyRecorder();

    // Sets the writer up (quality, size, 24 bits, no stretch, no sound, frame time, file name;
    // the compressor is the caller's), opens the file with first_frame and starts the timer.
    // The writer's errors are thrown.
    void Start(const TRecordingPlan& plan, QSize avi_size, const QString& file_name,
               const QImage& first_frame, Hooks hooks);
    // Frame-file recording: the same ticks, with no writer and nothing to finish.
    void StartFrameFiles(const TRecordingPlan& plan, Hooks hooks);
    // Stops the timer, waits for a running tick, finishes the file. True when this call finished
    // it; false when no recording was open (already stopped). The writer's errors are thrown
    // after the recording is marked stopped.
    bool Stop();
    bool Recording() const;
    bool OnTheFly() const { return on_the_fly_; }

private:
    void StartTicks(const TRecordingPlan& plan);
    void Tick();

    TAviWriter_2& writer_;
    TPreciseTimer& timer_;
    TNowMs now_ms_;
    Hooks hooks_;
    QSize avi_size_;
    int64_t record_duration_s_ = 0;
    int64_t started_ms_ = 0;
    bool on_the_fly_ = true;
    bool stop_reported_ = false;
    mutable std::mutex state_mutex_;
    bool recording_ = false;
};
