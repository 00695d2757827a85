// Saving a measurement list of 10,000 rows of a row number and five values, as ".xls"
// (our BIFF writer) and as ".xlsx" (libxlsxwriter), each through the safe replace
// (temporary file, flush to disk, rename). Baselines: the same bytes written with plain
// writes, without and with the flush to disk, so that the writers' own cost shows.

#include "measure/MeasurementList.h"
#include "measure/SpreadsheetExport.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Rows = 10000, ValueColumns = 5;

const StringGrid& List() {
    static const StringGrid grid = [] {
        TLBFormFields list;
        list.SetColumnsPerRow(ValueColumns);
        for (int i = 0; i < Rows * ValueColumns; ++i)
            list.AddMeasurement(QString::number(10 + (i * 7919 % 100000) / 100.0, 'f', 2));
        list.DropEmptyLastRow();
        return list.Grid;
    }();
    return grid;
}

QTemporaryDir& Folder() {
    static QTemporaryDir folder(QStringLiteral("spreadsheet_bench-XXXXXX"));
    return folder;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void PlainWrite(benchmark::State& state, const QByteArray& bytes, bool flushToDisk) {
    const QByteArray path = QFile::encodeName(Folder().filePath("plain.bin"));
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() ||
            (flushToDisk && ::fsync(fd) != 0)) {
            state.SkipWithError("write failed");
            break;
        }
        ::close(fd);
    }
    state.counters["KB"] = double(bytes.size()) / 1024;
}

void BM_SaveXls(benchmark::State& state) {
    const QString path = Folder().filePath("list.xls");
    for (auto _ : state)
        SaveGridAsBiffFile(List(), path);
    state.counters["KB"] = double(QFile(path).size()) / 1024;
}

void BM_BiffBytesInMemory(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(BiffWorksheet(List()));
}

void BM_PlainWriteOfTheXlsBytes(benchmark::State& state) {
    PlainWrite(state, BiffWorksheet(List()), false);
}

void BM_PlainWriteAndFlushOfTheXlsBytes(benchmark::State& state) {
    PlainWrite(state, BiffWorksheet(List()), true);
}

void BM_SaveXlsx(benchmark::State& state) {
    const QString path = Folder().filePath("list.xlsx");
    for (auto _ : state)
        SaveGridAsXlsxFile(List(), QStringLiteral("Measurements"), path);
    state.counters["KB"] = double(QFile(path).size()) / 1024;
}

QByteArray XlsxBytes() {
    const QString path = Folder().filePath("reference.xlsx");
    SaveGridAsXlsxFile(List(), QStringLiteral("Measurements"), path);
    return FileBytes(path);
}

void BM_PlainWriteOfTheXlsxBytes(benchmark::State& state) {
    PlainWrite(state, XlsxBytes(), false);
}

void BM_PlainWriteAndFlushOfTheXlsxBytes(benchmark::State& state) {
    PlainWrite(state, XlsxBytes(), true);
}

} // namespace

BENCHMARK(BM_SaveXls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BiffBytesInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteOfTheXlsBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteAndFlushOfTheXlsBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveXlsx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteOfTheXlsxBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteAndFlushOfTheXlsxBytes)->Unit(benchmark::kMillisecond);
