#include "TiffFiles.h"

#include "Bitmap.h"
#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "TiffLibrary.h"
#include "platform/Errors.h"
#include "platform/RegularFile.h"
#include "platform/SafeFile.h"
#include "platform/TextCodec.h"
#include "platform/ThreadPool.h"

#include <QFile>
#include <QtEndian>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the RGBA raster is read as R, G, B, A bytes");

QString TiffImageDescription;

namespace {

constexpr char TiffSoftware[] = "QUVAR Version 3.06";
constexpr char TiffMake[] = "Comment ?";
constexpr int StripBytes = 262144;

// libtiff, loaded when first needed; a plain error when it is not installed.
const TiffCalls& Tiff() {
    if (const TiffCalls* calls = Libtiff())
        return *calls;
    throw QuvarError(QStringLiteral("TIFF files cannot be read or written: %1 is not installed")
                         .arg(QLatin1String(LibtiffName())));
}

struct TiffCloser {
    void operator()(TIFF* tif) const { Tiff().TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Options for reading: no single allocation of the library beyond what a decoder may take,
// whatever sizes the file claims.
struct ReadOptions {
    TIFFOpenOptions* options = Tiff().TIFFOpenOptionsAlloc();
    ReadOptions() {
        if (options)
            Tiff().TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(MaxDecoderBytes));
    }
    ~ReadOptions() { Tiff().TIFFOpenOptionsFree(options); }
    ReadOptions(const ReadOptions&) = delete;
    ReadOptions& operator=(const ReadOptions&) = delete;
};

TiffHandle OpenForReading(const QString& fileName) {
    ReadOptions read;
    const int fd = OpenRegularFileForReading(fileName);
    if (fd < 0)
        throw QuvarError(UnableToOpenFileMessage(fileName));
    // Closing the handle closes the descriptor; a failed open leaves it to us.
    TiffHandle tif(
        Tiff().TIFFFdOpenExt(fd, QFile::encodeName(fileName).constData(), "r", read.options));
    if (!tif) {
        ::close(fd);
        throw QuvarError(UnableToOpenFileMessage(fileName));
    }
    return tif;
}

// A TIFF file in memory for libtiff's client procedures: read from the bytes of a loaded
// file (so that it is read from disk once), or written into bytes of its own.
struct MemoryTiff {
    QByteArrayView data;                   // what is read when nothing is written
    std::vector<uchar>* written = nullptr; // where writes go; null: read only
    toff_t pos = 0;

    static MemoryTiff& Self(thandle_t h) { return *static_cast<MemoryTiff*>(h); }
    QByteArrayView Bytes() const {
        return written ? QByteArrayView(reinterpret_cast<const char*>(written->data()),
                                        qsizetype(written->size()))
                       : data;
    }
    static tmsize_t Read(thandle_t h, void* buf, tmsize_t size) {
        MemoryTiff& m = Self(h);
        const QByteArrayView bytes = m.Bytes();
        const toff_t size_ = toff_t(bytes.size());
        if (size < 0 || m.pos >= size_)
            return 0;
        const tmsize_t n = tmsize_t(std::min<toff_t>(toff_t(size), size_ - m.pos));
        std::memcpy(buf, bytes.data() + m.pos, size_t(n));
        m.pos += toff_t(n);
        return n;
    }
    static tmsize_t Write(thandle_t h, void* buf, tmsize_t size) {
        MemoryTiff& m = Self(h);
        if (!m.written || size < 0)
            return -1;
        const size_t end = size_t(m.pos) + size_t(size);
        if (end > m.written->size())
            m.written->resize(end);
        std::memcpy(m.written->data() + m.pos, buf, size_t(size));
        m.pos = end;
        return size;
    }
    static toff_t Seek(thandle_t h, toff_t off, int whence) {
        MemoryTiff& m = Self(h);
        toff_t base = 0;
        if (whence == SEEK_CUR)
            base = m.pos;
        else if (whence == SEEK_END)
            base = toff_t(m.Bytes().size());
        // Offsets are unsigned; a "negative" one wraps and lands far beyond the data.
        m.pos = base + off;
        return m.pos;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return toff_t(Self(h).Bytes().size()); }
    // Only loaded bytes are mapped: written ones move as they grow.
    static int Map(thandle_t h, void** base, toff_t* size) {
        MemoryTiff& m = Self(h);
        if (m.written)
            return 0;
        *base = const_cast<char*>(m.data.data());
        *size = toff_t(m.data.size());
        return 1;
    }
    static void Unmap(thandle_t, void*, toff_t) {}
};

// Refuses what libtiff cannot turn into RGBA at all, so that no blank image is shown.
void CheckRgbaReadable(TIFF* tif, const QString& fileName) {
    char reason[1024] = {};
    if (!Tiff().TIFFRGBAImageOK(tif, reason))
        throw QuvarError(UnableToOpenFileMessage(fileName));
}

QSize ImageSize(TIFF* tif) {
    uint32_t width = 0, height = 0;
    Tiff().TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    Tiff().TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    return {int(std::min<uint32_t>(width, 1u << 30)), int(std::min<uint32_t>(height, 1u << 30))};
}

// Refuses a size beyond the bitmap limits, and a decoder buffer of more than a decoder may
// take, before anything is allocated for them.
void CheckSizes(const QSize& size, int64_t decoderBytes, const QString& fileName) {
    if (!BitmapSizeAllowed(size.width(), size.height()))
        NewBitmap(size.width(), size.height()); // throws the size message
    if (decoderBytes > MaxDecoderBytes)
        throw QuvarError(ImageTooLargeMessage(fileName, size.width(), size.height()));
}

// The library decodes a strip or tile whole into a buffer of its own.
int64_t DecodedStripBytes(TIFF* tif) {
    return int64_t(Tiff().TIFFIsTiled(tif) ? Tiff().TIFFTileSize64(tif)
                                           : Tiff().TIFFStripSize64(tif));
}

// The first image as RGBA bytes (libtiff's raster), top row first. A damaged image is
// refused: the library stops at the first error instead of leaving rows undecoded.
QImage ReadRaster(TIFF* tif, const QString& fileName) {
    CheckRgbaReadable(tif, fileName);
    const QSize size = ImageSize(tif);
    CheckSizes(size, std::max(int64_t(size.width()) * size.height() * 4, DecodedStripBytes(tif)),
               fileName);
    QImage raster = NewBitmap(size.width(), size.height(), QImage::Format_RGBA8888);
    // Success means every pixel was written; nothing of a failed read is shown.
    if (!Tiff().TIFFReadRGBAImageOriented(tif, uint32_t(raster.width()), uint32_t(raster.height()),
                                          reinterpret_cast<uint32_t*>(raster.bits()),
                                          ORIENTATION_TOPLEFT, 1))
        throw QuvarError(DamagedImageMessage(fileName));
    return raster;
}

void RgbaRowsToBgr(const uchar* in, int width, int rows, QImage& bitmap, int firstRow) {
    for (int y = 0; y < rows; ++y) {
        uchar* out = bitmap.scanLine(firstRow + y);
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

struct RgbaImage {
    TIFFRGBAImage img{};
    bool begun = false;
    ~RgbaImage() {
        if (begun)
            Tiff().TIFFRGBAImageEnd(&img);
    }
};

// The usual top-down file is decoded strip by strip (or tile row by tile row) into a small
// RGBA band and converted into the bitmap straight away: no full-size RGBA copy.
QImage ReadBgr(TIFF* tif, const QString& fileName) {
    CheckRgbaReadable(tif, fileName);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    Tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    uint32_t band = 0;
    if (Tiff().TIFFIsTiled(tif))
        Tiff().TIFFGetField(tif, TIFFTAG_TILELENGTH, &band);
    else
        Tiff().TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band);
    const QSize size = ImageSize(tif);
    CheckSizes(size, DecodedStripBytes(tif), fileName);
    const int width = size.width();
    const int height = size.height();
    band = std::clamp<uint32_t>(band, 1, uint32_t(height));
    constexpr uint32_t MaxBandPixels = 1u << 22;
    if (orientation != ORIENTATION_TOPLEFT || uint64_t(band) * uint32_t(width) > MaxBandPixels) {
        const QImage raster = ReadRaster(tif, fileName);
        QImage bitmap = NewBitmap(width, height);
        RgbaRowsToBgr(raster.constBits(), width, height, bitmap, 0);
        return bitmap;
    }
    QImage bitmap = NewBitmap(width, height);
    RgbaImage rgba;
    char reason[1024] = {};
    // Stops at the first damaged strip or tile, which is then reported.
    if (!Tiff().TIFFRGBAImageBegin(&rgba.img, tif, 1, reason))
        throw QuvarError(UnableToOpenFileMessage(fileName));
    rgba.begun = true;
    rgba.img.req_orientation = ORIENTATION_TOPLEFT;
    std::vector<uint32_t> buffer(size_t(width) * band);
    for (int y = 0; y < height; y += int(band)) {
        const int rows = std::min(int(band), height - y);
        std::memset(buffer.data(), 0, size_t(width) * size_t(rows) * 4);
        rgba.img.row_offset = y;
        rgba.img.col_offset = 0;
        if (!Tiff().TIFFRGBAImageGet(&rgba.img, buffer.data(), uint32_t(width), uint32_t(rows)))
            throw QuvarError(DamagedImageMessage(fileName));
        RgbaRowsToBgr(reinterpret_cast<const uchar*>(buffer.data()), width, rows, bitmap, y);
    }
    return bitmap;
}

// How to take R, G, B from a bitmap row: byte offsets and pixel size.
struct PixelLayout {
    int r, g, b, size;
};

} // namespace

void SwapRedBlue(int width, int height, uchar* pixels) {
    const size_t count = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
    for (size_t i = 0; i < count; ++i)
        std::swap(pixels[4 * i], pixels[4 * i + 2]);
}

QImage LoadTiffAsBitmap(const QString& fileName) {
    TiffHandle tif = OpenForReading(fileName);
    QImage bitmap = ReadRaster(tif.get(), fileName);
    tif.reset();
    SwapRedBlue(bitmap.width(), bitmap.height(), bitmap.bits());
    bitmap.reinterpretAsFormat(QImage::Format_ARGB32);
    return bitmap;
}

QImage LoadTiffAsBitmap24(const QString& fileName) {
    TiffHandle tif = OpenForReading(fileName);
    return ReadBgr(tif.get(), fileName);
}

QImage DecodeTiff(QByteArrayView data, const QString& fileName) {
    MemoryTiff memory{data};
    ReadOptions read;
    TiffHandle tif(Tiff().TIFFClientOpenExt(
        "memory", "r", &memory, MemoryTiff::Read, MemoryTiff::Write, MemoryTiff::Seek,
        MemoryTiff::Close, MemoryTiff::Size, MemoryTiff::Map, MemoryTiff::Unmap, read.options));
    if (!tif)
        throw QuvarError(UnableToOpenFileMessage(fileName));
    return ReadBgr(tif.get(), fileName);
}

int TiffRowsPerStrip(int width, int height) {
    int rows = width > 0 ? int(StripBytes / (int64_t(width) * 3)) : 1;
    if (rows > height)
        rows = height;
    else if (rows == 0)
        rows = 1;
    return rows;
}

namespace {

struct StripGeometry {
    int width;
    int height;
    int rowsPerStrip;
};

// The tags that say how the pixels are stored; the same in the file and in each worker's
// one-strip file, so that the library encodes every strip as the file's own.
void SetLayoutTags(TIFF* t, const StripGeometry& g) {
    Tiff().TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(g.width));
    Tiff().TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(g.height));
    Tiff().TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    Tiff().TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    Tiff().TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    Tiff().TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    Tiff().TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    Tiff().TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    Tiff().TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(g.rowsPerStrip));
}

// Converts rows of the bitmap to the RGB bytes the file stores.
void RowsToRgb(const QImage& source, const PixelLayout& layout, int firstRow, int rows,
               uchar* out) {
    const int width = source.width();
    for (int row = firstRow; row < firstRow + rows; ++row) {
        const uchar* in = source.constScanLine(row);
        for (int x = 0; x < width; ++x, in += layout.size) {
            *out++ = in[layout.r];
            *out++ = in[layout.g];
            *out++ = in[layout.b];
        }
    }
}

// Strip s as libtiff's LZW codec with the predictor writes it: encoded in a one-strip file
// of its own in memory and taken back raw. Empty when the library fails.
std::vector<uchar> EncodeStrip(const QImage& source, const PixelLayout& layout,
                               const StripGeometry& g, int s) {
    const int firstRow = s * g.rowsPerStrip;
    const int rows = std::min(g.rowsPerStrip, g.height - firstRow);
    std::vector<uchar> rgb(size_t(g.width) * size_t(rows) * 3);
    RowsToRgb(source, layout, firstRow, rows, rgb.data());
    std::vector<uchar> bytes;
    bytes.reserve(rgb.size() / 2 + 4096);
    MemoryTiff memory{{}, &bytes};
    TiffHandle tif(Tiff().TIFFClientOpen("strip", "w", &memory, MemoryTiff::Read, MemoryTiff::Write,
                                         MemoryTiff::Seek, MemoryTiff::Close, MemoryTiff::Size,
                                         MemoryTiff::Map, MemoryTiff::Unmap));
    if (!tif)
        return {};
    TIFF* t = tif.get();
    SetLayoutTags(t, {g.width, rows, rows});
    const tmsize_t written = Tiff().TIFFWriteEncodedStrip(t, 0, rgb.data(), tmsize_t(rgb.size()));
    if (written == -1 || written == 0 || !Tiff().TIFFFlushData(t))
        return {};
    const uint64_t size = Tiff().TIFFGetStrileByteCount(t, 0);
    if (size == 0 || size > bytes.size())
        return {};
    std::vector<uchar> raw(static_cast<size_t>(size));
    if (Tiff().TIFFReadRawStrip(t, 0, raw.data(), tmsize_t(size)) != tmsize_t(size))
        return {};
    return raw;
}

} // namespace

void WriteBitmapToTiff(const QImage& bitmap, const QString& fileName) {
    if (bitmap.isNull() || (bitmap.depth() != 24 && bitmap.depth() != 32))
        throw QuvarError(
            QStringLiteral("WriteBitmapToTiff is designed for 24bit and 32bit bitmaps only"));
    QImage source = bitmap;
    PixelLayout layout{2, 1, 0, 3};
    switch (source.format()) {
    case QImage::Format_BGR888:
        break;
    case QImage::Format_RGB888:
        layout = {0, 1, 2, 3};
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        layout = {2, 1, 0, 4};
        break;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        layout = {0, 1, 2, 4};
        break;
    default:
        source = ToBitmap24(bitmap);
        break;
    }
    Tiff(); // before any temporary file: without the library nothing is created
    const StripGeometry g{source.width(), source.height(),
                          TiffRowsPerStrip(source.width(), source.height())};
    const int strips = (g.height + g.rowsPerStrip - 1) / g.rowsPerStrip;

    std::unique_ptr<SafeFileReplace> replace;
    try {
        replace = std::make_unique<SafeFileReplace>(fileName);
    } catch (const QuvarError&) {
        throw QuvarError(UnableToCreateFileMessage(fileName));
    }
    TiffHandle tif(Tiff().TIFFOpen(QFile::encodeName(replace->tempPath()).constData(), "w"));
    if (!tif)
        throw QuvarError(UnableToCreateFileMessage(fileName));
    const QByteArray description = EncodeText(TiffImageDescription);
    TIFF* t = tif.get();
    SetLayoutTags(t, g);
    Tiff().TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description.constData());
    Tiff().TIFFSetField(t, TIFFTAG_SOFTWARE, TiffSoftware);
    Tiff().TIFFSetField(t, TIFFTAG_MAKE, TiffMake);

    // The strips are encoded on all threads and written in order as they are ready, by the
    // thread that finished the one the file waits for. The threads take the strips in
    // order, so few wait encoded at any time; no thread waits for a whole batch.
    // An encoded strip is never empty: one that is holds no strip yet, or one written.
    std::vector<std::vector<uchar>> encoded(static_cast<size_t>(strips));
    std::mutex writing;
    int nextToWrite = 0;
    bool failed = false;
    RunParts(strips, [&](int s) {
        std::vector<uchar> raw = failed ? std::vector<uchar>() : EncodeStrip(source, layout, g, s);
        std::lock_guard lock(writing);
        if (raw.empty())
            failed = true;
        if (failed)
            throw QuvarError(FailedToWriteMessage(fileName));
        encoded[size_t(s)] = std::move(raw);
        for (; nextToWrite < strips && !encoded[size_t(nextToWrite)].empty(); ++nextToWrite) {
            std::vector<uchar>& strip = encoded[size_t(nextToWrite)];
            if (Tiff().TIFFWriteRawStrip(t, uint32_t(nextToWrite), strip.data(),
                                         tmsize_t(strip.size())) != tmsize_t(strip.size())) {
                failed = true;
                throw QuvarError(FailedToWriteMessage(fileName));
            }
            std::vector<uchar>().swap(strip);
        }
    });
    // The directory is written on close; only a complete file replaces the old one.
    if (!Tiff().TIFFFlush(t))
        throw QuvarError(FailedToWriteMessage(fileName));
    tif.reset();
    try {
        replace->commit();
    } catch (const QuvarError&) {
        throw QuvarError(FailedToWriteMessage(fileName));
    }
}

namespace {

// Reads count bytes at offset; false when they are not all there.
using ReadAt = std::function<bool(uint64_t offset, uint64_t count, uchar* out)>;

QByteArray ReadDescription(uint64_t fileSize, const ReadAt& readAt) {
    uchar header[8];
    if (!readAt(0, 8, header))
        return {};
    bool big;
    if (header[0] == 'I' && header[1] == 'I')
        big = false;
    else if (header[0] == 'M' && header[1] == 'M')
        big = true;
    else
        return {};
    auto u16 = [big](const uchar* p) {
        return big ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
    };
    auto u32 = [big](const uchar* p) {
        return big ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
    };
    if (u16(header + 2) != 42)
        return {};
    const uint64_t directory = u32(header + 4);
    uchar countBytes[2];
    if (!readAt(directory, 2, countBytes))
        return {};
    const int entries = u16(countBytes);
    QByteArray description;
    for (int i = 0; i < entries; ++i) {
        uchar entry[12];
        if (!readAt(directory + 2 + 12 * uint64_t(i), 12, entry))
            break;
        if (u16(entry) != 270)
            continue;
        const uint32_t count = u32(entry + 4);
        if (count == 0) {
            description.clear();
            continue;
        }
        const uint32_t length = count - 1;
        if (count <= 4) {
            description = QByteArray(reinterpret_cast<const char*>(entry + 8), length);
            continue;
        }
        // Checked before allocating: a hostile count must not cost memory.
        const uint64_t offset = u32(entry + 8);
        if (offset > fileSize || length > fileSize - offset)
            continue;
        QByteArray text(qsizetype(length), Qt::Uninitialized);
        if (readAt(offset, length, reinterpret_cast<uchar*>(text.data())))
            description = text;
    }
    return description;
}

} // namespace

QByteArray ReadTiffImageDescriptionBytes(QByteArrayView data) {
    return ReadDescription(uint64_t(data.size()),
                           [data](uint64_t offset, uint64_t count, uchar* out) {
                               const uint64_t size = uint64_t(data.size());
                               if (offset > size || count > size - offset)
                                   return false;
                               std::memcpy(out, data.data() + offset, count);
                               return true;
                           });
}

QString ReadTiffImageDescription(const QString& fileName) {
    QFile file;
    if (!OpenRegularFile(file, fileName))
        throw QuvarError(UnableToOpenFileMessage(fileName));
    const uint64_t size = uint64_t(file.size());
    return DecodeText(
        ReadDescription(size, [&file, size](uint64_t offset, uint64_t count, uchar* out) {
            if (offset > size || count > size - offset)
                return false;
            return file.seek(qint64(offset)) &&
                   file.read(reinterpret_cast<char*>(out), qint64(count)) == qint64(count);
        }));
}
