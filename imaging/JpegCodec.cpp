#include "JpegCodec.h"

#include "Bitmap.h"
#include "CodecSupport.h"
#include "ImageFileMessages.h"
#include "platform/Errors.h"

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

#include <jerror.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

// libjpeg's fatal errors must not end the process: they leave the codec as an
// exception and the RAII owners below release the codec state.
struct JpegFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void ThrowJpegFailure(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, text);
    throw JpegFailure(text);
}

// Warnings (corrupt data the codec works around) are not shown.
void IgnoreJpegMessage(j_common_ptr, int) {}

// What the decoder knows of the image being read, for its warnings.
struct DecodeState {
    bool severalScans = false;
    bool allRowsRead = false;
};

// The warnings that mean image data is missing: the codec would fill the rest with grey
// and go on, and the image would look whole. The end of the file is harmless in a single
// scan (the codec reads ahead, and a file may lack its end marker): rows cut short there
// meet a marker first.
bool LosesImageData(const jpeg_decompress_struct& cinfo, int code) {
    const auto* state = static_cast<const DecodeState*>(cinfo.client_data);
    switch (code) {
    case JWRN_HIT_MARKER:  // the scan's data ended before its last block
    case JWRN_MUST_RESYNC: // blocks lost up to the next restart marker
        return true;
    case JWRN_JPEG_EOF:
        return state && state->severalScans && !state->allRowsRead;
    default:
        return false;
    }
}

void RefuseLostImageData(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->is_decompressor &&
        LosesImageData(*reinterpret_cast<j_decompress_ptr>(cinfo), cinfo->err->msg_code))
        ThrowJpegFailure(cinfo);
}

void InstallErrorHandler(jpeg_error_mgr& err) {
    jpeg_std_error(&err);
    err.error_exit = ThrowJpegFailure;
    err.emit_message = IgnoreJpegMessage;
}

// More scans than this is no photograph but a decoder trap: every scan of a progressive
// file revisits the coefficients of the whole image.
constexpr int MaxJpegScans = 500;

void LimitScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxJpegScans)
        throw JpegFailure("too many scans");
}

struct Compressor {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    Compressor() {
        cinfo.err = &err;
        InstallErrorHandler(err);
        jpeg_create_compress(&cinfo);
    }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    jpeg_progress_mgr progress{};
    DecodeState state;
    Decompressor() {
        cinfo.err = &err;
        InstallErrorHandler(err);
        err.emit_message = RefuseLostImageData;
        jpeg_create_decompress(&cinfo);
        cinfo.client_data = &state;
        progress.progress_monitor = LimitScans;
        cinfo.progress = &progress;
        // Beyond this the codec stops with an error instead of asking for more; the check
        // of the image's own needs below comes first and names the size.
        cinfo.mem->max_memory_to_use = long(MaxDecoderBytes + (int64_t(64) << 20));
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

// Compressed output into a growing QByteArray, so the comment can be put in before
// anything reaches the disk.
struct ByteArrayDestination {
    jpeg_destination_mgr mgr{};
    QByteArray* out = nullptr;

    static ByteArrayDestination* Self(j_compress_ptr cinfo) {
        return reinterpret_cast<ByteArrayDestination*>(cinfo->dest);
    }
    static void Init(j_compress_ptr cinfo) {
        ByteArrayDestination* self = Self(cinfo);
        self->out->resize(std::max<qsizetype>(self->out->size(), 1 << 16));
        self->mgr.next_output_byte = reinterpret_cast<JOCTET*>(self->out->data());
        self->mgr.free_in_buffer = size_t(self->out->size());
    }
    static boolean Grow(j_compress_ptr cinfo) {
        ByteArrayDestination* self = Self(cinfo);
        const qsizetype used = self->out->size();
        self->out->resize(used * 2);
        self->mgr.next_output_byte = reinterpret_cast<JOCTET*>(self->out->data()) + used;
        self->mgr.free_in_buffer = size_t(self->out->size() - used);
        return TRUE;
    }
    static void Term(j_compress_ptr cinfo) {
        ByteArrayDestination* self = Self(cinfo);
        self->out->resize(self->out->size() - qsizetype(self->mgr.free_in_buffer));
    }
};
static_assert(offsetof(ByteArrayDestination, mgr) == 0);

// A file of several scans (progressive, or one scan per component) is decoded into
// coefficient buffers for the whole image before its first row comes out: 64 coefficients
// of two bytes per 8 x 8 block of every component, in whole MCUs.
int64_t WholeImageBytes(jpeg_decompress_struct& cinfo) {
    if (!jpeg_has_multiple_scans(&cinfo))
        return 0;
    const auto roundUp = [](int64_t value, int64_t step) {
        return step > 0 ? (value + step - 1) / step * step : value;
    };
    int64_t bytes = 0;
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info& c = cinfo.comp_info[i];
        bytes += roundUp(c.width_in_blocks, c.h_samp_factor) *
                 roundUp(c.height_in_blocks, c.v_samp_factor) * int64_t(sizeof(JBLOCK));
    }
    return bytes;
}

} // namespace

QByteArray EncodeJpeg(const QImage& bitmap, const QString& fileName) {
    QImage source = bitmap;
    J_COLOR_SPACE space = JCS_EXT_BGR;
    int components = 3;
    if (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32) {
        space = JCS_EXT_BGRX; // little-endian 0xAARRGGBB is B, G, R, A in memory
        components = 4;
    } else if (source.format() != QImage::Format_BGR888) {
        source = ToBitmap24(bitmap);
    }
    if (source.isNull())
        throw QuvarError(FailedToWriteMessage(fileName));

    QByteArray out;
    // Room for the raw size: pages never written are never touched, and the buffer need
    // not move while it grows.
    out.reserve(qsizetype(source.width()) * source.height() * 3 + 65536);
    try {
        Compressor c;
        ByteArrayDestination dest;
        dest.out = &out;
        dest.mgr.init_destination = ByteArrayDestination::Init;
        dest.mgr.empty_output_buffer = ByteArrayDestination::Grow;
        dest.mgr.term_destination = ByteArrayDestination::Term;
        c.cinfo.dest = &dest.mgr;
        c.cinfo.image_width = JDIMENSION(source.width());
        c.cinfo.image_height = JDIMENSION(source.height());
        c.cinfo.input_components = components;
        c.cinfo.in_color_space = space;
        jpeg_set_defaults(&c.cinfo);
        jpeg_set_quality(&c.cinfo, 100, TRUE);
        c.cinfo.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&c.cinfo, TRUE);
        while (c.cinfo.next_scanline < c.cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(source.constScanLine(int(c.cinfo.next_scanline)));
            jpeg_write_scanlines(&c.cinfo, &row, 1);
        }
        jpeg_finish_compress(&c.cinfo);
    } catch (const JpegFailure& failure) {
        throw QuvarError(FailedToWriteMessage(fileName) + QStringLiteral(": ") +
                         QString::fromLocal8Bit(failure.what()));
    }
    return out;
}

QImage DecodeJpeg(QByteArrayView data, const QString& fileName) {
    try {
        Decompressor d;
        jpeg_mem_src(&d.cinfo, reinterpret_cast<const unsigned char*>(data.data()),
                     static_cast<unsigned long>(data.size()));
        jpeg_read_header(&d.cinfo, TRUE);
        const bool cmyk =
            d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
        d.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
        // Refuse an absurd header size, and a file whose decoding needs more than the
        // bitmap, before the codec allocates anything for it.
        const int width = int(std::min<JDIMENSION>(d.cinfo.image_width, 1u << 30));
        const int height = int(std::min<JDIMENSION>(d.cinfo.image_height, 1u << 30));
        if (!BitmapSizeAllowed(width, height))
            NewBitmap(width, height); // throws the size message
        d.state.severalScans = jpeg_has_multiple_scans(&d.cinfo);
        if (WholeImageBytes(d.cinfo) > MaxDecoderBytes)
            throw QuvarError(ImageTooLargeMessage(fileName, width, height));
        QImage bitmap = NewBitmap(width, height);
        jpeg_start_decompress(&d.cinfo);
        if (d.cinfo.output_width != JDIMENSION(bitmap.width()) ||
            d.cinfo.output_height != JDIMENSION(bitmap.height()))
            throw JpegFailure("unexpected output size");
        // Adobe writes CMYK inverted; that is what nearly every CMYK JPEG holds.
        const bool inverted = d.cinfo.saw_Adobe_marker;
        std::vector<JSAMPLE> cmykRow(cmyk ? size_t(bitmap.width()) * 4 : 0);
        while (d.cinfo.output_scanline < d.cinfo.output_height) {
            const int y = int(d.cinfo.output_scanline);
            uchar* target = bitmap.scanLine(y);
            JSAMPROW row = cmyk ? cmykRow.data() : target;
            if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1)
                throw JpegFailure("no scanline");
            if (!cmyk)
                continue;
            for (int x = 0; x < bitmap.width(); ++x) {
                const JSAMPLE* p = cmykRow.data() + 4 * x;
                int c = p[0], m = p[1], ye = p[2], k = p[3];
                if (!inverted) {
                    c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
                }
                target[3 * x] = uchar(ye * k / 255);
                target[3 * x + 1] = uchar(m * k / 255);
                target[3 * x + 2] = uchar(c * k / 255);
            }
        }
        d.state.allRowsRead = true;
        jpeg_finish_decompress(&d.cinfo);
        return bitmap;
    } catch (const JpegFailure& failure) {
        throw QuvarError(DamagedImageMessage(fileName, QString::fromLocal8Bit(failure.what())));
    }
}
