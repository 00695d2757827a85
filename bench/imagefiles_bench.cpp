// Image files with comment against the codec libraries alone, on a 24-megapixel noisy
// picture: each pair runs side by side, so the figure to read is the ratio. The libraries'
// saves end as ours do, with the flush to disk and the rename of the safe replace; their
// decodes write into memory touched before the loop. Opening a photograph in the measuring
// window until it is shown, against libjpeg decoding it alone into a reused buffer. The CPU
// column is the whole process's: the work of every thread.

#include "WindowBench.h"
#include "imaging/ImageFiles.h"
#include "imaging/TiffFiles.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <png.h>
#include <tiffio.h>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

const QImage& Noise() {
    static const QImage image = [] {
        QImage bitmap(Width, Height, QImage::Format_BGR888);
        uint32_t state = 12345;
        for (int y = 0; y < Height; ++y) {
            uchar* row = bitmap.scanLine(y);
            for (int x = 0; x < Width * 3; ++x) {
                state = state * 1664525u + 1013904223u;
                // Noise over a smooth picture, as a camera gives it.
                row[x] = uchar(((x / 3 + y) & 0xFF) / 2 + (state >> 27));
            }
        }
        return bitmap;
    }();
    return image;
}

const QStringList Comment = {"[QUVARSystemComment]",   "Location = Bench",   "Unit = µm", "",
                             "[QUVARMCSystemComment]", "Calibration = 0.125"};

QString Folder() {
    static QTemporaryDir dir;
    return dir.path();
}

QString SavedFile(const char* name) {
    const QString path = Folder() + "/" + name;
    if (!QFile::exists(path))
        SaveImageWithComment(Noise(), path, Comment, false);
    return path;
}

// What the safe replace adds to a library's save: the file flushed to disk and renamed
// over the target.
FILE* OpenTemporary(const QByteArray& target) {
    return std::fopen((target + ".tmp").constData(), "wb");
}
void FlushAndRename(FILE* file, const QByteArray& target) {
    std::fflush(file);
    ::fsync(fileno(file));
    std::fclose(file);
    std::rename((target + ".tmp").constData(), target.constData());
}
void SyncAndRename(const QByteArray& target) {
    const int fd = ::open((target + ".tmp").constData(), O_RDONLY);
    ::fsync(fd);
    ::close(fd);
    std::rename((target + ".tmp").constData(), target.constData());
}

// A buffer for decoded pixels, every page touched once before it is timed.
std::vector<uchar> Prefaulted(size_t bytes) {
    return std::vector<uchar>(bytes, 1);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Ours, for every format: the file name's extension chooses the codec.
// The size of the file written, beside the time.
void ReportFileSize(benchmark::State& state, const QString& path) {
    state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}

void SaveWithComment(benchmark::State& state, const char* fileName) {
    const QString path = Folder() + "/" + QLatin1String(fileName);
    for (auto _ : state)
        SaveImageWithComment(Noise(), path, Comment, false);
    ReportFileSize(state, path);
}

void LoadWithComment(benchmark::State& state, const char* fileName) {
    const QString path = SavedFile(fileName);
    for (auto _ : state) {
        QImage bitmap;
        QStringList comment;
        LoadImageWithComment(bitmap, path, comment);
        benchmark::DoNotOptimize(bitmap.constBits());
    }
}

// ---- JPEG ------------------------------------------------------------------------------

void JpegCompressLibraryAlone(benchmark::State& state) {
    const QImage& image = Noise();
    const QByteArray path = QFile::encodeName(Folder() + "/alone.jpg");
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        FILE* file = OpenTemporary(path);
        jpeg_stdio_dest(&cinfo, file);
        cinfo.image_width = Width;
        cinfo.image_height = Height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 100, TRUE);
        cinfo.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        FlushAndRename(file, path);
    }
    ReportFileSize(state, QFile::decodeName(path));
}

void JpegDecompressLibraryAlone(benchmark::State& state) {
    const QString path = SavedFile("load.jpg");
    std::vector<uchar> pixels = Prefaulted(size_t(Width) * Height * 3);
    for (auto _ : state) {
        const QByteArray data = ReadAll(path);
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                     static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.data() + size_t(cinfo.output_scanline) * Width * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.data());
    }
}

// ---- PNG -------------------------------------------------------------------------------

void PngWriteLibraryAlone(benchmark::State& state) {
    const QImage& image = Noise();
    const QByteArray path = QFile::encodeName(Folder() + "/alone.png");
    for (auto _ : state) {
        FILE* file = OpenTemporary(path);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, file);
        png_set_IHDR(png, info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        for (int y = 0; y < Height; ++y)
            png_write_row(png, image.constScanLine(y));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        FlushAndRename(file, path);
    }
    ReportFileSize(state, QFile::decodeName(path));
}

void PngReadLibraryAlone(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(SavedFile("load.png"));
    std::vector<uchar> pixels = Prefaulted(size_t(Width) * Height * 3);
    for (auto _ : state) {
        std::vector<png_bytep> rows(Height);
        for (int y = 0; y < Height; ++y)
            rows[size_t(y)] = pixels.data() + size_t(y) * Width * 3;
        FILE* file = std::fopen(path.constData(), "rb");
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, file);
        png_read_info(png, info);
        png_set_bgr(png);
        png_read_update_info(png, info);
        png_read_image(png, rows.data());
        png_read_end(png, info);
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels.data());
    }
}

// ---- TIFF ------------------------------------------------------------------------------

void TiffWriteLibraryAlone(benchmark::State& state) {
    // The library given RGB strips ready-made.
    const int rows = TiffRowsPerStrip(Width, Height);
    std::vector<uchar> rgb(size_t(Width) * Height * 3);
    const QImage& image = Noise();
    for (int y = 0; y < Height; ++y)
        std::memcpy(rgb.data() + size_t(y) * Width * 3, image.constScanLine(y), size_t(Width) * 3);
    const QByteArray path = QFile::encodeName(Folder() + "/alone.tif");
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    for (auto _ : state) {
        TIFF* tif = TIFFOpen((path + ".tmp").constData(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(Width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(Height));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(rows));
        for (int s = 0, y = 0; y < Height; ++s, y += rows) {
            const int n = std::min(rows, Height - y);
            TIFFWriteEncodedStrip(tif, uint32_t(s), rgb.data() + size_t(y) * Width * 3,
                                  tmsize_t(Width) * n * 3);
        }
        TIFFClose(tif);
        SyncAndRename(path);
    }
    ReportFileSize(state, QFile::decodeName(path));
}

void TiffReadLibraryAlone(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(SavedFile("load.tif"));
    std::vector<uint32_t> raster(size_t(Width) * Height, 1);
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(path.constData(), "r");
        TIFFReadRGBAImageOriented(tif, Width, Height, raster.data(), ORIENTATION_TOPLEFT, 0);
        TIFFClose(tif);
        benchmark::DoNotOptimize(raster.data());
    }
}

// ---- Opening until shown -----------------------------------------------------------------

// A photograph-like 6000 x 4000 JPEG: smooth shading with a little noise, in a folder of
// its own with a few other pictures to list.
const QString& PhotoJpeg() {
    static QTemporaryDir folder;
    static const QString path = [] {
        const QImage image = PhotographLike(Width, Height);
        const QString file = folder.path() + QStringLiteral("/photo.jpg");
        image.save(file, "JPEG", 95);
        for (int i = 0; i < 20; ++i)
            QImage(8, 8, QImage::Format_RGB32)
                .save(folder.path() + QStringLiteral("/other%1.jpg").arg(i), "JPEG");
        return file;
    }();
    return path;
}

// The process's peak resident memory is restarted here; PeakGrowth reads how far it rose.
struct PeakMemory {
    long Start = ResidentKiB("VmRSS:");

    PeakMemory() {
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (reset.open(QIODevice::WriteOnly))
            reset.write("5");
        Start = ResidentKiB("VmRSS:");
    }
    double GrowthBytes() const { return double(ResidentKiB("VmHWM:") - Start) * 1024; }

    static long ResidentKiB(const char* field) {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(int(std::strlen(field))).trimmed().split(' ').front().toLong();
        return 0;
    }
};

constexpr double DecodedBytes = double(Width) * Height * 3;

void ReportPeak(benchmark::State& state, double peakSum) {
    state.counters["peak_MB"] = peakSum / double(state.iterations()) / 1e6;
    state.counters["peak_per_image"] = peakSum / double(state.iterations()) / DecodedBytes;
}

// libjpeg alone, with the loader's settings (default DCT method, BGR output). The floor
// decodes into a buffer reused from one image to the next, its pages touched before the
// loop; the other arm into fresh memory, as a new image gets it from the system, for the
// peak of memory.
void PhotoDecodeLibraryAlone(benchmark::State& state, bool reused) {
    const QByteArray path = QFile::encodeName(PhotoJpeg());
    std::vector<uchar> buffer =
        reused ? Prefaulted(size_t(Width) * Height * 3) : std::vector<uchar>();
    double peakSum = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const PeakMemory peak;
        state.ResumeTiming();
        const QByteArray data = ReadAll(QFile::decodeName(path));
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                     static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        const size_t bytes = size_t(cinfo.image_width) * cinfo.image_height * 3;
        std::unique_ptr<uchar[]> fresh(reused ? nullptr : new uchar[bytes]);
        uchar* pixels = reused ? buffer.data() : fresh.get();
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels + size_t(cinfo.output_scanline) * cinfo.output_width * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels);
        state.PauseTiming();
        peakSum += peak.GrowthBytes();
        fresh.reset();
        state.ResumeTiming();
    }
    ReportPeak(state, peakSum);
}

// A file given on the command line: read, folder listed, calibration decided, rebuilt at
// original size, histories started in a new window, and the first paint of the image area.
void OpenUntilShown(benchmark::State& state) {
    QTemporaryDir program;
    qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(program.path()));
    const QString path = PhotoJpeg();
    double peakSum = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<TMain>();
        window->resize(1400, 900);
        window->show();
        window->NrOfMCSystems = 1;
        QApplication::processEvents();
        PaintCounter counter;
        window->Foto->installEventFilter(&counter);
        const PeakMemory peak;
        state.ResumeTiming();
        window->OpenPassedFile(path);
        QApplication::processEvents();
        state.PauseTiming();
        if (counter.Paints == 0)
            state.SkipWithError("the image was not painted");
        peakSum += peak.GrowthBytes();
        if (window->WorkImage.size() != QSize(Width, Height) || window->ListBox1.Items.size() != 21)
            state.SkipWithError("not opened at original size with its folder");
        window.reset();
        state.ResumeTiming();
    }
    ReportPeak(state, peakSum);
}

} // namespace

#define QUVAR_IMAGE_TIMING                                                                         \
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0)
#define QUVAR_IMAGE_BENCH(name) BENCHMARK(name) QUVAR_IMAGE_TIMING
#define QUVAR_IMAGE_BENCH_FILE(name, format, file)                                                 \
    BENCHMARK_CAPTURE(name, format, file) QUVAR_IMAGE_TIMING

QUVAR_IMAGE_BENCH_FILE(SaveWithComment, Jpeg, "save.jpg");
QUVAR_IMAGE_BENCH(JpegCompressLibraryAlone);
QUVAR_IMAGE_BENCH_FILE(LoadWithComment, Jpeg, "load.jpg");
QUVAR_IMAGE_BENCH(JpegDecompressLibraryAlone);
QUVAR_IMAGE_BENCH_FILE(SaveWithComment, Png, "save.png");
QUVAR_IMAGE_BENCH(PngWriteLibraryAlone);
QUVAR_IMAGE_BENCH_FILE(LoadWithComment, Png, "load.png");
QUVAR_IMAGE_BENCH(PngReadLibraryAlone);
QUVAR_IMAGE_BENCH_FILE(SaveWithComment, Tiff, "save.tif");
QUVAR_IMAGE_BENCH(TiffWriteLibraryAlone);
QUVAR_IMAGE_BENCH_FILE(LoadWithComment, Tiff, "load.tif");
QUVAR_IMAGE_BENCH(TiffReadLibraryAlone);
QUVAR_IMAGE_BENCH(OpenUntilShown);
BENCHMARK_CAPTURE(PhotoDecodeLibraryAlone, ReusedBuffer, true) QUVAR_IMAGE_TIMING;
BENCHMARK_CAPTURE(PhotoDecodeLibraryAlone, FreshMemory, false) QUVAR_IMAGE_TIMING;
