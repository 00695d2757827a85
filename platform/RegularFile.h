#pragma once
// Reading only regular files. A FIFO, a device or a folder named like a picture would make
// a reader wait for ever or read without end: each is refused before it is opened, and no
// check opens a file in a way that could block.

#include <QFile>
#include <QString>

// True when path names a regular file once its symbolic links are followed. Opens nothing.
bool IsRegularFile(const QString& path);

// A descriptor for reading path, or -1 when it is no regular file or cannot be opened.
// The type is checked before the open and again on the descriptor, which is opened
// without waiting: a file swapped for a FIFO in between is refused too, with no reader
// ever seen by its writer. Reads on the descriptor block as usual.
int OpenRegularFileForReading(const QString& path);

// The same into file, opened read-only and owning the descriptor; false when refused.
bool OpenRegularFile(QFile& file, const QString& path);
