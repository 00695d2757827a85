// A file's bytes read and written whole, for tests that compare files byte for byte.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace quvartest {

// The file's bytes, or "(missing)" when it cannot be read.
inline QByteArray Content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Writes data as the whole file, failing the test when it cannot.
inline void Put(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size()) << path.toStdString();
}

} // namespace quvartest
