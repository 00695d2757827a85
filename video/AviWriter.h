#pragma once
// The AVI writer component: turns a sequence of bitmaps into one AVI file. Without a
// compressor the frames go unscaled to the uncompressed writer (TAVICreator); with one they
// are drawn into a frame of Width x Height, encoded by an FFmpeg encoder of a fixed list, and
// the encoder's packets are written by the same AVI writer, so that a compressed file has
// the uncompressed one's guarantees: readable after a crash up to its last patch, closed
// complete with the frames so far when a write fails (WriteAvi then reports it). The
// encoder and the file work on a thread of their own, so that AddFrame's conversion of the
// next frame runs while the last one is encoded; frames that stand alone (Motion JPEG) are
// converted and encoded side by side on threads of the writer, and written in their order.
//
// Calling order per file: set the properties, SetCompressor, InitVideo(first frame),
// AddFrame for every frame (the first included), FinalizeVideo, WriteAvi. Failures are
// QuvarError exceptions with the component's messages.

#include "imaging/PixelFormat.h"
#include "video/AviCreator.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class TAviWriter_2;
struct AVFrame;

// Frees an encoder's frame (the writer keeps its frames from one recording to the next).
struct TAviFrameFree {
    void operator()(AVFrame* frame) const;
};

// Called after every 20th frame of the compressed path; setting abort makes the writer
// ignore further frames.
using TProgressEvent = std::function<void(TAviWriter_2* sender, int frameCount, bool& abort)>;

class TAviWriter_2 {
public:
    // The owner only mirrors the component's owner; the writer does not need it.
    explicit TAviWriter_2(QObject* owner = nullptr);
    // Tests lower the uncompressed writer's limits to reach them with small files.
    TAviWriter_2(QObject* owner, const TAVICreator::Limits& limits);
    ~TAviWriter_2();
    TAviWriter_2(const TAviWriter_2&) = delete;
    TAviWriter_2& operator=(const TAviWriter_2&) = delete;

    int Height() const { return height_; }
    int Width() const { return width_; }
    // Rounded down to a multiple of 16.
    void SetHeight(int height);
    void SetWidth(int width);
    int FrameTime = 1000; // milliseconds per frame
    bool Stretch = true;  // compressed path: stretch frames to Width x Height, else centre
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    // pf1bit, pf4bit, pf8bit, pf24bit and pf32bit; any other raises.
    void SetPixelFormat(TPixelFormat format);
    QString filename;
    const QString& WavFileName() const { return wavFileName_; }
    void SetWavFileName(const QString& name);
    TProgressEvent OnProgress;

    // "No Compression", then "FOURCC name" for every encoder of the list that opens at
    // Width x Height.
    void GetCompressorList(QStringList& list) const;
    // Selects the compressor by its FOURCC (empty: none).
    void SetCompressor(const QString& fourcc);
    const QString& Compressor() const { return compressor_; }
    // The encoders' settings are fixed by the writer (quality and key-frame distance), and
    // the classic dialog's settings were never read back, so there is nothing to show.
    void ShowCompressorDialog(QObject* parent);

    void InitVideo(const QImage& firstBitmap);
    void AddFrame(const QImage& bitmap);
    void FinalizeVideo();
    void WriteAvi();

    int FrameCounter() const { return frameCounter_; }
    bool Aborted() const { return aborted_; }
    bool Initialized() const { return initialized_; }
    bool Finalized() const { return finalized_; }
    int Quality = 5000; // 0..10000

    // False once the file has closed itself (its format's limit, a failed write) or was
    // finished; safe to ask while the compressed path's encoder works.
    bool FileOpen() const;

    // The uncompressed writer, for its limits and its report of refused frames.
    TAVICreator& Creator() { return creator_; }

private:
    struct Encoder;
    // Hands the next frame to the encoder: source is the picture still to convert, if any.
    void WriteFrame(const QImage& source);
    void InitStreamFormat();
    QString FinishFile();
    void ReleaseFile();

    TAVICreator creator_;
    std::unique_ptr<Encoder> encoder_;
    // The encoder's frame buffers, kept from one recording to the next of the same format.
    struct FramePool;
    std::unique_ptr<FramePool> framePool_;
    int height_ = 0;
    int width_ = 0;
    TPixelFormat pixelFormat_ = TPixelFormat::pf24bit;
    QString wavFileName_;
    QString compressor_;
    int frameCounter_ = 0;
    bool aborted_ = false;
    bool initialized_ = false;
    bool finalized_ = false;
    bool uncompressedOpen_ = false;
};
