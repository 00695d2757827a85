// One libFuzzer entry per reader of untrusted image files; the reader is chosen at build
// time (FUZZ_<kind>). A refusal is a QuvarError; anything else is a finding.

#include "imaging/ImageFiles.h"
#include "imaging/JpegComment.h"
#include "imaging/PngCodec.h"
#include "imaging/TiffFiles.h"
#include "platform/Errors.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The GUI toolkit's decoders warn on stderr about every damaged input; quiet runs only.
void Discard(QtMsgType, const QMessageLogContext&, const QString&) {}

[[maybe_unused]] void Load(ImageFileType type, QByteArrayView data) {
    const ImageWithComment loaded = DecodeImageWithComment(type, data, QStringLiteral("fuzz"));
    if (loaded.bitmap.format() != QImage::Format_BGR888)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(Discard);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const QByteArrayView data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    try {
#if defined(FUZZ_JPEG_COMMENT)
        (void)ReadJpegComment(data);
        const QByteArray rewritten = RewriteJpegComment(data, "fuzz");
        const QByteArray read = ReadJpegComment(rewritten);
        if (!read.isEmpty() && read != "fuzz")
            std::abort();
        // Without a comment the rewrite drops every comment segment.
        if (!ReadJpegComment(RewriteJpegComment(data, {})).isEmpty())
            std::abort();
#elif defined(FUZZ_PNG_TEXT)
        (void)DecodePng(data, QStringLiteral("fuzz"));
#elif defined(FUZZ_TIFF_DESCRIPTION)
        (void)ReadTiffImageDescriptionBytes(data);
#elif defined(FUZZ_LOAD_BMP)
        Load(ImageFileType::Bmp, data);
#elif defined(FUZZ_LOAD_JPG)
        Load(ImageFileType::Jpeg, data);
#elif defined(FUZZ_LOAD_PNG)
        Load(ImageFileType::Png, data);
#elif defined(FUZZ_LOAD_TIF)
        Load(ImageFileType::Tiff, data);
#else
#error "no fuzz kind chosen"
#endif
    } catch (const QuvarError&) {
    }
    return 0;
}
