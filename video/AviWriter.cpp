#include "AviWriter.h"
#include "AviEncoderSettings.h"
#include "FfmpegLibraries.h"
#include "YuvConversion.h"

#include "platform/Errors.h"
#include "platform/NumberFormat.h"
#include "platform/ThreadPool.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The encoders offered: each exists in Debian's FFmpeg, and players read it from AVI.
struct AllowedEncoder {
    const char* fourcc;
    const char* encoder;
    AVPixelFormat pixelFormat;
    // Every frame stands alone and the encoder's own threads would each take whole frames:
    // the writer's threads do that instead, each converting the frame it then encodes.
    bool framesSideBySide = false;
};
constexpr AllowedEncoder AllowedEncoders[] = {
    {"MJPG", "mjpeg", AV_PIX_FMT_YUVJ420P, true}, {"FMP4", "mpeg4", AV_PIX_FMT_YUV420P},
    {"H264", "libx264", AV_PIX_FMT_YUV420P},      {"FFV1", "ffv1", AV_PIX_FMT_BGR0},
    {"HFYU", "huffyuv", AV_PIX_FMT_YUV422P},
};

const AllowedEncoder* FindAllowed(const QString& fourcc) {
    for (const AllowedEncoder& allowed : AllowedEncoders)
        if (fourcc.compare(QLatin1String(allowed.fourcc), Qt::CaseInsensitive) == 0)
            return &allowed;
    return nullptr;
}

QString Hex8(int code) {
    return QString("%1").arg(uint32_t(code), 8, 16, QChar('0')).toUpper();
}

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { Ffmpeg()->avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { Ffmpeg()->av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { Ffmpeg()->sws_freeContext(s); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

int RoundedKeyFrameDistance(int frameTimeMs) {
    return std::max<int>(1, int(RoundHalfEven(1000.0 / std::max(1, frameTimeMs))));
}

// An encoder context set up as the writer uses it; opened only by the caller.
CodecContextPtr EncoderContext(const AllowedEncoder& allowed, int width, int height,
                               int frameTimeMs, int quality) {
    const FfmpegCalls* ffmpeg = Ffmpeg();
    if (!ffmpeg)
        return nullptr;
    const AVCodec* codec = ffmpeg->avcodec_find_encoder_by_name(allowed.encoder);
    if (!codec)
        return nullptr;
    CodecContextPtr context(ffmpeg->avcodec_alloc_context3(codec));
    if (!context)
        return nullptr;
    context->width = width;
    context->height = height;
    context->pix_fmt = allowed.pixelFormat;
    context->time_base = AVRational{std::max(1, frameTimeMs), 1000};
    context->framerate = AVRational{1000, std::max(1, frameTimeMs)};
    context->gop_size = RoundedKeyFrameDistance(frameTimeMs);
    context->max_b_frames = 0; // one frame in, one frame out, in order, as in AVI
    context->thread_count = 0;
    // Key frames where the distance puts them, not where a scene seems to change.
    ffmpeg->av_opt_set_int(context.get(), "sc_threshold", 1000000000, AV_OPT_SEARCH_CHILDREN);
    const double fromBest = (10000.0 - std::clamp(quality, 0, 10000)) / 10000.0;
    if (std::strcmp(allowed.encoder, "libx264") == 0) {
        ffmpeg->av_opt_set_double(context->priv_data, "crf", 18 + 10 * fromBest, 0);
        // A crash loses what the encoder holds: its threads work on slices of one frame
        // rather than on frames in flight, and it looks ahead half a second, not seconds.
        const QByteArray params = "scenecut=0:sliced-threads=1:sync-lookahead=0:rc-lookahead=" +
                                  QByteArray::number(context->gop_size / 2);
        ffmpeg->av_opt_set(context->priv_data, "x264-params", params.constData(), 0);
        ffmpeg->av_opt_set_int(context->priv_data, "forced-idr", 1, 0);
    } else if (std::strcmp(allowed.encoder, "mjpeg") == 0 ||
               std::strcmp(allowed.encoder, "mpeg4") == 0) {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = int(FF_QP2LAMBDA * (2 + 10 * fromBest));
    }
    return context;
}

} // namespace

void TAviFrameFree::operator()(AVFrame* frame) const {
    Ffmpeg()->av_frame_free(&frame);
}

AVCodecContext* NewAviEncoderContext(const QString& fourcc, int width, int height, int frameTimeMs,
                                     int quality) {
    const AllowedEncoder* allowed = FindAllowed(fourcc);
    return allowed ? EncoderContext(*allowed, width, height, frameTimeMs, quality).release()
                   : nullptr;
}

namespace {

bool EncoderOpens(const AllowedEncoder& allowed, int width, int height) {
    if (width <= 0 || height <= 0)
        return false;
    CodecContextPtr context = EncoderContext(allowed, width, height, 1000, 5000);
    return context && Ffmpeg()->avcodec_open2(context.get(), context->codec, nullptr) == 0;
}

AVPixelFormat SourceFormat(const QImage& bitmap) {
    return bitmap.depth() == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
}

} // namespace

// Buffers for the encoder's frames, laid out as av_frame_get_buffer lays them out (the
// encoders take such frames without copying them). A buffer the encoder lets go of goes back
// to the pool rather than to the system: the frame-threaded encoders hold more frames than
// the writer has, and fresh memory costs a page fault per 4 KiB.
struct TAviWriter_2::FramePool {
    ~FramePool() { Release(); }

    // Ready for frames of this format and size; the buffers of the same layout are kept.
    bool Prepare(AVPixelFormat pixelFormat, int frameWidth, int frameHeight) {
        if (pixelFormat == format && frameWidth == width && frameHeight == height)
            return true;
        Release();
        std::unique_ptr<AVFrame, TAviFrameFree> layout(Ffmpeg()->av_frame_alloc());
        if (!layout)
            return false;
        layout->format = pixelFormat;
        layout->width = frameWidth;
        layout->height = frameHeight;
        if (Ffmpeg()->av_frame_get_buffer(layout.get(), 0) < 0)
            return false;
        // Planes in buffers of their own are left to av_frame_get_buffer.
        if (!layout->buf[1]) {
            for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
                linesize[i] = layout->linesize[i];
                offset[i] = layout->data[i] ? layout->data[i] - layout->buf[0]->data : -1;
            }
            pool = Ffmpeg()->av_buffer_pool_init(layout->buf[0]->size, nullptr);
            if (!pool)
                return false;
        }
        format = pixelFormat;
        width = frameWidth;
        height = frameHeight;
        return true;
    }

    // Gives an unreferenced frame a buffer of the pool.
    bool Fill(AVFrame* frame) const {
        frame->format = format;
        frame->width = width;
        frame->height = height;
        if (!pool)
            return Ffmpeg()->av_frame_get_buffer(frame, 0) >= 0;
        frame->buf[0] = Ffmpeg()->av_buffer_pool_get(pool);
        if (!frame->buf[0])
            return false;
        for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
            frame->data[i] = offset[i] < 0 ? nullptr : frame->buf[0]->data + offset[i];
            frame->linesize[i] = linesize[i];
        }
        frame->extended_data = frame->data;
        return true;
    }

    // The pool goes when the encoder has let go of its last buffer.
    void Release() {
        if (pool)
            Ffmpeg()->av_buffer_pool_uninit(&pool);
        format = AV_PIX_FMT_NONE;
    }

    AVBufferPool* pool = nullptr;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0, height = 0;
    int linesize[AV_NUM_DATA_POINTERS] = {};
    std::ptrdiff_t offset[AV_NUM_DATA_POINTERS] = {}; // of each plane in the buffer; -1: none
};

// Every FFmpeg handle of one compressed file, freed in reverse order of creation. The
// packets go to the writer's own AVI file (TAVICreator), which keeps the file readable after
// a crash and closes it complete on a failed write.
//
// The encoding runs on a thread of its own: while it encodes one frame (on the encoder's
// threads), the recording's thread converts the next, instead of each waiting for the other.
// Frames that stand alone (Motion JPEG) are instead converted and encoded side by side on
// threads of the writer, each with an encoder of its own: the conversion then runs within
// the encoding's threads, and its output is still in the processor's cache when encoded. The
// packets go to the file in the frames' order, written by whichever thread finds the oldest
// frame done.
struct TAviWriter_2::Encoder {
    ~Encoder() { StopWorker(); }

    CodecContextPtr codec;
    std::vector<CodecContextPtr> sideCodecs; // one for each side-by-side thread
    // The encoder's frames, reused in turn: a frame waiting for the encoder is never
    // touched, and one whose buffer the encoder's threads still hold gets another buffer
    // of the pool rather than being overwritten.
    std::vector<std::unique_ptr<AVFrame, TAviFrameFree>> frames;
    const FramePool* pool = nullptr;
    std::vector<char> queued; // by frame: handed to the worker and not yet sent
    size_t nextFrame = 0;
    // What a frame side by side carries besides itself.
    struct SideSlot {
        QImage source; // the picture to convert (none: the frame holds it already)
        std::unique_ptr<AVPacket, PacketFree> packet; // the encoder's, once encoded
        int result = 0;                               // of its encoding
        bool encoded = false;
    };
    std::vector<SideSlot> sideSlots; // by frame, side by side
    std::unique_ptr<AVPacket, PacketFree> packet;
    std::unique_ptr<SwsContext, SwsFree> scaler; // for frames of another size
    std::vector<std::unique_ptr<SwsContext, SwsFree>> bandScalers;
    AVPixelFormat bandSourceFormat = AV_PIX_FMT_NONE;
    QImage canvas; // Width x Height on black, for frames centred without stretching

    // The worker and what it shares with the recording's thread.
    std::thread worker;
    std::vector<std::thread> sideWorkers;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<size_t> waiting; // frames to encode, in order
    std::deque<size_t> untaken; // side by side: frames no thread has taken yet
    bool writing = false;       // side by side: a thread writes packets to the file
    bool stopping = false;
    int failure = 0;                   // the encoder's first error
    std::atomic<bool> fileOpen{false}; // the file, as the worker last left it

    // A frame of the encoder's size and format that nothing else holds.
    AVFrame* WritableFrame() {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return !queued[nextFrame]; });
        }
        // Not queued: the worker does not touch it, and the encoder only holds references
        // to its buffer.
        AVFrame* frame = frames[nextFrame].get();
        if (frame->buf[0] && Ffmpeg()->av_frame_is_writable(frame))
            return frame;
        Ffmpeg()->av_frame_unref(frame);
        return pool->Fill(frame) ? frame : nullptr;
    }

    bool SideBySide() const { return !sideCodecs.empty(); }

    // Waits for the next frame to be free of the workers (side by side, the picture given
    // to Submit is converted into it later).
    void WaitForFreeFrame() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return !queued[nextFrame]; });
    }

    void StartWorker(TAVICreator& file) {
        fileOpen = file.IsOpen;
        if (!SideBySide()) {
            worker = std::thread([this, &file] { Work(file); });
            return;
        }
        for (size_t i = 0; i < sideCodecs.size(); ++i)
            sideWorkers.emplace_back([this, &file, i] { WorkSideBySide(*sideCodecs[i], file); });
    }

    // Hands the next frame to the workers, side by side with the picture still to convert
    // into it (or none when WritableFrame's frame holds it); the encoder's first error so
    // far, if any.
    int Submit(int64_t number, AVPictureType type, const QImage& source = QImage()) {
        AVFrame* frame = frames[nextFrame].get();
        frame->pts = number;
        frame->pict_type = type;
        std::lock_guard lock(mutex);
        if (SideBySide()) {
            sideSlots[nextFrame].source = source;
            untaken.push_back(nextFrame);
        }
        queued[nextFrame] = 1;
        waiting.push_back(nextFrame);
        nextFrame = (nextFrame + 1) % frames.size();
        changed.notify_all();
        return failure;
    }

    // Encodes what was handed over and ends the workers: the encoder is the caller's again.
    void StopWorker() {
        if (!worker.joinable() && sideWorkers.empty())
            return;
        {
            std::lock_guard lock(mutex);
            stopping = true;
            changed.notify_all();
        }
        if (worker.joinable())
            worker.join();
        for (std::thread& side : sideWorkers)
            side.join();
        sideWorkers.clear();
    }

    // One of the side-by-side threads: takes the frames in turn, converts and encodes each
    // with its own encoder, and writes the packets that are next in the file.
    void WorkSideBySide(AVCodecContext& own, TAVICreator& file) {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return !untaken.empty() || stopping; });
            if (untaken.empty())
                return;
            const size_t index = untaken.front();
            untaken.pop_front();
            const bool skip = failure != 0;
            lock.unlock();
            // Queued: no other thread touches this frame, its picture or its packet.
            const int result = skip ? 0 : ConvertAndEncode(own, index);
            lock.lock();
            sideSlots[index].result = result;
            sideSlots[index].encoded = true;
            while (!writing && !waiting.empty() && sideSlots[waiting.front()].encoded) {
                const size_t next = waiting.front();
                SideSlot& slot = sideSlots[next];
                writing = true;
                lock.unlock();
                AVPacket& done = *slot.packet;
                if (slot.result >= 0 && done.data && file.IsOpen)
                    file.AddPacket(done.data, size_t(done.size),
                                   (done.flags & AV_PKT_FLAG_KEY) != 0);
                Ffmpeg()->av_packet_unref(&done);
                lock.lock();
                writing = false;
                waiting.pop_front();
                queued[next] = 0;
                slot.encoded = false;
                if (slot.result < 0 && failure == 0)
                    failure = slot.result;
                fileOpen = file.IsOpen;
                changed.notify_all();
            }
        }
    }

    // Converts the frame's picture, if it has one, and encodes the frame: one packet, as an
    // encoder of frames that stand alone gives without delay.
    int ConvertAndEncode(AVCodecContext& own, size_t index) {
        AVFrame* frame = frames[index].get();
        SideSlot& slot = sideSlots[index];
        if (!slot.source.isNull()) {
            if (!frame->buf[0] || !Ffmpeg()->av_frame_is_writable(frame)) {
                // A new buffer clears the number and type Submit gave the frame.
                const int64_t number = frame->pts;
                const AVPictureType type = frame->pict_type;
                Ffmpeg()->av_frame_unref(frame);
                if (!pool->Fill(frame))
                    return AVERROR(ENOMEM);
                frame->pts = number;
                frame->pict_type = type;
            }
            ConvertToYuv(slot.source, frame, 0, codec->height);
            slot.source = QImage(); // the picture is let go of as soon as it is converted
        }
        const FfmpegCalls& ffmpeg = *Ffmpeg();
        int result = ffmpeg.avcodec_send_frame(&own, frame);
        if (result >= 0)
            result = ffmpeg.avcodec_receive_packet(&own, slot.packet.get());
        return result == AVERROR(EAGAIN) ? 0 : result;
    }

    // Rows top to top + rows of a frame of the encoder's size into the encoder's 4:2:0
    // planes; top is even.
    void ConvertToYuv(const QImage& source, AVFrame* frame, int top, int rows) const {
        const TYuvPlanes planes{
            frame->data[0] + qsizetype(top) * frame->linesize[0],     frame->linesize[0],
            frame->data[1] + qsizetype(top / 2) * frame->linesize[1], frame->linesize[1],
            frame->data[2] + qsizetype(top / 2) * frame->linesize[2], frame->linesize[2]};
        BgrToYuv420(source.constBits() + qsizetype(top) * source.bytesPerLine(),
                    int(source.bytesPerLine()), source.depth() / 8, codec->width, rows, planes,
                    codec->pix_fmt == AV_PIX_FMT_YUVJ420P);
    }

    void Work(TAVICreator& file) {
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !waiting.empty() || stopping; });
                if (waiting.empty())
                    return;
                index = waiting.front();
            }
            const int result = failure ? 0 : Encode(frames[index].get(), file);
            std::lock_guard lock(mutex);
            waiting.pop_front();
            queued[index] = 0;
            if (result < 0 && failure == 0)
                failure = result;
            fileOpen = file.IsOpen;
            changed.notify_all();
        }
    }

    // Converts a frame of the encoder's size into the encoder's frame, in bands of rows on
    // the thread pool, from the frame's rows straight into the encoder's planes: conversion
    // otherwise costs as much as a fast encoder.
    bool ConvertInBands(const QImage& source, AVFrame* frame) {
        const int width = codec->width, height = codec->height;
        const AVPixelFormat from = SourceFormat(source);
        const int bandHeight =
            std::max(16, (height + ThreadPoolSize() - 1) / ThreadPoolSize() + 15) / 16 * 16;
        const int bands = (height + bandHeight - 1) / bandHeight;
        if (codec->pix_fmt == AV_PIX_FMT_YUV420P || codec->pix_fmt == AV_PIX_FMT_YUVJ420P) {
            // A band of about a megapixel takes a fraction of a millisecond: waking a worker
            // for less would cost more than it saves.
            const int yuvBands = std::clamp(int(int64_t(width) * height / 1'000'000), 1, bands);
            const int rowsPerBand = ((height + yuvBands - 1) / yuvBands + 15) / 16 * 16;
            RunParts((height + rowsPerBand - 1) / rowsPerBand, [&](int b) {
                const int top = b * rowsPerBand;
                ConvertToYuv(source, frame, top, std::min(rowsPerBand, height - top));
            });
            return true;
        }
        if (from != bandSourceFormat || int(bandScalers.size()) != bands) {
            bandScalers.clear();
            for (int b = 0; b < bands; ++b) {
                const int rows = std::min(bandHeight, height - b * bandHeight);
                bandScalers.emplace_back(Ffmpeg()->sws_getContext(width, rows, from, width, rows,
                                                                  codec->pix_fmt, SWS_BILINEAR,
                                                                  nullptr, nullptr, nullptr));
                if (!bandScalers.back())
                    return false;
            }
            bandSourceFormat = from;
        }
        const AVPixFmtDescriptor* descriptor = Ffmpeg()->av_pix_fmt_desc_get(codec->pix_fmt);
        const int planes = Ffmpeg()->av_pix_fmt_count_planes(codec->pix_fmt);
        RunParts(bands, [&](int b) {
            const int top = b * bandHeight;
            const int rows = std::min(bandHeight, height - top);
            const uint8_t* in[1] = {source.constBits() + qsizetype(top) * source.bytesPerLine()};
            const int inStride[1] = {int(source.bytesPerLine())};
            uint8_t* out[4] = {};
            for (int p = 0; p < planes; ++p) {
                const int shift = p == 1 || p == 2 ? descriptor->log2_chroma_h : 0;
                out[p] = frame->data[p] + qsizetype(top >> shift) * frame->linesize[p];
            }
            Ffmpeg()->sws_scale(bandScalers[size_t(b)].get(), in, inStride, 0, rows, out,
                                frame->linesize);
        });
        return true;
    }

    // Sends one frame (or the end, with nullptr) and hands what the encoder gives back to
    // the file. A failed write has closed the file: the packets after it are dropped.
    int Encode(const AVFrame* input, TAVICreator& file) {
        const FfmpegCalls& ffmpeg = *Ffmpeg();
        int result = ffmpeg.avcodec_send_frame(codec.get(), input);
        if (result < 0)
            return result;
        while ((result = ffmpeg.avcodec_receive_packet(codec.get(), packet.get())) >= 0) {
            if (file.IsOpen)
                file.AddPacket(packet->data, size_t(packet->size),
                               (packet->flags & AV_PKT_FLAG_KEY) != 0);
            ffmpeg.av_packet_unref(packet.get());
        }
        return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? 0 : result;
    }
};

TAviWriter_2::TAviWriter_2(QObject* owner) : TAviWriter_2(owner, TAVICreator::Limits()) {}

TAviWriter_2::TAviWriter_2(QObject* /*owner*/, const TAVICreator::Limits& limits)
    : creator_(limits) {
    QSize screen(1024, 768);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            screen = primary->size();
    width_ = screen.width() / 10;
    height_ = screen.height() / 10;
}

TAviWriter_2::~TAviWriter_2() {
    // An abandoned writer keeps what it wrote.
    if (uncompressedOpen_)
        creator_.Close(false);
    ReleaseFile();
}

void TAviWriter_2::SetHeight(int height) {
    height_ = height / 16 * 16;
}
void TAviWriter_2::SetWidth(int width) {
    width_ = width / 16 * 16;
}

void TAviWriter_2::SetPixelFormat(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
    case TPixelFormat::pf24bit:
    case TPixelFormat::pf32bit:
        pixelFormat_ = format;
        return;
    default:
        throw QuvarError("Pixelformat not supported");
    }
}

void TAviWriter_2::SetWavFileName(const QString& name) {
    if (name.compare(wavFileName_, Qt::CaseInsensitive) == 0)
        return;
    if (!name.isEmpty() && !name.toLower().endsWith(".wav"))
        throw QuvarError("WavFileName must name a file with the .wav extension");
    wavFileName_ = name;
}

void TAviWriter_2::GetCompressorList(QStringList& list) const {
    list.clear();
    list.append("No Compression");
    for (const AllowedEncoder& allowed : AllowedEncoders)
        if (EncoderOpens(allowed, width_, height_))
            list.append(QString("%1 %2").arg(allowed.fourcc,
                                             QString::fromLatin1(allowed.encoder).left(16)));
}

void TAviWriter_2::SetCompressor(const QString& fourcc) {
    const QString text = fourcc.left(4);
    compressor_.clear();
    if (text.isEmpty())
        return;
    const AllowedEncoder* allowed = FindAllowed(text);
    if (!allowed || !EncoderOpens(*allowed, width_, height_))
        throw QuvarError("No compressor for " + text + "\n" + " available");
    compressor_ = text;
}

void TAviWriter_2::ShowCompressorDialog(QObject* /*parent*/) {}

void TAviWriter_2::InitVideo(const QImage& firstBitmap) {
    finalized_ = false;
    if (compressor_.isEmpty()) {
        uncompressedOpen_ =
            creator_.Open(filename, uint32_t(std::max(0, FrameTime)), 100, firstBitmap);
        if (!uncompressedOpen_)
            throw QuvarError("Failed to create AVI video file. Err: $" +
                             Hex8(creator_.LastErrorCode()));
        return;
    }
    ReleaseFile();
    aborted_ = false;
    if (QFile::exists(filename) && !QFile::remove(filename))
        throw QuvarError("Could not delete " + filename +
                         " file might be in use. Try to close the folder if it's open in "
                         "Explorer");
    // The encoder first: the stream's format holds its global header, if it has one.
    encoder_ = std::make_unique<Encoder>();
    InitStreamFormat();
    TAVICreator::CompressedFormat format;
    std::memcpy(format.Fourcc, compressor_.toLatin1().toUpper().constData(), 4);
    format.Width = width_;
    format.Height = height_;
    const AVCodecContext& codec = *encoder_->codec;
    if (codec.extradata && codec.extradata_size > 0)
        format.ExtraData.assign(codec.extradata, codec.extradata + codec.extradata_size);
    const uint32_t qualityPercent = uint32_t(std::clamp(Quality, 0, 10000) / 100);
    if (!creator_.OpenCompressed(filename, uint32_t(std::max(0, FrameTime)), qualityPercent,
                                 format)) {
        encoder_.reset();
        throw QuvarError("Failed to create AVI video file. Err: $" +
                         Hex8(creator_.LastErrorCode()));
    }
    encoder_->StartWorker(creator_);
    frameCounter_ = 0;
    initialized_ = true;
}

void TAviWriter_2::AddFrame(const QImage& bitmap) {
    if (compressor_.isEmpty()) {
        creator_.AddFrame(bitmap); // a refused frame is reported by WriteAvi
        return;
    }
    if (aborted_)
        return;
    if (!initialized_)
        throw QuvarError("Video must be initialized.");
    if (bitmap.isNull())
        throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
    Encoder& e = *encoder_;
    // The file closed itself (a failed write, the format's limit): WriteAvi reports why.
    if (!e.fileOpen)
        return;
    const QImage* source = &bitmap;
    QImage converted;
    // The scalers read 32-bit frames as blue, green, red, alpha: other 32-bit layouts
    // (RGBA8888, the 30-bit ones) are converted like every other format.
    const QImage::Format format = bitmap.format();
    if (format != QImage::Format_BGR888 && format != QImage::Format_RGB32 &&
        format != QImage::Format_ARGB32 && format != QImage::Format_ARGB32_Premultiplied) {
        converted = bitmap.convertToFormat(QImage::Format_BGR888);
        source = &converted;
    }
    if (!Stretch && source->size() != QSize(width_, height_)) {
        // Centred on black; a larger frame is cropped around its centre.
        if (e.canvas.isNull() || e.canvas.format() != source->format())
            e.canvas = QImage(width_, height_, source->format());
        e.canvas.fill(Qt::black);
        const int left = (width_ - source->width()) / 2;
        const int top = (height_ - source->height()) / 2;
        const int fromX = std::max(0, -left), toX = std::max(0, left);
        const int fromY = std::max(0, -top), toY = std::max(0, top);
        const int columns = std::min(source->width() - fromX, width_ - toX);
        const int rows = std::min(source->height() - fromY, height_ - toY);
        const int bytesPerPixel = source->depth() / 8;
        for (int y = 0; y < rows; ++y)
            std::memcpy(e.canvas.scanLine(toY + y) + toX * bytesPerPixel,
                        source->constScanLine(fromY + y) + fromX * bytesPerPixel,
                        size_t(columns * bytesPerPixel));
        source = &e.canvas;
    }
    if (e.SideBySide() && source->size() == QSize(width_, height_)) {
        // Converted by the thread that encodes it; the picture is shared, not copied.
        e.WaitForFreeFrame();
        WriteFrame(*source);
        return;
    }
    AVFrame* frame = e.WritableFrame();
    if (!frame)
        throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
    if (source->size() == QSize(width_, height_)) {
        if (!e.ConvertInBands(*source, frame))
            throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
    } else {
        e.scaler.reset(Ffmpeg()->sws_getCachedContext(
            e.scaler.release(), source->width(), source->height(), SourceFormat(*source), width_,
            height_, e.codec->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!e.scaler)
            throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
        const uint8_t* planes[1] = {source->constBits()};
        const int strides[1] = {int(source->bytesPerLine())};
        Ffmpeg()->sws_scale(e.scaler.get(), planes, strides, 0, source->height(), frame->data,
                            frame->linesize);
    }
    WriteFrame(QImage());
}

void TAviWriter_2::WriteFrame(const QImage& source) {
    Encoder& e = *encoder_;
    const AVPictureType type =
        frameCounter_ % e.codec->gop_size == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (const int result = e.Submit(frameCounter_, type, source); result < 0)
        throw QuvarError("Failed to add Frame. Err: " + Hex8(result));
    frameCounter_ += 1;
    if (OnProgress && frameCounter_ % 20 == 0)
        OnProgress(this, frameCounter_, aborted_);
}

void TAviWriter_2::InitStreamFormat() {
    Encoder& e = *encoder_;
    const AllowedEncoder* allowed = FindAllowed(compressor_);
    if (allowed)
        e.codec = EncoderContext(*allowed, width_, height_, FrameTime, Quality);
    // Side by side, each thread's encoder works alone, and this one, opened alone too, only
    // serves for the stream's format and the end of the file.
    const bool sideBySide =
        allowed && allowed->framesSideBySide && e.codec &&
        !(e.codec->codec->capabilities & AV_CODEC_CAP_DELAY) &&
        (e.codec->pix_fmt == AV_PIX_FMT_YUV420P || e.codec->pix_fmt == AV_PIX_FMT_YUVJ420P);
    if (e.codec && sideBySide)
        e.codec->thread_count = 1;
    if (!e.codec || Ffmpeg()->avcodec_open2(e.codec.get(), e.codec->codec, nullptr) < 0)
        throw QuvarError("Failed to create compressed stream");
    size_t threads = size_t(std::max(1, e.codec->thread_count));
    if (sideBySide) {
        threads = size_t(ThreadPoolSize());
        for (size_t i = 0; i < threads; ++i) {
            CodecContextPtr own = EncoderContext(*allowed, width_, height_, FrameTime, Quality);
            if (!own)
                throw QuvarError("Failed to create compressed stream");
            own->thread_count = 1;
            if (Ffmpeg()->avcodec_open2(own.get(), own->codec, nullptr) < 0)
                throw QuvarError("Failed to create compressed stream");
            e.sideCodecs.push_back(std::move(own));
        }
    }
    if (!framePool_)
        framePool_ = std::make_unique<FramePool>();
    if (!framePool_->Prepare(e.codec->pix_fmt, e.codec->width, e.codec->height))
        throw QuvarError("Failed to create compressed stream");
    e.pool = framePool_.get();
    // Room for a frame being filled, frames waiting and being sent, and those the encoder
    // holds (a frame-threaded encoder takes up to two per thread); buffers are only made
    // when no free one is left.
    e.frames.resize(2 * threads + 4);
    e.queued.assign(e.frames.size(), 0);
    for (auto& frame : e.frames) {
        frame.reset(Ffmpeg()->av_frame_alloc());
        if (!frame)
            throw QuvarError("Failed to create compressed stream");
    }
    if (sideBySide) {
        e.sideSlots.resize(e.frames.size());
        for (auto& slot : e.sideSlots) {
            slot.packet.reset(Ffmpeg()->av_packet_alloc());
            if (!slot.packet)
                throw QuvarError("Failed to create compressed stream");
        }
    }
    e.packet.reset(Ffmpeg()->av_packet_alloc());
    if (!e.packet)
        throw QuvarError("Failed to create compressed stream");
}

bool TAviWriter_2::FileOpen() const {
    return encoder_ ? encoder_->fileOpen.load() : creator_.IsOpen;
}

void TAviWriter_2::FinalizeVideo() {
    initialized_ = false;
    finalized_ = true;
}

// Drains the encoder into the file and closes it with its index: the first error.
QString TAviWriter_2::FinishFile() {
    QString failure;
    if (encoder_ && encoder_->codec) {
        encoder_->StopWorker();
        int result = encoder_->failure;
        if (result == 0)
            result = encoder_->Encode(nullptr, creator_);
        if (result < 0)
            failure = "Failed to add Frame. Err: " + Hex8(result);
    }
    encoder_.reset(); // the buffers go back to the pool
    if (creator_.IsOpen)
        creator_.Close(false);
    if (!creator_.LastError().isEmpty())
        failure = creator_.LastError();
    return failure;
}

void TAviWriter_2::ReleaseFile() {
    if (encoder_ || creator_.IsOpen)
        FinishFile();
}

void TAviWriter_2::WriteAvi() {
    if (compressor_.isEmpty()) {
        uncompressedOpen_ = false;
        const bool closed = creator_.Close(false);
        if (!creator_.LastError().isEmpty()) {
            QString message = creator_.LastError();
            if (creator_.RefusedFrames() > 0)
                message += QString("\n%1 frames were not written").arg(creator_.RefusedFrames());
            throw QuvarError(message);
        }
        (void)closed;
        return;
    }
    // What was written is kept: the file is finished as far as it goes.
    const bool wasFinalized = finalized_;
    const QString failure = encoder_ ? FinishFile() : QString();
    finalized_ = false;
    if (!wasFinalized)
        throw QuvarError("Video must be finalized");
    if (!failure.isEmpty() && !aborted_)
        throw QuvarError(failure);
}
