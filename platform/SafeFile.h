#pragma once
// Replacing a file without ever destroying what was there: the new content goes to a
// temporary file in the target's folder, is flushed, and is renamed over the target.

#include <QByteArrayView>
#include <QString>

class SafeFileReplace {
public:
    // Creates the temporary file; throws "Unable to write to <target>" when it cannot.
    explicit SafeFileReplace(const QString& target);
    ~SafeFileReplace(); // removes the temporary file unless committed
    SafeFileReplace(const SafeFileReplace&) = delete;
    SafeFileReplace& operator=(const SafeFileReplace&) = delete;

    const QString& target() const { return target_; }
    // Where the new content is written (by us or by a C library given a path).
    const QString& tempPath() const { return tempPath_; }
    // Flushes the temporary file to disk and renames it over the target.
    void commit();

private:
    QString target_;
    QString tempPath_;
    bool committed_ = false;
};

// The whole content in one go; throws "Unable to write to <path>" on any failure and
// then leaves the old file as it was.
void WriteFileSafely(const QString& path, QByteArrayView data);

// The standard message of a refused write.
QString UnableToWriteMessage(const QString& path);
