#include "AviCreator.h"

#include "platform/NumberFormat.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr uint32_t HeaderBlockSize = 88;
constexpr uint32_t StreamBlockSize = 92;
constexpr uint32_t JunkChunkSize = 10;
constexpr uint32_t JunkEvery = 20000;
constexpr uint32_t IndexEntrySize = 16;
constexpr uint8_t Zeros[16] = {};

void Put32(std::vector<uint8_t>& block, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        block[offset + size_t(i)] = uint8_t(value >> (8 * i));
}
void Put16(std::vector<uint8_t>& block, size_t offset, uint16_t value) {
    block[offset] = uint8_t(value);
    block[offset + 1] = uint8_t(value >> 8);
}
void PutTag(std::vector<uint8_t>& block, size_t offset, const char (&tag)[5]) {
    std::memcpy(block.data() + offset, tag, 4);
}

// The file format a bitmap's QImage format is written as: the formats whose memory already
// is a bottom-up-able DIB row go as they are, every other one as 24-bit.
QImage::Format FileFormatOf(QImage::Format format) {
    switch (format) {
    case QImage::Format_BGR888:
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
        return format;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return QImage::Format_RGB32; // B, G, R, X in memory: the 32-bit DIB
    default:
        return QImage::Format_BGR888;
    }
}

int BitsPerPixel(QImage::Format fileFormat) {
    switch (fileFormat) {
    case QImage::Format_Mono:
        return 1;
    case QImage::Format_Indexed8:
        return 8;
    case QImage::Format_RGB32:
        return 32;
    default:
        return 24;
    }
}

uint32_t DibStride(int width, int bitsPerPixel) {
    return uint32_t((int64_t(width) * bitsPerPixel + 31) / 32 * 4);
}

// BITMAPINFOHEADER (compression BI_RGB) with its colour table for 8 bits or less.
std::vector<uint8_t> BitmapInfo(const QImage& bitmap, int bitsPerPixel, uint32_t imageSize) {
    const uint32_t colours = bitsPerPixel <= 8 ? 1u << bitsPerPixel : 0;
    std::vector<uint8_t> info(40 + 4 * colours, 0);
    Put32(info, 0, 40);
    Put32(info, 4, uint32_t(bitmap.width()));
    Put32(info, 8, uint32_t(bitmap.height())); // positive: rows bottom-up
    Put16(info, 12, 1);
    Put16(info, 14, uint16_t(bitsPerPixel));
    Put32(info, 16, 0);
    Put32(info, 20, imageSize);
    const QList<QRgb> table = bitmap.colorTable();
    for (uint32_t i = 0; i < colours && i < uint32_t(table.size()); ++i) {
        const QRgb c = table[qsizetype(i)];
        info[40 + 4 * i] = uint8_t(qBlue(c));
        info[41 + 4 * i] = uint8_t(qGreen(c));
        info[42 + 4 * i] = uint8_t(qRed(c));
    }
    return info;
}

// Writes every piece, in order, at the file's position; 0 or the errno of the failure.
int WriteGathered(int fd, std::vector<iovec>& pieces) {
    size_t next = 0;
    while (next < pieces.size()) {
        const int count = int(std::min<size_t>(pieces.size() - next, IOV_MAX));
        const ssize_t written = ::writev(fd, &pieces[next], count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;
        size_t left = size_t(written);
        while (left > 0 && left >= pieces[next].iov_len)
            left -= pieces[next++].iov_len;
        if (left > 0) {
            pieces[next].iov_base = static_cast<uint8_t*>(pieces[next].iov_base) + left;
            pieces[next].iov_len -= left;
        }
        while (next < pieces.size() && pieces[next].iov_len == 0)
            ++next;
    }
    return 0;
}

int WriteAll(int fd, const void* data, size_t size) {
    std::vector<iovec> one{{const_cast<void*>(data), size}};
    return WriteGathered(fd, one);
}

int WriteAt(int fd, const void* data, size_t size, uint64_t offset) {
    auto bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, bytes, size, off_t(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;
        bytes += written;
        size -= size_t(written);
        offset += uint64_t(written);
    }
    return 0;
}

int WriteValueAt(int fd, uint32_t value, uint64_t offset) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
    return WriteAt(fd, bytes, 4, offset);
}

// A header value that does not fit its 32 bits reads as the largest, not as a wrapped one.
uint32_t Clamp32(double value) {
    return value >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(value);
}

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

TAVICreator::TAVICreator() : TAVICreator(Limits()) {}
TAVICreator::TAVICreator(const Limits& limits) : limits_(limits) {}

TAVICreator::~TAVICreator() {
    // An abandoned writer keeps its frames: the file is finished, not deleted.
    if (IsOpen)
        Close(false);
    else
        FreeIndex();
}

bool TAVICreator::AllocIndex(uint32_t entries) {
    try {
        index_.clear();
        index_.reserve(entries);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void TAVICreator::FreeIndex() {
    std::vector<IndexEntry>().swap(index_);
}

bool TAVICreator::AddIndexEntry(uint32_t offset, uint32_t size, bool keyFrame) {
    if (index_.size() >= limits_.IndexEntries)
        return false;
    index_.push_back({offset, size, keyFrame});
    return true;
}

void TAVICreator::Fail(const QString& message, int32_t code) {
    if (lastError_.isEmpty()) {
        lastError_ = message;
        lastErrorCode_ = code;
    }
}

void TAVICreator::Refuse(const QString& message) {
    ++refusedFrames_;
    Fail(message, -EINVAL);
}

void TAVICreator::StartNewFile(const QString& fileName, uint32_t frameTimeMs) {
    if (IsOpen)
        Close(false);
    fileName_ = fileName;
    ChunkBytes = FrameCount = 0;
    IsOpen = false;
    FrameTimeMs = frameTimeMs;
    MoviStart = LastJunkEnd = HeaderEnd = 0;
    lastError_.clear();
    lastErrorCode_ = 0;
    refusedFrames_ = 0;
    patched_ = false;
}

bool TAVICreator::Open(const QString& fileName, uint32_t frameTimeMs, uint32_t qualityPercent,
                       const QImage& firstBitmap) {
    StartNewFile(fileName, frameTimeMs);

    if (firstBitmap.isNull() || firstBitmap.width() < 1 || firstBitmap.height() < 1 ||
        firstBitmap.width() % 2 != 0 || firstBitmap.height() % 2 != 0) {
        Fail(QString("Frames of %1 x %2 pixels cannot be recorded: both sides must be even")
                 .arg(firstBitmap.width())
                 .arg(firstBitmap.height()),
             -EINVAL);
        return false;
    }
    // The header's frame timing would stay zero, and no player opens such a file.
    if (frameTimeMs == 0) {
        Fail("A frame time of 0 ms cannot be recorded", -EINVAL);
        return false;
    }
    width_ = firstBitmap.width();
    height_ = firstBitmap.height();
    format_ = FileFormatOf(firstBitmap.format());
    bitsPerPixel_ = BitsPerPixel(format_);
    const uint64_t imageSize = uint64_t(DibStride(width_, bitsPerPixel_)) * uint64_t(height_);
    if (imageSize > limits_.MaxFileBytes) {
        Fail(QString("Frames of %1 x %2 pixels do not fit into an AVI file")
                 .arg(width_)
                 .arg(height_),
             -EFBIG);
        return false;
    }
    imageSize_ = uint32_t(imageSize);
    std::memcpy(chunkTag_, "00db", 4);
    return Create(fileName, frameTimeMs, qualityPercent,
                  BitmapInfo(firstBitmap.convertToFormat(format_), bitsPerPixel_, imageSize_),
                  nullptr);
}

bool TAVICreator::OpenCompressed(const QString& fileName, uint32_t frameTimeMs,
                                 uint32_t qualityPercent, const CompressedFormat& format) {
    StartNewFile(fileName, frameTimeMs);
    if (format.Width < 1 || format.Height < 1) {
        Fail(QString("Frames of %1 x %2 pixels cannot be recorded")
                 .arg(format.Width)
                 .arg(format.Height),
             -EINVAL);
        return false;
    }
    if (frameTimeMs == 0) {
        Fail("A frame time of 0 ms cannot be recorded", -EINVAL);
        return false;
    }
    width_ = format.Width;
    height_ = format.Height;
    format_ = QImage::Format_Invalid;
    bitsPerPixel_ = 24;
    imageSize_ = 0;
    std::memcpy(chunkTag_, "00dc", 4);
    // BITMAPINFOHEADER of the compressed frames: the codec's FOURCC as compression, the
    // size of the decoded picture, and the codec's global header after it.
    std::vector<uint8_t> info(40 + format.ExtraData.size(), 0);
    Put32(info, 0, uint32_t(info.size()));
    Put32(info, 4, uint32_t(width_));
    Put32(info, 8, uint32_t(height_));
    Put16(info, 12, 1);
    Put16(info, 14, 24);
    std::memcpy(info.data() + 16, format.Fourcc, 4);
    Put32(info, 20, Clamp32(double(width_) * height_ * 3));
    if (!format.ExtraData.empty())
        std::memcpy(info.data() + 40, format.ExtraData.data(), format.ExtraData.size());
    return Create(fileName, frameTimeMs, qualityPercent, info, format.Fourcc);
}

// Writes the headers and the start of the "movi" list of a new file.
bool TAVICreator::Create(const QString& fileName, uint32_t frameTimeMs, uint32_t qualityPercent,
                         const std::vector<uint8_t>& info, const char* handler) {
    if (!AllocIndex(limits_.IndexEntries)) {
        Fail("Not enough memory for the index of the AVI file", -ENOMEM);
        return false;
    }

    fd_ = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                 0666);
    if (fd_ < 0) {
        const int error = errno;
        Fail(QString("Could not create %1: %2").arg(fileName, SystemText(error)), -error);
        FreeIndex();
        return false;
    }

    const auto I = uint32_t(info.size());

    headerBlock_.assign(HeaderBlockSize, 0);
    PutTag(headerBlock_, 0, "RIFF");
    PutTag(headerBlock_, 8, "AVI ");
    PutTag(headerBlock_, 12, "LIST");
    PutTag(headerBlock_, 20, "hdrl");
    PutTag(headerBlock_, 24, "avih");
    Put32(headerBlock_, 28, 56);
    Put32(headerBlock_, 32, Clamp32(double(frameTimeMs) * 1000));
    Put32(headerBlock_, 44, 0x00010010); // has index, was capture file
    Put32(headerBlock_, 56, 1);
    Put32(headerBlock_, 64, uint32_t(width_));
    Put32(headerBlock_, 68, uint32_t(height_));

    streamBlock_.assign(StreamBlockSize, 0);
    PutTag(streamBlock_, 0, "LIST");
    Put32(streamBlock_, 4, 84 + I);
    PutTag(streamBlock_, 8, "strl");
    PutTag(streamBlock_, 12, "strh");
    Put32(streamBlock_, 16, 64);
    PutTag(streamBlock_, 20, "vids");
    if (handler)
        std::memcpy(streamBlock_.data() + 24, handler, 4);
    Put32(streamBlock_, 40, frameTimeMs);
    Put32(streamBlock_, 44, 1000);
    Put32(streamBlock_, 60, qualityPercent * 100);
    if (handler) { // the frame rectangle
        Put16(streamBlock_, 72, uint16_t(std::min(width_, 0xFFFF)));
        Put16(streamBlock_, 74, uint16_t(std::min(height_, 0xFFFF)));
    }
    PutTag(streamBlock_, 84, "strf");
    Put32(streamBlock_, 88, I);

    HeaderEnd = HeaderBlockSize + StreamBlockSize + I;
    Put32(headerBlock_, 16, HeaderEnd - 20);
    MoviStart = HeaderEnd + 8;
    std::vector<uint8_t> moviHeader(12, 0);
    PutTag(moviHeader, 0, "LIST");
    Put32(moviHeader, 4, 4);
    PutTag(moviHeader, 8, "movi");

    // Consistent from the start: a file cut off before its first frame opens as empty.
    std::vector<uint8_t> fileHeader = headerBlock_;
    Put32(fileHeader, 4, MoviStart + 4 - 8);
    std::vector<iovec> pieces{{fileHeader.data(), fileHeader.size()},
                              {streamBlock_.data(), streamBlock_.size()},
                              {const_cast<uint8_t*>(info.data()), info.size()},
                              {moviHeader.data(), moviHeader.size()}};
    if (const int error = WriteGathered(fd_, pieces)) {
        Fail(QString("Writing %1 failed: %2").arg(fileName, SystemText(error)), -error);
        Abort();
        return false;
    }
    position_ = MoviStart + 4;
    IsOpen = true;
    return true;
}

bool TAVICreator::AddFrame(const QImage& bitmap) {
    if (!IsOpen || bitmap.isNull())
        return false;
    if (bitmap.width() != width_ || bitmap.height() != height_ ||
        FileFormatOf(bitmap.format()) != format_) {
        Refuse(QString("A frame of %1 x %2 pixels differs from the recording's %3 x %4 and "
                       "was not written")
                   .arg(bitmap.width())
                   .arg(bitmap.height())
                   .arg(width_)
                   .arg(height_));
        return false;
    }

    const bool asItIs =
        bitmap.format() == format_ || (format_ == QImage::Format_RGB32 && bitmap.depth() == 32);
    const QImage frame = asItIs ? bitmap : bitmap.convertToFormat(format_);
    const size_t rowBytes = (size_t(width_) * size_t(bitsPerPixel_) + 7) / 8;
    const size_t rowPad = DibStride(width_, bitsPerPixel_) - rowBytes;
    std::vector<iovec> pieces;
    pieces.reserve(size_t(height_) * (rowPad ? 2 : 1) + 3);
    for (int y = height_ - 1; y >= 0; --y) {
        pieces.push_back({const_cast<uchar*>(frame.constScanLine(y)), rowBytes});
        if (rowPad)
            pieces.push_back({const_cast<uint8_t*>(Zeros), rowPad});
    }
    return WriteChunk(pieces, imageSize_, true);
}

bool TAVICreator::AddPacket(const uint8_t* data, size_t size, bool keyFrame) {
    if (!IsOpen || format_ != QImage::Format_Invalid)
        return false;
    if (size > limits_.MaxFileBytes) {
        Refuse(QString("The AVI file has reached the 4 GB its format allows; it was closed "
                       "with %1 frames")
                   .arg(FrameCount));
        Close(false);
        return false;
    }
    std::vector<iovec> pieces;
    if (size > 0)
        pieces.push_back({const_cast<uint8_t*>(data), size});
    return WriteChunk(pieces, uint32_t(size), keyFrame);
}

// Appends one chunk of the given payload (without its header and pad byte), indexes it,
// and keeps the file consistent: a failed write cuts the file back and closes it.
bool TAVICreator::WriteChunk(std::vector<iovec>& payload, uint32_t size, bool keyFrame) {
    const uint32_t pad = size & 1;
    const uint64_t chunkStart = position_;
    const uint64_t chunkEnd = chunkStart + 8 + uint64_t(size) + pad;
    const bool junk = chunkEnd - LastJunkEnd > JunkEvery;
    const uint64_t end = chunkEnd + (junk ? JunkChunkSize : 0);
    const uint64_t indexBytes = 8 + uint64_t(IndexEntrySize) * (index_.size() + 1);
    if (end + indexBytes > limits_.MaxFileBytes) {
        Refuse(QString("The AVI file has reached the 4 GB its format allows; it was closed "
                       "with %1 frames")
                   .arg(FrameCount));
        Close(false);
        return false;
    }
    if (!AddIndexEntry(uint32_t(chunkStart), size, keyFrame)) {
        Refuse(QString("The index of the AVI file is full; it was closed with %1 frames")
                   .arg(FrameCount));
        Close(false);
        return false;
    }

    uint8_t chunkHeader[8];
    std::memcpy(chunkHeader, chunkTag_, 4);
    for (int i = 0; i < 4; ++i)
        chunkHeader[4 + i] = uint8_t(size >> (8 * i));
    static const uint8_t junkChunk[JunkChunkSize] = {'J', 'U', 'N', 'K', 1, 0, 0, 0, 0, 0};
    payload.insert(payload.begin(), iovec{chunkHeader, 8});
    if (pad)
        payload.push_back({const_cast<uint8_t*>(Zeros), pad});
    if (junk)
        payload.push_back({const_cast<uint8_t*>(junkChunk), JunkChunkSize});

    if (const int error = WriteGathered(fd_, payload)) {
        // Cut back to the last whole frame and finish the file with the frames so far.
        index_.pop_back();
        Fail(QString("Writing %1 failed: %2; it was closed with %3 frames")
                 .arg(fileName_, SystemText(error))
                 .arg(FrameCount),
             -error);
        if (::ftruncate(fd_, off_t(chunkStart)) == 0 &&
            ::lseek(fd_, off_t(chunkStart), SEEK_SET) >= 0)
            Close(false);
        else
            Abort();
        return false;
    }
    ChunkBytes += uint32_t(8 + uint64_t(size) + pad);
    FrameCount += 1;
    position_ = end;
    if (junk)
        LastJunkEnd = uint32_t(end);
    if (chunkEnd >= limits_.BeepFromBytes && Beep)
        Beep();

    const auto now = std::chrono::steady_clock::now();
    if (!patched_ || now - lastPatch_ >= std::chrono::milliseconds(limits_.PatchIntervalMs)) {
        if (!PatchSizes()) {
            Close(false);
            return false;
        }
        lastPatch_ = now;
        patched_ = true;
    }
    return true;
}

// Makes the file consistent up to its current end: a crash from here on keeps every frame.
bool TAVICreator::PatchSizes() {
    int error = WriteValueAt(fd_, uint32_t(position_ - 8), 4);
    if (!error)
        error = WriteValueAt(fd_, HeaderEnd - 20, 16);
    if (!error)
        error = WriteValueAt(fd_, FrameCount, 48);
    if (!error)
        error = WriteValueAt(fd_, FrameCount, HeaderBlockSize + 52);
    if (!error)
        error = WriteValueAt(fd_, uint32_t(position_ - MoviStart), MoviStart - 4);
    if (error)
        Fail(QString("Writing %1 failed: %2").arg(fileName_, SystemText(error)), -error);
    return error == 0;
}

void TAVICreator::Abort() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    QFile::remove(fileName_);
    FreeIndex();
    IsOpen = false;
}

bool TAVICreator::Finish() {
    const uint64_t end = position_;
    bool complete = true;
    if (!index_.empty()) {
        std::vector<uint8_t> idx1(8 + IndexEntrySize * index_.size());
        PutTag(idx1, 0, "idx1");
        Put32(idx1, 4, uint32_t(IndexEntrySize * index_.size()));
        size_t at = 8;
        for (const IndexEntry& entry : index_) {
            std::memcpy(idx1.data() + at, chunkTag_, 4);
            Put32(idx1, at + 4, entry.KeyFrame ? 0x10 : 0); // AVIIF_KEYFRAME
            Put32(idx1, at + 8, entry.Offset);
            Put32(idx1, at + 12, entry.Size);
            at += IndexEntrySize;
        }
        if (const int error = WriteAll(fd_, idx1.data(), idx1.size())) {
            // Without its index the file still plays: players scan the "movi" list.
            Fail(QString("Writing the index of %1 failed: %2").arg(fileName_, SystemText(error)),
                 -error);
            complete = false;
            if (::ftruncate(fd_, off_t(end)) != 0)
                return false;
        } else {
            position_ += idx1.size();
        }
    }
    if (FrameCount > 0) {
        Put32(headerBlock_, 4, uint32_t(position_ - 8));
        Put32(headerBlock_, 36,
              Clamp32(RoundHalfEven(double(ChunkBytes) / FrameCount * 1000.0 / FrameTimeMs)));
        Put32(headerBlock_, 48, FrameCount);
        Put32(streamBlock_, 52, FrameCount);
    } else {
        Put32(headerBlock_, 4, uint32_t(position_ - 8));
    }
    std::vector<uint8_t> movi(8, 0);
    PutTag(movi, 0, "LIST");
    Put32(movi, 4, uint32_t(end - MoviStart));
    int error = WriteAt(fd_, headerBlock_.data(), headerBlock_.size(), 0);
    if (!error)
        error = WriteAt(fd_, streamBlock_.data(), streamBlock_.size(), HeaderBlockSize);
    if (!error)
        error = WriteAt(fd_, movi.data(), movi.size(), MoviStart - 8);
    if (error) {
        Fail(QString("Writing %1 failed: %2").arg(fileName_, SystemText(error)), -error);
        return false;
    }
    return complete;
}

bool TAVICreator::Close(bool abort) {
    if (!IsOpen) {
        FreeIndex();
        return false;
    }
    if (abort) {
        Abort();
        return false;
    }
    bool ok = Finish();
    if (::close(fd_) != 0) {
        Fail(QString("Writing %1 failed: %2").arg(fileName_, SystemText(errno)), -errno);
        ok = false;
    }
    fd_ = -1;
    FreeIndex();
    IsOpen = false;
    return ok;
}
