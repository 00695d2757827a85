#include "AviWriter.h"
#include "AviEncoderSettings.h"

#include "platform/Errors.h"
#include "platform/NumberFormat.h"
#include "platform/ThreadPool.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// The encoders offered: each exists in Debian's FFmpeg, and players read it from AVI.
struct AllowedEncoder {
    const char* fourcc;
    const char* encoder;
    AVPixelFormat pixelFormat;
};
constexpr AllowedEncoder AllowedEncoders[] = {
    {"MJPG", "mjpeg", AV_PIX_FMT_YUVJ420P},  {"FMP4", "mpeg4", AV_PIX_FMT_YUV420P},
    {"H264", "libx264", AV_PIX_FMT_YUV420P}, {"FFV1", "ffv1", AV_PIX_FMT_BGR0},
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

void QuietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct OutputFree {
    void operator()(AVFormatContext* f) const {
        if (f->pb)
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

int RoundedKeyFrameDistance(int frameTimeMs) {
    return std::max<int>(1, int(RoundHalfEven(1000.0 / std::max(1, frameTimeMs))));
}

// An encoder context set up as the writer uses it; opened only by the caller.
CodecContextPtr EncoderContext(const AllowedEncoder& allowed, int width, int height,
                               int frameTimeMs, int quality) {
    const AVCodec* codec = avcodec_find_encoder_by_name(allowed.encoder);
    if (!codec)
        return nullptr;
    CodecContextPtr context(avcodec_alloc_context3(codec));
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
    av_opt_set_int(context.get(), "sc_threshold", 1000000000, AV_OPT_SEARCH_CHILDREN);
    const double fromBest = (10000.0 - std::clamp(quality, 0, 10000)) / 10000.0;
    if (std::strcmp(allowed.encoder, "libx264") == 0) {
        av_opt_set_double(context->priv_data, "crf", 18 + 10 * fromBest, 0);
        av_opt_set(context->priv_data, "x264-params", "scenecut=0", 0);
        av_opt_set_int(context->priv_data, "forced-idr", 1, 0);
    } else if (std::strcmp(allowed.encoder, "mjpeg") == 0 ||
               std::strcmp(allowed.encoder, "mpeg4") == 0) {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = int(FF_QP2LAMBDA * (2 + 10 * fromBest));
    }
    return context;
}

} // namespace

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
    return context && avcodec_open2(context.get(), context->codec, nullptr) == 0;
}

AVPixelFormat SourceFormat(const QImage& bitmap) {
    return bitmap.depth() == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
}

} // namespace

// Every FFmpeg handle of one compressed file, freed in reverse order of creation.
struct TAviWriter_2::Encoder {
    std::unique_ptr<AVFormatContext, OutputFree> output;
    AVStream* stream = nullptr; // owned by output
    CodecContextPtr codec;
    std::unique_ptr<AVFrame, FrameFree> frame;
    std::unique_ptr<AVPacket, PacketFree> packet;
    std::unique_ptr<SwsContext, SwsFree> scaler; // for frames of another size
    std::vector<std::unique_ptr<SwsContext, SwsFree>> bandScalers;
    AVPixelFormat bandSourceFormat = AV_PIX_FMT_NONE;
    QImage canvas; // Width x Height on black, for frames centred without stretching
    bool headerWritten = false;

    // Converts a frame of the encoder's size into the encoder's frame, in bands of rows on
    // the thread pool: conversion otherwise costs as much as a fast encoder.
    bool ConvertInBands(const QImage& source) {
        const int width = codec->width, height = codec->height;
        const AVPixelFormat from = SourceFormat(source);
        const int bandHeight =
            std::max(16, (height + ThreadPoolSize() - 1) / ThreadPoolSize() + 15) / 16 * 16;
        const int bands = (height + bandHeight - 1) / bandHeight;
        if (from != bandSourceFormat || int(bandScalers.size()) != bands) {
            bandScalers.clear();
            for (int b = 0; b < bands; ++b) {
                const int rows = std::min(bandHeight, height - b * bandHeight);
                bandScalers.emplace_back(sws_getContext(width, rows, from, width, rows,
                                                        codec->pix_fmt, SWS_BILINEAR, nullptr,
                                                        nullptr, nullptr));
                if (!bandScalers.back())
                    return false;
            }
            bandSourceFormat = from;
        }
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(codec->pix_fmt);
        const int planes = av_pix_fmt_count_planes(codec->pix_fmt);
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
            sws_scale(bandScalers[size_t(b)].get(), in, inStride, 0, rows, out, frame->linesize);
        });
        return true;
    }

    // Sends one frame (or the end, with nullptr) and writes what the encoder gives back.
    int Encode(const AVFrame* input) {
        int result = avcodec_send_frame(codec.get(), input);
        if (result < 0)
            return result;
        while ((result = avcodec_receive_packet(codec.get(), packet.get())) >= 0) {
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_write_frame(output.get(), packet.get());
            av_packet_unref(packet.get());
            if (result < 0)
                return result;
        }
        return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? 0 : result;
    }

    // Drains the encoder, writes the index and closes the file; the first error.
    int Finish() {
        int result = 0;
        if (headerWritten) {
            if (codec)
                result = Encode(nullptr);
            const int trailer = av_write_trailer(output.get());
            if (result == 0)
                result = trailer;
            headerWritten = false;
        }
        if (output && output->pb) {
            avio_flush(output->pb);
            if (result == 0)
                result = output->pb->error;
            const int closed = avio_closep(&output->pb);
            if (result == 0)
                result = closed;
        }
        return result;
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
    QuietLibraries();
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
    auto encoder = std::make_unique<Encoder>();
    AVFormatContext* output = nullptr;
    const QByteArray path = QFile::encodeName(filename);
    int result = avformat_alloc_output_context2(&output, nullptr, "avi", path.constData());
    if (result >= 0) {
        encoder->output.reset(output);
        result = avio_open(&output->pb, path.constData(), AVIO_FLAG_WRITE);
    }
    if (result < 0)
        throw QuvarError("Failed to create AVI video file. Err: $" + Hex8(result));
    encoder->stream = avformat_new_stream(output, nullptr);
    if (!encoder->stream)
        throw QuvarError("Failed to create AVI video stream");
    encoder_ = std::move(encoder);
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
    if (frameCounter_ == 0)
        InitStreamFormat();
    Encoder& e = *encoder_;
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
    // A fresh buffer, not a copy of the one an encoder thread may still be reading.
    av_frame_unref(e.frame.get());
    e.frame->format = e.codec->pix_fmt;
    e.frame->width = width_;
    e.frame->height = height_;
    if (av_frame_get_buffer(e.frame.get(), 0) < 0)
        throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
    if (source->size() == QSize(width_, height_)) {
        if (!e.ConvertInBands(*source))
            throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
    } else {
        e.scaler.reset(sws_getCachedContext(
            e.scaler.release(), source->width(), source->height(), SourceFormat(*source), width_,
            height_, e.codec->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!e.scaler)
            throw QuvarError("Failed to retrieve bitmap header and pixels. Err: 0");
        const uint8_t* planes[1] = {source->constBits()};
        const int strides[1] = {int(source->bytesPerLine())};
        sws_scale(e.scaler.get(), planes, strides, 0, source->height(), e.frame->data,
                  e.frame->linesize);
    }
    WriteFrame(bitmap);
}

void TAviWriter_2::WriteFrame(const QImage& /*bitmap*/) {
    Encoder& e = *encoder_;
    e.frame->pts = frameCounter_;
    e.frame->pict_type =
        frameCounter_ % e.codec->gop_size == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (const int result = e.Encode(e.frame.get()); result < 0)
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
    if (e.codec && (e.output->oformat->flags & AVFMT_GLOBALHEADER))
        e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (!e.codec || avcodec_open2(e.codec.get(), e.codec->codec, nullptr) < 0)
        throw QuvarError("Failed to create compressed stream");
    e.frame.reset(av_frame_alloc());
    e.packet.reset(av_packet_alloc());
    if (!e.frame || !e.packet)
        throw QuvarError("Failed to create compressed stream");
    e.frame->format = e.codec->pix_fmt;
    e.frame->width = width_;
    e.frame->height = height_;
    if (av_frame_get_buffer(e.frame.get(), 0) < 0)
        throw QuvarError("Failed to create compressed stream");

    if (avcodec_parameters_from_context(e.stream->codecpar, e.codec.get()) < 0)
        throw QuvarError("Failed to set AVI stream format");
    const QByteArray tag = QByteArray(allowed->fourcc);
    e.stream->codecpar->codec_tag = MKTAG(tag[0], tag[1], tag[2], tag[3]);
    e.stream->time_base = e.codec->time_base;
    e.stream->avg_frame_rate = e.codec->framerate;
    if (avformat_write_header(e.output.get(), nullptr) < 0)
        throw QuvarError("Failed to set AVI stream format");
    e.headerWritten = true;
}

void TAviWriter_2::FinalizeVideo() {
    initialized_ = false;
    finalized_ = true;
}

void TAviWriter_2::ReleaseFile() {
    if (encoder_)
        encoder_->Finish();
    encoder_.reset();
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
    if (aborted_ || !finalized_) {
        // What was written is kept: the file is finished as far as it goes.
        ReleaseFile();
        if (!finalized_)
            throw QuvarError("Video must be finalized");
        return;
    }
    // A file without frames still gets its header, so that players open it.
    if (encoder_ && !encoder_->headerWritten)
        InitStreamFormat();
    const int result = encoder_ ? encoder_->Finish() : 0;
    encoder_.reset();
    finalized_ = false;
    if (result < 0)
        throw QuvarError("Failed to write AVI video file. Err: $" + Hex8(result));
}
