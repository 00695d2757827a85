#include "FileMove.h"

#include "Errors.h"
#include "RegularFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// The reason of a failed call; errno is read before anything else can change it.
struct MoveFailure {
    int error;
};

constexpr int NotARegularFile = -1; // a reason of our own, not an errno value

[[noreturn]] void Fail(int error = errno) {
    throw MoveFailure{error};
}

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // A close that fails (a full disk on a network file system) fails the copy.
    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            Fail();
    }

private:
    int fd_;
};

void WriteAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            Fail(written < 0 ? errno : ENOSPC);
        data += written;
        size -= written;
    }
}

void CopyContent(int from, int to) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail();
        if (got == 0)
            return;
        WriteAll(to, buffer, got);
    }
}

// Gives from the name to without replacing anything there. Where the file system cannot
// refuse a replacement itself, a link (or, without links, a rename after a look) has to do.
void RenameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        Fail();
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        Fail();
    struct stat there {};
    if (::lstat(to.constData(), &there) == 0)
        Fail(EEXIST);
    if (std::rename(from.constData(), to.constData()) != 0)
        Fail();
}

void SyncFolder(const QString& folder) {
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// The copy across file systems: under a temporary name until it is complete and on disk.
void CopyThenRemove(const QString& source, const QString& target) {
    errno = 0;
    Descriptor in(OpenRegularFileForReading(source)); // never waits for a FIFO's writer
    if (in.get() < 0)
        Fail(errno != 0 ? errno : NotARegularFile);
    struct stat status {};
    if (::fstat(in.get(), &status) != 0)
        Fail();

    const QString folder = QFileInfo(target).absolutePath();
    QByteArray temporary = Native(folder + QStringLiteral("/.quvar-move-XXXXXX"));
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0)
        Fail();
    try {
        CopyContent(in.get(), out.get());
        ::fchmod(out.get(), status.st_mode & 0777);
        if (::fsync(out.get()) != 0)
            Fail();
        out.close();
        RenameWithoutReplacing(temporary, Native(target));
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    SyncFolder(folder);
    // The copy is complete: a source that cannot be removed leaves two whole files.
    ::unlink(Native(source).constData());
}

} // namespace

void MoveFileSafely(const QString& source, const QString& target) {
    const QByteArray from = Native(source);
    try {
        struct stat status {};
        if (::lstat(from.constData(), &status) != 0)
            Fail();
        if (S_ISLNK(status.st_mode)) {
            CopyThenRemove(source, target);
            return;
        }
        if (!S_ISREG(status.st_mode))
            Fail(NotARegularFile);
        try {
            RenameWithoutReplacing(from, Native(target));
        } catch (const MoveFailure& failure) {
            if (failure.error != EXDEV)
                throw;
            CopyThenRemove(source, target);
        }
    } catch (const MoveFailure& failure) {
        const QString reason = failure.error == NotARegularFile
                                   ? QStringLiteral("it is not a regular file")
                                   : qt_error_string(failure.error);
        throw QuvarError(
            QStringLiteral("Cannot move %1 to %2: %3")
                .arg(QDir::toNativeSeparators(source), QDir::toNativeSeparators(target), reason));
    }
}

int FileNameLimit(const QString& folder) {
    const long limit = ::pathconf(Native(folder).constData(), _PC_NAME_MAX);
    return limit > 0 && limit < INT_MAX ? int(limit) : NAME_MAX;
}

namespace {

// text without its last whole characters until it takes at most limitBytes bytes.
QString CutToBytes(QString text, qsizetype limitBytes) {
    while (!text.isEmpty() && Native(text).size() > limitBytes)
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    return text;
}

} // namespace

QString FitFileName(const QString& name, int limitBytes) {
    if (Native(name).size() <= limitBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const qsizetype room = limitBytes - Native(extension).size();
    if (room < 1) // no room for the extension: the name is cut like a name without one
        return CutToBytes(name, limitBytes);
    return CutToBytes(stem, room) + extension;
}
