#include "FolderMon.h"

#include "platform/Errors.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// What every watch needs besides the kinds asked for: creations (to know which closed file
// is new and to follow new subfolders), renames, deletions and the folder's own end.
constexpr uint32_t BaseMask = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE |
                              IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool Has(uint8_t events, int event) {
    return (events & FolderEventBit(event)) != 0;
}

// True when no process holds the file open for writing: a read lease is refused while any
// writer has it open. A file linked in complete (written unnamed, then linked) never sends a
// close event, so this is how it is noticed.
bool WriterGone(const QString& path) {
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool gone = fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
    if (gone)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    close(fd);
    return gone;
}

// How often files created but not yet closed are looked at again.
constexpr int RecheckMs = 250;

} // namespace

uint32_t FolderEventsToInotifyMask(uint8_t events) {
    uint32_t mask = BaseMask;
    if (Has(events, FolderEventAttributes) || Has(events, FolderEventCreation) ||
        Has(events, FolderEventSecurity))
        mask |= IN_ATTRIB;
    if (Has(events, FolderEventSize) || Has(events, FolderEventLastWrite))
        mask |= IN_MODIFY;
    if (Has(events, FolderEventLastAccess))
        mask |= IN_ACCESS;
    return mask;
}

class TFolderMon::Worker {
public:
    using Report = std::function<void(const TFolderItemInfo&)>;

    Worker(const QString& folder, uint8_t events, bool subtree, Report report)
        : root_(folder), events_(events), subtree_(subtree), report_(std::move(report)) {
        stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        inotifyFd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (stopFd_ < 0 || inotifyFd_ < 0) {
            CloseFds();
            throw QuvarError(QStringLiteral("Cannot watch the folder %1").arg(folder));
        }
        // A folder that cannot be watched leaves a worker that reports nothing.
        if (AddWatch(QString()) && subtree_)
            AddSubfolders(QString());
        thread_ = std::thread([this] { Run(); });
    }

    ~Worker() {
        const uint64_t one = 1;
        [[maybe_unused]] auto written = write(stopFd_, &one, sizeof one);
        if (thread_.joinable())
            thread_.join();
        CloseFds();
    }

private:
    void CloseFds() {
        if (inotifyFd_ >= 0)
            close(inotifyFd_);
        if (stopFd_ >= 0)
            close(stopFd_);
        inotifyFd_ = stopFd_ = -1;
    }

    bool AddWatch(const QString& relative) {
        const QString path = relative.isEmpty() ? root_ : root_ + '/' + relative;
        const int wd = inotify_add_watch(inotifyFd_, QFile::encodeName(path).constData(),
                                         FolderEventsToInotifyMask(events_));
        if (wd < 0)
            return false;
        paths_[wd] = relative;
        if (relative.isEmpty())
            rootWd_ = wd;
        return true;
    }

    void AddSubfolders(const QString& relative) {
        const QString base = relative.isEmpty() ? root_ : root_ + '/' + relative;
        QDirIterator it(base, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            AddWatch(QDir(root_).relativeFilePath(it.next()));
    }

    QString Join(int wd, const char* name) const {
        const auto it = paths_.find(wd);
        const QString dir = it == paths_.end() ? QString() : it->second;
        const QString file = QFile::decodeName(name);
        return dir.isEmpty() ? file : dir + '/' + file;
    }

    // Moves the watch paths below a renamed subfolder along with it.
    void RenameSubtree(const QString& from, const QString& to) {
        for (auto& [wd, path] : paths_) {
            if (path == from)
                path = to;
            else if (path.startsWith(from + '/'))
                path = to + path.mid(from.size());
        }
    }

    void Emit(const QString& name, uint8_t action) { report_(TFolderItemInfo{name, action}); }

    bool NameKind(bool isDir) const {
        return Has(events_, isDir ? FolderEventDirName : FolderEventFileName);
    }

    // Stops watching a subfolder moved out of the tree, with every folder below it.
    void ForgetSubtree(const QString& relative) {
        for (auto it = paths_.begin(); it != paths_.end();) {
            if (it->first != rootWd_ &&
                (it->second == relative || it->second.startsWith(relative + '/'))) {
                inotify_rm_watch(inotifyFd_, it->first);
                it = paths_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void FlushPendingMove() {
        if (pendingMove_) {
            if (pendingMove_->isDir && subtree_)
                ForgetSubtree(pendingMove_->name);
            if (NameKind(pendingMove_->isDir))
                Emit(pendingMove_->name, 1);
            pendingMove_.reset();
        }
    }

    void Handle(const inotify_event& event) {
        const bool isDir = (event.mask & IN_ISDIR) != 0;
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
            if (event.wd == rootWd_)
                folderGone_ = true;
            else if (event.mask & IN_IGNORED)
                paths_.erase(event.wd);
            return;
        }
        if (event.len == 0)
            return;
        if (!(event.mask & IN_MOVED_TO))
            FlushPendingMove();
        // Events still queued for a subfolder that has left the tree.
        if (!paths_.contains(event.wd))
            return;
        const QString name = Join(event.wd, event.name);
        if (event.mask & IN_CREATE) {
            if (isDir) {
                if (subtree_ && AddWatch(name))
                    AddSubfolders(name);
                if (NameKind(true))
                    Emit(name, 0);
            } else {
                created_.insert(name); // reported once closed
            }
        } else if (event.mask & IN_CLOSE_WRITE) {
            if (created_.erase(name) > 0) {
                if (NameKind(false))
                    Emit(name, 0);
            } else if (Has(events_, FolderEventLastWrite) || Has(events_, FolderEventSize)) {
                Emit(name, 2);
            }
        } else if (event.mask & IN_MODIFY) {
            // The writes of a new file belong to its "New".
            if (!created_.contains(name))
                Emit(name, 2);
        } else if (event.mask & (IN_ATTRIB | IN_ACCESS)) {
            if (!created_.contains(name))
                Emit(name, 2);
        } else if (event.mask & IN_DELETE) {
            created_.erase(name);
            if (NameKind(isDir))
                Emit(name, 1);
        } else if (event.mask & IN_MOVED_FROM) {
            const bool unclosed = created_.erase(name) > 0;
            pendingMove_ = PendingMove{name, event.cookie, isDir, unclosed};
        } else if (event.mask & IN_MOVED_TO) {
            if (pendingMove_ && pendingMove_->cookie == event.cookie && pendingMove_->unclosed) {
                // Renamed before its writer closed it: still a new file, under its new name.
                created_.insert(name);
                pendingMove_.reset();
            } else if (pendingMove_ && pendingMove_->cookie == event.cookie) {
                if (isDir && subtree_)
                    RenameSubtree(pendingMove_->name, name);
                if (NameKind(isDir)) {
                    Emit(pendingMove_->name, 3);
                    Emit(name, 4);
                }
                pendingMove_.reset();
            } else {
                FlushPendingMove();
                if (isDir && subtree_ && AddWatch(name))
                    AddSubfolders(name);
                if (NameKind(isDir))
                    Emit(name, 0);
            }
        }
    }

    // Reports the created files whose writer has gone without a close event.
    void RecheckCreated() {
        for (auto it = created_.begin(); it != created_.end();) {
            const QString path = root_ + '/' + *it;
            if (!QFileInfo::exists(path)) {
                it = created_.erase(it);
            } else if (WriterGone(path)) {
                const QString name = *it;
                it = created_.erase(it);
                if (NameKind(false))
                    Emit(name, 0);
            } else {
                ++it;
            }
        }
    }

    void Run() {
        std::vector<char> buffer(32768);
        auto lastRecheck = std::chrono::steady_clock::now();
        while (true) {
            pollfd fds[2] = {{stopFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
            // A gone folder reads nothing more: wait for the stop alone, without spinning.
            const nfds_t count = folderGone_ || rootWd_ < 0 ? 1 : 2;
            const bool pending = count == 2 && !created_.empty();
            if (pending && std::chrono::steady_clock::now() - lastRecheck >=
                               std::chrono::milliseconds(RecheckMs)) {
                RecheckCreated();
                lastRecheck = std::chrono::steady_clock::now();
            }
            if (poll(fds, count, pending ? RecheckMs : -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[0].revents != 0)
                return;
            if (count < 2 || fds[1].revents == 0)
                continue;
            const ssize_t got = read(inotifyFd_, buffer.data(), buffer.size());
            if (got <= 0) {
                if (got < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                folderGone_ = true;
                continue;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                if (event->mask & IN_Q_OVERFLOW)
                    created_.clear(); // lost changes are not reported
                else
                    Handle(*event);
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
            FlushPendingMove();
        }
    }

    struct PendingMove {
        QString name;
        uint32_t cookie = 0;
        bool isDir = false;
        bool unclosed = false; // a new file not yet reported
    };

    QString root_;
    uint8_t events_ = 0;
    bool subtree_ = false;
    Report report_;
    int stopFd_ = -1;
    int inotifyFd_ = -1;
    int rootWd_ = -1;
    bool folderGone_ = false;
    std::map<int, QString> paths_;
    std::set<QString> created_;
    std::optional<PendingMove> pendingMove_;
    std::thread thread_;
};

TFolderMon::TFolderMon() : receiver_(std::make_unique<QObject>()) {}

TFolderMon::~TFolderMon() {
    Deactivate();
}

namespace {

// Letter case alone is ignored, as on the file systems that ignore it; but two existing
// folders that differ only in case are two folders.
bool SameFolder(const QString& current, const QString& path) {
    if (path.toLower() != current.toLower())
        return false;
    if (path == current || !QFileInfo(path).isDir())
        return true;
    return QFileInfo(current).canonicalFilePath() == QFileInfo(path).canonicalFilePath();
}

} // namespace

void TFolderMon::SetFolder(const QString& path) {
    if (SameFolder(folder_, path))
        return;
    if (IsActive())
        throw QuvarError(QStringLiteral("Currently still actively monitoring a folder. Please "
                                        "deactivate before changing monitored folder."));
    folder_ = path;
}

void TFolderMon::SetEvents(uint8_t events) {
    if (events == events_)
        return;
    if (IsActive())
        throw QuvarError(QStringLiteral(
            "The monitor must be deactivated before changing the monitored event(s)"));
    events_ = events;
}

void TFolderMon::Activate() {
    if (IsActive())
        return;
    if (events_ == 0)
        throw QuvarError(QStringLiteral("Please specify event(s) to be monitored"));
    if (folder_.isEmpty() || !QFileInfo(folder_).isDir())
        throw QuvarError(QStringLiteral("Please supply valid/existing folder"));
    const uint64_t generation = ++generation_;
    QPointer<QObject> receiver = receiver_.get();
    // Reports are queued, never waited for, so stopping the worker from the owner's thread
    // cannot deadlock; the generation drops whatever a stopped worker had still queued.
    worker_ = std::make_unique<Worker>(
        folder_, events_, WatchSubtree, [this, generation, receiver](const TFolderItemInfo& info) {
            QMetaObject::invokeMethod(
                receiver.data(),
                [this, generation, info] {
                    if (generation == generation_ && worker_ && OnFolderChange)
                        OnFolderChange(this, info);
                },
                Qt::QueuedConnection);
        });
    if (OnActivated)
        OnActivated(this);
}

void TFolderMon::Deactivate() {
    if (!IsActive())
        return;
    ++generation_;
    worker_.reset();
    if (OnDeactivated)
        OnDeactivated(this);
}
