#pragma once
// Small pieces the codec files share: a size check before any pixel allocation, whole-file
// reading and an owner for C stdio files.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <memory>

// A bitmap for a size read from a file header; the size is checked in 64 bits first, so
// absurd header values give a clear error instead of an overflow or a huge allocation.
QImage AllocateBitmap(int64_t width, int64_t height, QImage::Format format);

// The whole file; throws "Unable to open file '<path>'" when it cannot be read.
QByteArray ReadFileBytes(const QString& path);

struct StdioFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// Opens path for writing; throws "Unable to write to <path>" (named after displayName).
StdioFile CreateStdioFile(const QString& path, const QString& displayName);
// Flushes and closes the file; throws "Unable to write to <displayName>" when that fails.
void CloseStdioFile(StdioFile& file, const QString& displayName);
