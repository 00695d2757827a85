#pragma once
// Fixtures shared by the imaging tests (defined in ImageFilesTest.cpp unless inline).

#include "support/OutsideTool.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstring>
#include <optional>

namespace imagetest {

QImage NoisyBitmap(int width, int height, uint32_t seed);
QByteArray ReadAll(const QString& path);
void WriteAll(const QString& path, const QByteArray& data);
using quvartest::RunTool;

// Same size, format and pixel bytes (row padding ignored).
inline bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    const size_t rowBytes = size_t(a.width()) * size_t(a.depth() / 8);
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes) != 0)
            return false;
    return true;
}

} // namespace imagetest
