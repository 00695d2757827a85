#include "PngCodec.h"

#include "Bitmap.h"
#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "platform/Errors.h"

#include <QFile>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngWriter() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngFailure,
                                      IgnorePngWarning);
        if (png)
            info = png_create_info_struct(png);
        if (!png || !info)
            throw PngFailure("out of memory");
    }
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
};

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

void WritePng(const QImage& bitmap, const QString& path, const QString& fileName,
              const std::optional<QByteArray>& comment) {
    QImage source = bitmap;
    const bool padded =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32;
    if (!padded && source.format() != QImage::Format_BGR888)
        source = ToBitmap24(bitmap);
    if (source.isNull())
        throw QuvarError(FailedToWriteMessage(fileName));
    std::unique_ptr<FILE, FileCloser> file(std::fopen(QFile::encodeName(path).constData(), "wb"));
    if (!file)
        throw QuvarError(UnableToCreateFileMessage(fileName));
    try {
        PngWriter w;
        png_init_io(w.png, file.get());
        png_set_IHDR(w.png, w.info, png_uint_32(source.width()), png_uint_32(source.height()), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(w.png, w.info);
        png_set_bgr(w.png);
        if (padded)
            png_set_filler(w.png, 0, PNG_FILLER_AFTER);
        for (int y = 0; y < source.height(); ++y)
            png_write_row(w.png, source.constScanLine(y));
        // Text set after the header is written goes out with png_write_end: after IDAT.
        if (comment) {
            png_text text{};
            text.compression = PNG_TEXT_COMPRESSION_NONE;
            text.key = const_cast<png_charp>(PngCommentKeyword);
            text.text = const_cast<png_charp>(comment->constData());
            text.text_length = size_t(comment->size());
            png_set_text(w.png, w.info, &text, 1);
        }
        png_write_end(w.png, w.info);
    } catch (const PngFailure& failure) {
        throw QuvarError(FailedToWriteMessage(fileName) + QStringLiteral(": ") +
                         QString::fromLocal8Bit(failure.what()));
    }
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()) || std::fclose(file.release()) != 0)
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
