// AVI recording. Uncompressed: 200 frames of 2048 x 1536 x 24 written by TAVICreator, beside
// plain write() calls of the same bytes to the same place (/dev/shm when there is one).
// Compressed: frames per second of a recording as the preview window runs it (the timer
// thread's ticks take the latest camera frame and the writer converts, encodes and writes it
// to the file) with MJPG, FMP4 and H264, beside the same encoder with the same settings
// encoding the same frames already in its pixel format. The timer's clock runs free, so the
// ticks follow each other as fast as the recording goes.

#include "video/AviCreator.h"
#include "video/AviEncoderSettings.h"
#include "video/AviWriter.h"
#include "video/OnTheFlyRecorder.h"
#include "video/PreciseTimer.h"
#include "video/RecordingPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace {

QString TargetFile() {
    const QString folder = QFileInfo("/dev/shm").isWritable() ? "/dev/shm" : QDir::currentPath();
    return folder + "/quvar_avi_bench.avi";
}

QImage Frame(int width, int height, int seed) {
    QImage frame(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        uchar* line = frame.scanLine(y);
        for (int x = 0; x < width; ++x) {
            line[3 * x] = uchar((x + seed) ^ y);
            line[3 * x + 1] = uchar(x * 3 + y + seed);
            line[3 * x + 2] = uchar((x * y) >> 6);
        }
    }
    return frame;
}

constexpr int BigWidth = 2048, BigHeight = 1536, UncompressedFrames = 200;

void BM_PlainWrite(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(TargetFile());
    // A frame chunk and the JUNK chunk after it, as the writer lays them out.
    const std::vector<char> chunk(8 + size_t(BigWidth) * BigHeight * 3 + 10, 'x');
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (int i = 0; i < UncompressedFrames; ++i)
            if (::write(fd, chunk.data(), chunk.size()) != ssize_t(chunk.size()))
                state.SkipWithError("write failed");
        ::close(fd);
    }
    ::unlink(path.constData());
    state.SetBytesProcessed(state.iterations() * UncompressedFrames * int64_t(chunk.size()));
}
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AviCreator(benchmark::State& state) {
    const QString path = TargetFile();
    const QImage frame = Frame(BigWidth, BigHeight, 0);
    for (auto _ : state) {
        TAVICreator avi;
        bool ok = avi.Open(path, 50, 100, frame);
        for (int i = 0; i < UncompressedFrames && ok; ++i)
            ok = avi.AddFrame(frame);
        if (!ok || !avi.Close(false))
            state.SkipWithError("writing failed");
    }
    QFile::remove(path);
    state.SetBytesProcessed(state.iterations() * UncompressedFrames *
                            int64_t(8 + BigWidth * BigHeight * 3 + 10));
}
BENCHMARK(BM_AviCreator)->Unit(benchmark::kMillisecond)->Iterations(5);

// Page faults of the whole process so far: fresh memory touched, per frame a sign of buffers
// made anew instead of reused.
int64_t MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Enough for the setup of a recording (the encoder opened, the file created) to weigh
// little, as in a real recording.
int FramesFor(int width) {
    return width > 1000 ? 40 : 120;
}

// The frame time and quality the recording below runs with (the on-the-fly recorder always
// records at the best quality): the encoder's work depends on both.
constexpr int RecordingFrameTimeMs = 40, RecordingQuality = 10000;

// The encoder alone: the frames are in its pixel format before the clock runs. No file is
// written; the recording writes its file to the same place as BM_PlainWrite.
void BM_EncodeOnly(benchmark::State& state, const char* fourcc, int width, int height) {
    const int count = FramesFor(width);
    AVCodecContext* probe =
        NewAviEncoderContext(fourcc, width, height, RecordingFrameTimeMs, RecordingQuality);
    const AVPixelFormat format = probe->pix_fmt;
    avcodec_free_context(&probe);
    std::vector<AVFrame*> frames;
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, format,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
        const QImage image = Frame(width, height, i * 5);
        AVFrame* frame = av_frame_alloc();
        frame->format = format;
        frame->width = width;
        frame->height = height;
        av_frame_get_buffer(frame, 0);
        const uint8_t* planes[1] = {image.constBits()};
        const int strides[1] = {int(image.bytesPerLine())};
        sws_scale(sws, planes, strides, 0, height, frame->data, frame->linesize);
        frames.push_back(frame);
    }
    sws_freeContext(sws);
    AVPacket* packet = av_packet_alloc();
    const int64_t faults = MinorFaults();
    for (auto _ : state) {
        AVCodecContext* codec =
            NewAviEncoderContext(fourcc, width, height, RecordingFrameTimeMs, RecordingQuality);
        if (avcodec_open2(codec, codec->codec, nullptr) < 0) {
            state.SkipWithError("encoder does not open");
            break;
        }
        for (int i = 0; i <= count; ++i) {
            AVFrame* frame = i < count ? frames[size_t(i)] : nullptr;
            if (frame) {
                frame->pts = i;
                frame->pict_type =
                    i % codec->gop_size == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
            }
            avcodec_send_frame(codec, frame);
            while (avcodec_receive_packet(codec, packet) >= 0)
                av_packet_unref(packet);
        }
        avcodec_free_context(&codec);
    }
    state.counters["faults_per_frame"] =
        double(MinorFaults() - faults) / double(std::max<int64_t>(1, state.iterations() * count));
    av_packet_free(&packet);
    for (AVFrame* frame : frames)
        av_frame_free(&frame);
    state.SetItemsProcessed(state.iterations() * count);
}

// A clock whose deadlines have always passed: the timer runs its ticks back to back.
class TFreeRunningClock : public TTimerClock {
public:
    int64_t NowNs() override { return now_.load(); }
    bool SleepUntil(int64_t deadline_ns) override {
        if (woken_.exchange(false))
            return false;
        now_.store(std::max(now_.load(), deadline_ns));
        return true;
    }
    void Wake() override { woken_.store(true); }

private:
    std::atomic<int64_t> now_{0};
    std::atomic<bool> woken_{false};
};

// The recording path: the timer thread's ticks, the camera's latest frame, the writer, the
// file.
void BM_Recording(benchmark::State& state, const char* fourcc, int width, int height) {
    const int count = FramesFor(width);
    std::vector<QImage> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(Frame(width, height, i * 5));
    TAviWriter_2 writer;
    TPreciseTimer timer(std::make_unique<TFreeRunningClock>());
    TOnTheFlyRecorder recorder(writer, timer);
    std::mutex mutex;
    std::condition_variable ticked;
    int delivered = 0, ticks = 0;
    TOnTheFlyRecorder::Hooks hooks;
    // The camera delivers the next frame; the window keeps it as the latest one.
    hooks.RequestFrame = [&] {
        std::lock_guard lock(mutex);
        ++delivered;
    };
    hooks.LatestFrame = [&] {
        std::lock_guard lock(mutex);
        return frames[size_t(delivered % count)];
    };
    // Wakes the benchmark's thread only when it has something to do, not at every tick.
    hooks.Ticked = [&](int tick) {
        std::lock_guard lock(mutex);
        ticks = tick;
        if (tick == count)
            ticked.notify_all();
    };
    TRecordingPlan plan;
    plan.FrameRate = 25;
    plan.FrameTimeMs = RecordingFrameTimeMs;
    plan.IntervalMs = RecordingFrameTimeMs;
    plan.RecordDuration = 1'000'000;
    int64_t written = 0;
    writer.SetWidth(width); // chosen in the dialog, before the recording
    writer.SetHeight(height);
    writer.SetCompressor(fourcc);
    const int64_t faults = MinorFaults();
    for (auto _ : state) {
        {
            std::lock_guard lock(mutex);
            delivered = ticks = 0;
        }
        recorder.Start(plan, {width, height}, TargetFile(), frames.front(), hooks);
        {
            std::unique_lock lock(mutex);
            ticked.wait(lock, [&] { return ticks >= count; });
        }
        recorder.Stop(); // the last tick ends, the file is finished
        written += writer.FrameCounter();
    }
    state.counters["faults_per_frame"] =
        double(MinorFaults() - faults) / double(std::max<int64_t>(1, written));
    QFile::remove(TargetFile());
    state.SetItemsProcessed(written);
}

#define AVI_CODEC_BENCH(fourcc, w, h)                                                              \
    BENCHMARK_CAPTURE(BM_EncodeOnly, fourcc##_##w##x##h, #fourcc, w, h)                            \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime();                                                                           \
    BENCHMARK_CAPTURE(BM_Recording, fourcc##_##w##x##h, #fourcc, w, h)                             \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime()

AVI_CODEC_BENCH(MJPG, 640, 480);
AVI_CODEC_BENCH(MJPG, 2048, 1536);
AVI_CODEC_BENCH(FMP4, 640, 480);
AVI_CODEC_BENCH(FMP4, 2048, 1536);
AVI_CODEC_BENCH(H264, 640, 480);
AVI_CODEC_BENCH(H264, 2048, 1536);

} // namespace
