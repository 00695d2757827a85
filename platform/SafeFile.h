#pragma once
// Replacing a file without ever destroying what was there: the new content goes to a
// temporary file in the target's folder, is flushed, and is renamed over the target. The
// temporary file is named after the target: "<target>.XXXXXX.tmp", six letters or digits
// (a name too long for that is cut and given a hash of itself). A symbolic link stays: the
// file it points to is replaced.

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
    // Flushes the temporary file to disk and renames it over the target. Then removes what
    // earlier interrupted saves of the same target left: files named as our temporary files.
    void commit();

private:
    friend void CommitTogether(SafeFileReplace& first, SafeFileReplace& second);
    friend void CommitAndRemove(SafeFileReplace& replace, const QString& obsolete);
    void sync() const;
    void finish();

    QString target_;
    QString place_; // target with its symbolic links followed: the file replaced
    QString tempPath_;
    bool committed_ = false;
};

// Two files that belong together (a picture and its side file): both temporary files are
// flushed before either is renamed, and when the second cannot take its place the first
// gets its old content back, so either both targets are new or neither changed. Throws
// "Unable to write to <target>" naming the target that failed.
void CommitTogether(SafeFileReplace& first, SafeFileReplace& second);

// Commits the replacement and removes obsolete (a side file that no longer belongs to the
// new content): both or neither. Throws as commit, or naming obsolete.
void CommitAndRemove(SafeFileReplace& replace, const QString& obsolete);

// Removes the files in target's folder that are named as our temporary files of target.
void RemoveStaleTemporaryFiles(const QString& target);

// The whole content in one go; throws "Unable to write to <path>" on any failure and
// then leaves the old file as it was.
void WriteFileSafely(const QString& path, QByteArrayView data);

// The standard message of a refused write.
QString UnableToWriteMessage(const QString& path);
