#include "PngCodec.h"

#include "Bitmap.h"
#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "platform/Errors.h"

#include "platform/ThreadPool.h"

#include <QFile>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

namespace {

// libpng's errors leave the codec as an exception; the owners below free its state.
struct PngFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowPngFailure(png_structp, png_const_charp message) {
    throw PngFailure(message ? message : "error");
}

void IgnorePngWarning(png_structp, png_const_charp) {}

// The reader takes a chunk whole into one buffer of the length the chunk claims; a text
// chunk of 2 GB in a file of a few hundred bytes must not cost 2 GB. A chunk may take what
// the file could hold, so that the megabytes of metadata other programs write are read
// (and skipped), but never more. Nothing else the reader allocates comes near
// MaxCommentBytes: its largest row is 65536 pixels of 8 bytes.
png_alloc_size_t PngChunkLimit(qint64 inputBytes) {
    return png_alloc_size_t(std::max<qint64>(MaxCommentBytes, inputBytes));
}

png_voidp LimitedPngMalloc(png_structp png, png_alloc_size_t size) {
    const auto* limit = static_cast<const png_alloc_size_t*>(png_get_mem_ptr(png));
    if (size > *limit + 4096)
        throw PngFailure("chunk data is too large");
    return std::malloc(size);
}

void PngFree(png_structp, png_voidp memory) {
    std::free(memory);
}

struct PngReader {
    png_alloc_size_t chunkLimit;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    explicit PngReader(png_alloc_size_t limit) : chunkLimit(limit) {
        png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngFailure,
                                       IgnorePngWarning, &chunkLimit, LimitedPngMalloc, PngFree);
        if (png)
            info = png_create_info_struct(png);
        if (info)
            endInfo = png_create_info_struct(png);
        if (!png || !info || !endInfo)
            throw PngFailure("out of memory");
    }
    ~PngReader() { png_destroy_read_struct(&png, &info, &endInfo); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

struct MemoryInput {
    QByteArrayView data;
    qsizetype pos = 0;
    static void Read(png_structp png, png_bytep out, size_t length) {
        auto* self = static_cast<MemoryInput*>(png_get_io_ptr(png));
        if (length > size_t(self->data.size() - self->pos))
            png_error(png, "unexpected end of file");
        std::memcpy(out, self->data.data() + self->pos, length);
        self->pos += qsizetype(length);
    }
};

struct DeviceInput {
    QIODevice* device;
    static void Read(png_structp png, png_bytep out, size_t length) {
        auto* self = static_cast<DeviceInput*>(png_get_io_ptr(png));
        if (self->device->read(reinterpret_cast<char*>(out), qint64(length)) != qint64(length))
            png_error(png, "unexpected end of file");
    }
};

// The last "QUVAR" chunk among tEXt and zTXt chunks; iTXt is not a comment chunk here.
void TakeComment(png_structp png, png_infop info, QByteArray& comment) {
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        const png_text& t = texts[i];
        if (t.compression != PNG_TEXT_COMPRESSION_NONE &&
            t.compression != PNG_TEXT_COMPRESSION_zTXt)
            continue;
        if (t.key && std::strcmp(t.key, PngCommentKeyword) == 0)
            comment = QByteArray(t.text ? t.text : "", qsizetype(t.text ? t.text_length : 0));
    }
}

} // namespace

namespace {

constexpr png_uint_32 ChunkType(const char (&name)[5]) {
    return png_uint_32(uchar(name[0])) << 24 | png_uint_32(uchar(name[1])) << 16 |
           png_uint_32(uchar(name[2])) << 8 | png_uint_32(uchar(name[3]));
}

// libpng's settings for 8-bit RGB: zlib's default level with the strategy it takes for
// filtered rows, a 32 KiB window.
constexpr int PngLevel = Z_DEFAULT_COMPRESSION;
constexpr int PngStrategy = Z_FILTERED;
constexpr int PngWindowBits = 15;
constexpr int PngMemLevel = 8;
// The image data goes out in chunks of this size at most.
constexpr size_t IdatChunkBytes = 256 * 1024;

void PutU32(uchar* out, uint32_t value) {
    out[0] = uchar(value >> 24);
    out[1] = uchar(value >> 16);
    out[2] = uchar(value >> 8);
    out[3] = uchar(value);
}

// The two bytes zlib puts before the deflate data of its stream at our settings.
std::array<uchar, 2> ZlibHeader() {
    z_stream z{};
    if (deflateInit2(&z, PngLevel, Z_DEFLATED, PngWindowBits, PngMemLevel, PngStrategy) != Z_OK)
        throw std::bad_alloc();
    std::array<uchar, 16> out{};
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    deflateEnd(&z);
    return {out[0], out[1]};
}

// One bitmap row as RGB bytes.
void RowToRgb(const uchar* in, int width, bool padded, uchar* out) {
    if (padded) {
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    } else {
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

uint32_t Magnitude(uchar v) {
    return v < 128 ? v : 256u - v;
}

int Paeth(int a, int b, int c) {
    const int p = b - c;
    const int q = a - c;
    const int pa = std::abs(p);
    const int pb = std::abs(q);
    const int pc = std::abs(p + q);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// A filtered row: its filter type byte, then the filtered bytes.
struct FilterChoice {
    std::vector<uchar> rows[5];
    explicit FilterChoice(size_t bytes) {
        for (auto& r : rows)
            r.resize(bytes + 1);
    }
};

// libpng's own choice for rows of 8-bit colour: of the five filters, the one whose output
// bytes, read as signed, have the smallest sum of magnitudes (the earlier on a tie).
const std::vector<uchar>& FilterRow(const uchar* row, const uchar* prior, size_t bytes,
                                    FilterChoice& choice) {
    constexpr size_t Bpp = 3;
    uint32_t sums[5] = {};
    uchar* none = choice.rows[0].data() + 1;
    uchar* sub = choice.rows[1].data() + 1;
    uchar* up = choice.rows[2].data() + 1;
    uchar* avg = choice.rows[3].data() + 1;
    uchar* paeth = choice.rows[4].data() + 1;
    for (size_t i = 0; i < bytes; ++i) {
        const int x = row[i];
        const int a = i >= Bpp ? row[i - Bpp] : 0;
        const int b = prior[i];
        const int c = i >= Bpp ? prior[i - Bpp] : 0;
        none[i] = uchar(x);
        sub[i] = uchar(x - a);
        up[i] = uchar(x - b);
        avg[i] = uchar(x - ((a + b) >> 1));
        paeth[i] = uchar(x - Paeth(a, b, c));
        sums[0] += Magnitude(none[i]);
        sums[1] += Magnitude(sub[i]);
        sums[2] += Magnitude(up[i]);
        sums[3] += Magnitude(avg[i]);
        sums[4] += Magnitude(paeth[i]);
    }
    int best = 0;
    for (int f = 1; f < 5; ++f)
        if (sums[f] < sums[best])
            best = f;
    choice.rows[best][0] = uchar(best);
    return choice.rows[best];
}

struct DeflaterEnd {
    void operator()(z_stream* z) const { deflateEnd(z); }
};

// A band of rows deflated on its own: raw deflate data that ends on a byte boundary with a
// full flush (the next band's data follows it in the same stream), or with the stream's
// final block for the last band; and the Adler-32 of the filtered bytes.
struct DeflatedBand {
    std::vector<uchar> data;
    uLong adler = 0;
    uLong filteredBytes = 0;
};

DeflatedBand DeflateBand(const QImage& source, bool padded, int firstRow, int rows, bool last) {
    const size_t bytes = size_t(source.width()) * 3;
    DeflatedBand band;
    band.filteredBytes = uLong(rows) * uLong(bytes + 1);
    band.adler = adler32(0, nullptr, 0);
    z_stream z{};
    if (deflateInit2(&z, PngLevel, Z_DEFLATED, -PngWindowBits, PngMemLevel, PngStrategy) != Z_OK)
        throw std::bad_alloc();
    std::unique_ptr<z_stream, DeflaterEnd> owner(&z);
    // Room for everything at once (a full flush adds at most an empty stored block).
    band.data.resize(deflateBound(&z, band.filteredBytes) + 16);
    z.next_out = band.data.data();
    z.avail_out = uInt(band.data.size());
    std::vector<uchar> current(bytes), prior(bytes, 0);
    if (firstRow > 0)
        RowToRgb(source.constScanLine(firstRow - 1), source.width(), padded, prior.data());
    FilterChoice choice(bytes);
    for (int y = firstRow; y < firstRow + rows; ++y) {
        RowToRgb(source.constScanLine(y), source.width(), padded, current.data());
        const std::vector<uchar>& filtered = FilterRow(current.data(), prior.data(), bytes, choice);
        band.adler = adler32(band.adler, filtered.data(), uInt(filtered.size()));
        z.next_in = const_cast<uchar*>(filtered.data());
        z.avail_in = uInt(filtered.size());
        const bool end = y == firstRow + rows - 1;
        const int flush = !end ? Z_NO_FLUSH : last ? Z_FINISH : Z_FULL_FLUSH;
        const int result = deflate(&z, flush);
        if (result == Z_STREAM_ERROR || z.avail_in != 0 || (end && last && result != Z_STREAM_END))
            throw std::runtime_error("deflate");
        current.swap(prior);
    }
    band.data.resize(band.data.size() - z.avail_out);
    return band;
}

// Writes the chunks of a PNG file. Any failed write leaves ok false.
struct PngChunkWriter {
    FILE* file;
    bool ok = true;

    void Write(const void* data, size_t size) {
        if (ok && size > 0 && std::fwrite(data, 1, size, file) != size)
            ok = false;
    }
    void Signature() {
        static constexpr uchar signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        Write(signature, sizeof signature);
    }
    void Chunk(png_uint_32 type, std::span<const uchar> data) {
        uchar head[8];
        PutU32(head, uint32_t(data.size()));
        PutU32(head + 4, type);
        uLong crc = crc32(0, head + 4, 4);
        if (!data.empty()) // zlib takes a null buffer as a request for the initial value
            crc = crc32(crc, data.data(), uInt(data.size()));
        uchar tail[4];
        PutU32(tail, uint32_t(crc));
        Write(head, sizeof head);
        Write(data.data(), data.size());
        Write(tail, sizeof tail);
    }
    // Image data in chunks of IdatChunkBytes at most.
    void Idat(std::span<const uchar> data) {
        while (!data.empty()) {
            const size_t n = std::min(data.size(), IdatChunkBytes);
            Chunk(ChunkType("IDAT"), data.first(n));
            data = data.subspan(n);
        }
    }
};

} // namespace

int PngBandRows(int width, int height, int threads) {
    if (width <= 0 || height <= 0)
        return 1;
    const int64_t rowBytes = int64_t(width) * 3 + 1;
    const int64_t bands = std::max(1, threads) * int64_t(PngBandsPerThread);
    const int64_t forSpread = (height + bands - 1) / bands;
    const int64_t forSize = (PngMinBandBytes + rowBytes - 1) / rowBytes;
    return int(std::clamp<int64_t>(std::max(forSpread, forSize), 1, height));
}

void WritePng(const QImage& bitmap, const QString& path, const QString& fileName,
              const std::optional<QByteArray>& comment) {
    QImage source = bitmap;
    const bool padded =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32;
    if (!padded && source.format() != QImage::Format_BGR888)
        source = ToBitmap24(bitmap);
    if (source.isNull())
        throw QuvarError(FailedToWriteMessage(fileName));

    // The bands are deflated side by side; joined in order they are one zlib stream.
    const int height = source.height();
    const int bandRows = PngBandRows(source.width(), height, ThreadPoolSize());
    const int bandCount = (height + bandRows - 1) / bandRows;
    std::vector<DeflatedBand> bands(static_cast<size_t>(bandCount));
    std::array<uchar, 2> zlibHeader{};
    try {
        zlibHeader = ZlibHeader();
        RunParts(bandCount, [&](int b) {
            const int first = b * bandRows;
            bands[size_t(b)] = DeflateBand(source, padded, first,
                                           std::min(bandRows, height - first), b == bandCount - 1);
        });
    } catch (const std::exception&) {
        throw QuvarError(FailedToWriteMessage(fileName));
    }
    // The stream's header before the first band, the Adler-32 of all after the last.
    uLong adler = adler32(0, nullptr, 0);
    for (const DeflatedBand& band : bands)
        adler = adler32_combine(adler, band.adler, z_off_t(band.filteredBytes));
    bands.front().data.insert(bands.front().data.begin(), zlibHeader.begin(), zlibHeader.end());
    uchar trailer[4];
    PutU32(trailer, uint32_t(adler));
    bands.back().data.insert(bands.back().data.end(), trailer, trailer + 4);

    std::unique_ptr<FILE, FileCloser> file(std::fopen(QFile::encodeName(path).constData(), "wb"));
    if (!file)
        throw QuvarError(UnableToCreateFileMessage(fileName));
    PngChunkWriter out{file.get()};
    out.Signature();
    uchar header[13];
    PutU32(header, uint32_t(source.width()));
    PutU32(header + 4, uint32_t(height));
    header[8] = 8;                   // bits per sample
    header[9] = PNG_COLOR_TYPE_RGB;  // colour type
    header[10] = 0;                  // deflate
    header[11] = 0;                  // adaptive filtering
    header[12] = PNG_INTERLACE_NONE; // interlace
    out.Chunk(ChunkType("IHDR"), {header, sizeof header});
    for (const DeflatedBand& band : bands)
        out.Idat(band.data);
    // The comment follows the image data.
    if (comment) {
        std::vector<uchar> text(PngCommentKeyword, PngCommentKeyword + sizeof PngCommentKeyword);
        text.insert(text.end(), comment->begin(), comment->end());
        out.Chunk(ChunkType("tEXt"), {text.data(), text.size()});
    }
    out.Chunk(ChunkType("IEND"), {});
    if (!out.ok || std::fflush(file.get()) != 0 || std::ferror(file.get()) ||
        std::fclose(file.release()) != 0)
        throw QuvarError(FailedToWriteMessage(fileName));
}

namespace {

DecodedPng Decode(void* input, png_rw_ptr read, qint64 inputBytes, const QString& fileName) {
    DecodedPng result;
    try {
        PngReader r(PngChunkLimit(inputBytes));
        png_set_read_fn(r.png, input, read);
        png_set_user_limits(r.png, MaxBitmapSide, MaxBitmapSide);
        // The same bound for what compressed text and profiles unpack to.
        png_set_chunk_malloc_max(r.png, r.chunkLimit);
        png_read_info(r.png, r.info);
        const png_uint_32 width = png_get_image_width(r.png, r.info);
        const png_uint_32 height = png_get_image_height(r.png, r.info);
        result.bitmap = NewBitmap(int(std::min<png_uint_32>(width, 1u << 30)),
                                  int(std::min<png_uint_32>(height, 1u << 30)));
        const int colorType = png_get_color_type(r.png, r.info);
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_palette_to_rgb(r.png);
        if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_expand_gray_1_2_4_to_8(r.png);
            png_set_gray_to_rgb(r.png);
        }
        png_set_strip_16(r.png);
        png_set_strip_alpha(r.png);
        png_set_bgr(r.png);
        png_set_interlace_handling(r.png);
        png_read_update_info(r.png, r.info);
        if (png_get_rowbytes(r.png, r.info) != size_t(width) * 3)
            throw PngFailure("unsupported pixel layout");
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows[y] = result.bitmap.scanLine(int(y));
        png_read_image(r.png, rows.data());
        TakeComment(r.png, r.info, result.comment);
        // The comment follows the image data: a damaged trailer may have lost it, and the
        // image would open as if it had none.
        png_read_end(r.png, r.endInfo);
        TakeComment(r.png, r.endInfo, result.comment);
    } catch (const PngFailure& failure) {
        throw QuvarError(DamagedImageMessage(fileName, QString::fromLocal8Bit(failure.what())));
    }
    return result;
}

} // namespace

DecodedPng DecodePng(QByteArrayView data, const QString& fileName) {
    MemoryInput input{data};
    return Decode(&input, MemoryInput::Read, data.size(), fileName);
}

DecodedPng ReadPng(QIODevice& device, const QString& fileName) {
    DeviceInput input{&device};
    return Decode(&input, DeviceInput::Read, device.size(), fileName);
}
