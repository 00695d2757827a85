#include "SafeFile.h"

#include "Errors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString TemporarySuffix = QStringLiteral(".XXXXXX.tmp");

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

bool Exists(const QString& path) {
    struct stat status {};
    return ::lstat(Native(path).constData(), &status) == 0;
}

bool IsDirectory(const QString& path) {
    struct stat status {};
    return ::lstat(Native(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// How a temporary file took its target's place, so that it can be taken back.
struct Placement {
    QString temp;
    QString target;
    bool exchanged = false; // the old content now lies under the temporary name
    bool created = false;   // there was no target
};

// An existing target is exchanged with the temporary file in one step, so its old content
// stays at hand until the other file of a pair is in place too. Where the file system
// cannot exchange, a plain rename (which cannot be taken back) has to do.
Placement Place(const QString& temp, const QString& target, const QString& named) {
    Placement placed{temp, target};
    const QByteArray from = Native(temp);
    const QByteArray to = Native(target);
    if (!Exists(target)) {
        if (std::rename(from.constData(), to.constData()) != 0)
            throw QuvarError(UnableToWriteMessage(named));
        placed.created = true;
        return placed;
    }
    // An exchange would move a folder aside; a rename over one fails.
    if (IsDirectory(target))
        throw QuvarError(UnableToWriteMessage(named));
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
        placed.exchanged = true;
        return placed;
    }
    if ((errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) ||
        std::rename(from.constData(), to.constData()) != 0)
        throw QuvarError(UnableToWriteMessage(named));
    return placed;
}

// The target as it was; the new content goes back under the temporary name.
void Undo(const Placement& placed) {
    const QByteArray temp = Native(placed.temp);
    const QByteArray target = Native(placed.target);
    if (placed.exchanged)
        ::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE);
    else if (placed.created)
        std::rename(target.constData(), temp.constData());
}

void Finish(const Placement& placed) {
    if (placed.exchanged)
        QFile::remove(placed.temp);
}

bool SyncFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The file a path names once its symbolic links are followed: saving through a link
// replaces the file it points to and keeps the link. A path with too many links stays as
// it is; renaming over it fails or replaces the last link.
QString FollowLinks(const QString& path) {
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return current;
        current = info.symLinkTarget();
    }
    return current;
}

// The name our temporary files of target start with: the target's own name, or where that
// name leaves no room for the 11 characters of the suffix within the folder's limit, a cut
// of it made unique by a hash of the whole name.
QString TemporaryStem(const QString& target) {
    const QFileInfo info(target);
    const QString name = info.fileName();
    const long limit = ::pathconf(Native(info.absolutePath()).constData(), _PC_NAME_MAX);
    const qsizetype room = (limit > 0 ? qsizetype(limit) : NAME_MAX) - TemporarySuffix.size();
    if (Native(name).size() <= room)
        return name;
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(Native(name), QCryptographicHash::Sha1).toHex().left(8));
    QString cut = name;
    while (!cut.isEmpty() && Native(cut).size() > room - 1 - hash.size())
        cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
    return cut + u'.' + hash;
}

QString TemporaryTemplate(const QString& target) {
    return QFileInfo(target).absolutePath() + u'/' + TemporaryStem(target) + TemporarySuffix;
}

} // namespace

QString UnableToWriteMessage(const QString& path) {
    return QStringLiteral("Unable to write to %1").arg(path);
}

SafeFileReplace::SafeFileReplace(const QString& target)
    : target_(target), place_(FollowLinks(target)) {
    QTemporaryFile temp(TemporaryTemplate(place_));
    temp.setAutoRemove(false);
    if (!temp.open())
        throw QuvarError(UnableToWriteMessage(target));
    tempPath_ = temp.fileName();
    // Keep the mode and, where we may (as root), the owner of the file we replace, so that
    // its user can still read and write it; a new file gets the usual 0644.
    const QByteArray temporary = Native(tempPath_);
    struct stat old {};
    if (::stat(Native(place_).constData(), &old) == 0) {
        // Refused unless we are root or the owner: then the file stays ours.
        [[maybe_unused]] const int given = ::chown(temporary.constData(), old.st_uid, old.st_gid);
        ::chmod(temporary.constData(), old.st_mode & 0777);
    } else {
        ::chmod(temporary.constData(), 0644);
    }
}

SafeFileReplace::~SafeFileReplace() {
    if (!committed_)
        QFile::remove(tempPath_);
}

void SafeFileReplace::sync() const {
    if (!SyncFile(tempPath_))
        throw QuvarError(UnableToWriteMessage(target_));
}

void SafeFileReplace::finish() {
    committed_ = true;
    RemoveStaleTemporaryFiles(place_);
}

void SafeFileReplace::commit() {
    sync();
    if (std::rename(Native(tempPath_).constData(), Native(place_).constData()) != 0)
        throw QuvarError(UnableToWriteMessage(target_));
    finish();
}

void CommitTogether(SafeFileReplace& first, SafeFileReplace& second) {
    first.sync();
    second.sync();
    const Placement placedFirst = Place(first.tempPath_, first.place_, first.target_);
    Placement placedSecond;
    try {
        placedSecond = Place(second.tempPath_, second.place_, second.target_);
    } catch (const QuvarError&) {
        Undo(placedFirst);
        throw;
    }
    Finish(placedFirst);
    Finish(placedSecond);
    first.finish();
    second.finish();
}

void CommitAndRemove(SafeFileReplace& replace, const QString& obsolete) {
    if (!Exists(obsolete)) {
        replace.commit();
        return;
    }
    replace.sync();
    if (IsDirectory(obsolete))
        throw QuvarError(UnableToWriteMessage(obsolete));
    // Moved aside under a temporary name of its own, so that it can come back.
    QString aside;
    {
        QTemporaryFile reserved(TemporaryTemplate(obsolete));
        reserved.setAutoRemove(false);
        if (!reserved.open())
            throw QuvarError(UnableToWriteMessage(obsolete));
        aside = reserved.fileName();
    }
    if (std::rename(Native(obsolete).constData(), Native(aside).constData()) != 0) {
        QFile::remove(aside);
        throw QuvarError(UnableToWriteMessage(obsolete));
    }
    if (std::rename(Native(replace.tempPath_).constData(), Native(replace.place_).constData()) !=
        0) {
        std::rename(Native(aside).constData(), Native(obsolete).constData());
        throw QuvarError(UnableToWriteMessage(replace.target_));
    }
    QFile::remove(aside); // if it stays, the next save of obsolete removes it
    replace.finish();
}

void RemoveStaleTemporaryFiles(const QString& target) {
    const QFileInfo info(target);
    const QString stem = TemporaryStem(target);
    // The letters and digits QTemporaryFile puts in place of the X's.
    const QRegularExpression ours(QStringLiteral("^") + QRegularExpression::escape(stem) +
                                  QStringLiteral("\\.[A-Za-z0-9]{6}\\.tmp$"));
    QDir folder = info.absoluteDir();
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        if (name.startsWith(stem) && ours.match(name).hasMatch())
            folder.remove(name);
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
