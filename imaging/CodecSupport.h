#pragma once
// Pieces the image file readers share.

#include <QByteArray>
#include <QString>

// The whole file; throws "Unable to open file '<path>'" when it cannot be read.
QByteArray ReadFileBytes(const QString& path);
