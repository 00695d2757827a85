#include "SafeFile.h"

#include "Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SyncFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

QString UnableToWriteMessage(const QString& path) {
    return QStringLiteral("Unable to write to %1").arg(path);
}

SafeFileReplace::SafeFileReplace(const QString& target) : target_(target) {
    QTemporaryFile temp(target + QStringLiteral(".XXXXXX.tmp"));
    temp.setAutoRemove(false);
    if (!temp.open())
        throw QuvarError(UnableToWriteMessage(target));
    tempPath_ = temp.fileName();
    // Keep the permissions of the file we replace; a new file gets the usual 0644.
    QFileInfo old(target);
    if (old.exists())
        QFile::setPermissions(tempPath_, old.permissions());
    else
        ::chmod(QFile::encodeName(tempPath_).constData(), 0644);
}

SafeFileReplace::~SafeFileReplace() {
    if (!committed_)
        QFile::remove(tempPath_);
}

void SafeFileReplace::commit() {
    if (!SyncFile(tempPath_) || std::rename(QFile::encodeName(tempPath_).constData(),
                                            QFile::encodeName(target_).constData()) != 0)
        throw QuvarError(UnableToWriteMessage(target_));
    committed_ = true;
}

void WriteFileSafely(const QString& path, QByteArrayView data) {
    SafeFileReplace replace(path);
    {
        QFile file(replace.tempPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(data.data(), data.size()) != data.size() || !file.flush())
            throw QuvarError(UnableToWriteMessage(path));
    }
    replace.commit();
}
