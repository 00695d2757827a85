#include "OnTheFlyRecorder.h"

#include "video/AviWriter.h"
#include "video/PreciseTimer.h"

#include <QPainter>

#include <chrono>

QImage FrameAtAviSize(const QImage& frame, QSize avi_size) {
    if (frame.size() == avi_size)
        return frame.convertToFormat(QImage::Format_BGR888);
    QImage sized(avi_size, QImage::Format_BGR888);
    sized.fill(Qt::black);
    if (!frame.isNull()) {
        QPainter painter(&sized);
        painter.drawImage(QRect(QPoint(0, 0), avi_size), frame);
    }
    return sized;
}

TOnTheFlyRecorder::TOnTheFlyRecorder(TAviWriter_2& writer, TPreciseTimer& timer, TNowMs now_ms)
    : writer_(writer), timer_(timer), now_ms_(std::move(now_ms)) {
    if (!now_ms_)
        now_ms_ = [] {
            return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count());
        };
}

TOnTheFlyRecorder::~TOnTheFlyRecorder() {
    // Never leaves a tick running on a writer that goes away; the file is finished.
    try {
        Stop();
    } catch (...) {
    }
}

void TOnTheFlyRecorder::Start(const TRecordingPlan& plan, QSize avi_size, const QString& file_name,
                              const QImage& first_frame, Hooks hooks) {
    Stop();
    hooks_ = std::move(hooks);
    avi_size_ = avi_size;
    on_the_fly_ = true;
    writer_.Quality = 10000;
    writer_.SetWidth(avi_size.width());
    writer_.SetHeight(avi_size.height());
    writer_.SetPixelFormat(TPixelFormat::pf24bit);
    writer_.Stretch = false;
    writer_.SetWavFileName(QString());
    writer_.FrameTime = plan.FrameTimeMs;
    writer_.filename = file_name;
    writer_.InitVideo(FrameAtAviSize(first_frame, avi_size));
    StartTicks(plan);
}

void TOnTheFlyRecorder::StartFrameFiles(const TRecordingPlan& plan, Hooks hooks) {
    Stop();
    hooks_ = std::move(hooks);
    on_the_fly_ = false;
    StartTicks(plan);
}

void TOnTheFlyRecorder::StartTicks(const TRecordingPlan& plan) {
    record_duration_s_ = plan.RecordDuration;
    stop_reported_ = false;
    {
        std::lock_guard lock(state_mutex_);
        recording_ = true;
    }
    timer_.SetTickCount(0);
    timer_.SetInterval(plan.IntervalMs);
    timer_.OnTimer = [this](TPreciseTimer&) { Tick(); };
    timer_.OnError = [this](TPreciseTimer&, const std::string& message) {
        if (hooks_.Failed)
            hooks_.Failed(QString::fromStdString(message));
    };
    started_ms_ = now_ms_();
    timer_.Start();
}

void TOnTheFlyRecorder::Tick() {
    if (hooks_.RequestFrame)
        hooks_.RequestFrame();
    const int tick = timer_.TickCount() + 1;
    timer_.SetTickCount(tick);
    if (hooks_.Ticked)
        hooks_.Ticked(tick);
    const int64_t elapsed_ms = now_ms_() - started_ms_;
    bool full = false;
    if (on_the_fly_) {
        const QImage latest = hooks_.LatestFrame ? hooks_.LatestFrame() : QImage();
        // Without any frame (the camera gone before the first one) there is nothing to add.
        if (!latest.isNull()) {
            const QImage frame = FrameAtAviSize(latest, avi_size_);
            writer_.SetPixelFormat(TPixelFormat::pf24bit);
            writer_.AddFrame(frame);
        }
        // The file, compressed or not, closes itself at its format's limit or on a failed
        // write; recording on would only drop frames until the duration ends.
        full = !writer_.FileOpen();
    }
    if (!stop_reported_ && (full || RecordingDurationReached(record_duration_s_, elapsed_ms))) {
        stop_reported_ = true; // the GUI thread stops once, however many ticks follow
        if (hooks_.StopDue)
            hooks_.StopDue();
    }
}

bool TOnTheFlyRecorder::Stop() {
    {
        std::lock_guard lock(state_mutex_);
        if (!recording_)
            return false;
        recording_ = false;
    }
    timer_.Stop(); // joins: no tick runs from here on
    if (!on_the_fly_)
        return true;
    writer_.FinalizeVideo();
    writer_.WriteAvi();
    return true;
}

bool TOnTheFlyRecorder::Recording() const {
    std::lock_guard lock(state_mutex_);
    return recording_;
}
