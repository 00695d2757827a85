#pragma once
// Writer of AVI files: lays out the RIFF structure itself, the index in memory until Close
// writes it as "idx1". Uncompressed, each frame is one "00db" chunk of bottom-up DIB rows;
// compressed, each frame is one "00dc" chunk holding an encoder's packet, and the stream
// carries the codec's FOURCC and its BITMAPINFOHEADER.
//
// Rows go to the file straight from the bitmap (a bitmap of another QImage format is
// converted first), so a frame costs one gathered write and no copy of its pixels.
//
// Every failure is a false result; LastError() says what went wrong. Beyond the classic
// behaviour the writer keeps recordings, compressed or not, safe:
// - a frame that would take the file past the 32-bit sizes of the format (index
//   included), or past the capacity of the index, is refused and the file is closed
//   complete at once;
// - a frame of another size or format than the first is refused and the file stays open;
// - a failed write (full disk, I/O error) cuts the file back to its last whole frame and
//   closes it complete;
// - the RIFF and "movi" sizes and the frame counts are patched in place after the first
//   frame and then at least once per PatchIntervalMs, so a file cut off by a crash still
//   opens with its frames up to the last patch.

#include <QImage>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

struct iovec;

class TAVICreator {
public:
    // The format's limits; tests lower them to reach the edges with small files.
    struct Limits {
        uint32_t IndexEntries = 1'000'000;
        uint64_t MaxFileBytes = 0xFFFFFFFFu;
        uint64_t BeepFromBytes = 2'000'000'000u;
        int PatchIntervalMs = 500; // a crash loses well under a second of frames
    };

    TAVICreator();
    explicit TAVICreator(const Limits& limits);
    ~TAVICreator();
    TAVICreator(const TAVICreator&) = delete;
    TAVICreator& operator=(const TAVICreator&) = delete;

    // Creates the file (replacing one of that name) for frames of the first bitmap's size
    // and format. Refused, creating nothing: no bitmap, an odd or empty side, frame time 0.
    bool Open(const QString& fileName, uint32_t frameTimeMs, uint32_t qualityPercent,
              const QImage& firstBitmap);
    // Appends one frame chunk (and a JUNK chunk after each 20,000 bytes).
    bool AddFrame(const QImage& bitmap);

    // A compressed stream: its FOURCC, frame size and the codec's global header (appended
    // to the BITMAPINFOHEADER), if it has one.
    struct CompressedFormat {
        char Fourcc[4] = {};
        int Width = 0;
        int Height = 0;
        std::vector<uint8_t> ExtraData;
    };
    // Creates the file (replacing one of that name) for the packets of an encoder. Refused,
    // creating nothing: an empty side, frame time 0.
    bool OpenCompressed(const QString& fileName, uint32_t frameTimeMs, uint32_t qualityPercent,
                        const CompressedFormat& format);
    // Appends one encoder packet as one frame, flagged as key frame in the index or not.
    bool AddPacket(const uint8_t* data, size_t size, bool keyFrame);
    // Finishes the open file (abort = false) or deletes it (abort = true).
    bool Close(bool abort);

    bool IsOpen = false;
    uint32_t ChunkBytes = 0;
    uint32_t FrameCount = 0;
    uint32_t FrameTimeMs = 0;
    uint32_t MoviStart = 0;
    uint32_t LastJunkEnd = 0;
    uint32_t HeaderEnd = 0;

    // The first failure since Open, for the user; empty when all went well.
    const QString& LastError() const { return lastError_; }
    // The error of a failed Open or write as an FFmpeg-style code (a negative errno).
    int32_t LastErrorCode() const { return lastErrorCode_; }
    // Frames refused since Open.
    uint32_t RefusedFrames() const { return refusedFrames_; }

    // Called for every frame that ends beyond Limits::BeepFromBytes (the classic warning
    // that the file nears the end of its format). The window layer sets it to a beep.
    static inline std::function<void()> Beep;

private:
    struct IndexEntry {
        uint32_t Offset;
        uint32_t Size;
        bool KeyFrame;
    };
    bool Create(const QString& fileName, uint32_t frameTimeMs, uint32_t qualityPercent,
                const std::vector<uint8_t>& info, const char* handler);
    bool WriteChunk(std::vector<iovec>& payload, uint32_t size, bool keyFrame);
    bool AllocIndex(uint32_t entries);
    void FreeIndex();
    bool AddIndexEntry(uint32_t offset, uint32_t size, bool keyFrame);
    void Abort();
    bool Finish();
    bool PatchSizes();
    void Fail(const QString& message, int32_t code);
    // Closes an open file and clears the state of the last one, for a file about to start.
    void StartNewFile(const QString& fileName, uint32_t frameTimeMs);
    void Refuse(const QString& message);

    Limits limits_;
    std::vector<IndexEntry> index_;
    QString fileName_;
    int fd_ = -1;
    uint64_t position_ = 0;
    std::vector<uint8_t> headerBlock_;
    std::vector<uint8_t> streamBlock_;
    int width_ = 0;
    int height_ = 0;
    QImage::Format format_ = QImage::Format_Invalid;
    int bitsPerPixel_ = 0;
    uint32_t imageSize_ = 0;
    char chunkTag_[4] = {'0', '0', 'd', 'b'};
    std::chrono::steady_clock::time_point lastPatch_;
    bool patched_ = false;
    QString lastError_;
    int32_t lastErrorCode_ = 0;
    uint32_t refusedFrames_ = 0;
};
