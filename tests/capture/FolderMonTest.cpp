// The folder monitor over real files: what each change reports, in which order, and that
// stopping it ends its worker without leaving a thread or a descriptor behind.

#include "capture/FolderMon.h"
#include "platform/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Report {
    QString name;
    QString action;
    bool operator==(const Report&) const = default;
};

void PrintTo(const Report& r, std::ostream* os) {
    *os << r.action.toStdString() << ":" << r.name.toStdString();
}

class FolderMonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        mon.OnFolderChange = [this](TFolderMon* sender, const TFolderItemInfo& info) {
            EXPECT_EQ(sender, &mon);
            reports.push_back({info.FileName, FolderActionNames.at(info.Action)});
        };
        mon.SetFolder(dir.path());
    }

    void Start(uint8_t events, bool subtree = false) {
        mon.SetEvents(events);
        mon.WatchSubtree = subtree;
        mon.Activate();
    }

    // Lets the queued reports arrive until there are at least count of them.
    void WaitFor(size_t count, int ms = 3000) {
        QElapsedTimer timer;
        timer.start();
        while (reports.size() < count && timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    // Lets everything queued arrive (used where nothing more may come).
    void Settle(int ms = 300) { WaitFor(size_t(-1), ms); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    void Write(const QString& name, const QByteArray& data = "x") {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }

    QTemporaryDir dir;
    TFolderMon mon;
    std::vector<Report> reports;
};

constexpr uint8_t FileNames = FolderEventBit(FolderEventFileName);

TEST(FolderMonRules, ActivateAndSettersRefuseWithTheirMessages) {
    QTemporaryDir dir;
    TFolderMon mon;
    mon.SetFolder(dir.path() + "/missing");
    try {
        mon.Activate();
        FAIL() << "no exception";
    } catch (const QuvarError& e) {
        EXPECT_EQ(e.message(), "Please specify event(s) to be monitored");
    }
    mon.SetEvents(FileNames);
    try {
        mon.Activate();
        FAIL() << "no exception";
    } catch (const QuvarError& e) {
        EXPECT_EQ(e.message(), "Please supply valid/existing folder");
    }
    EXPECT_FALSE(mon.IsActive());

    const QString upper = dir.path() + "/Cam";
    ASSERT_TRUE(QDir().mkpath(upper));
    mon.SetFolder(upper);
    mon.Activate();
    EXPECT_TRUE(mon.IsActive());
    mon.SetFolder(dir.path() + "/CAM"); // letter case only: ignored
    EXPECT_EQ(mon.Folder(), upper);
    try {
        mon.SetFolder(dir.path());
        FAIL() << "no exception";
    } catch (const QuvarError& e) {
        EXPECT_EQ(e.message(), "Currently still actively monitoring a folder. Please deactivate "
                               "before changing monitored folder.");
    }
    try {
        mon.SetEvents(FolderEventBit(FolderEventDirName));
        FAIL() << "no exception";
    } catch (const QuvarError& e) {
        EXPECT_EQ(e.message(),
                  "The monitor must be deactivated before changing the monitored event(s)");
    }
    EXPECT_EQ(mon.Folder(), upper);
    EXPECT_EQ(mon.Events(), FileNames);
}

// Paths that differ only in letter case name two folders here: both existing, a change
// from one to the other is a change of folder, not a case of the same one.
TEST(FolderMonRules, AnotherFolderDifferingInLetterCaseIsTakenOver) {
    QTemporaryDir dir;
    const QString upper = dir.path() + "/Cam";
    const QString lower = dir.path() + "/cam";
    ASSERT_TRUE(QDir().mkpath(upper));
    ASSERT_TRUE(QDir().mkpath(lower));
    TFolderMon mon;
    mon.SetEvents(FileNames);
    mon.SetFolder(upper);
    mon.Activate();
    try {
        mon.SetFolder(lower);
        FAIL() << "no exception";
    } catch (const QuvarError& e) {
        EXPECT_EQ(e.message(), "Currently still actively monitoring a folder. Please deactivate "
                               "before changing monitored folder.");
    }
    EXPECT_EQ(mon.Folder(), upper);
    mon.Deactivate();
    mon.SetFolder(lower);
    EXPECT_EQ(mon.Folder(), lower);

    std::vector<QString> names;
    mon.OnFolderChange = [&](TFolderMon*, const TFolderItemInfo& info) {
        names.push_back(info.FileName);
    };
    mon.Activate();
    QFile(lower + "/shot.jpg").open(QIODevice::WriteOnly);
    QElapsedTimer timer;
    timer.start();
    while (names.empty() && timer.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(names, std::vector<QString>{"shot.jpg"});
}

TEST_F(FolderMonTest, ActivatedAndDeactivatedAreSignalled) {
    std::vector<QString> calls;
    mon.OnActivated = [&](TFolderMon*) { calls.push_back("on"); };
    mon.OnDeactivated = [&](TFolderMon*) { calls.push_back("off"); };
    Start(FileNames);
    mon.Activate(); // already active: nothing
    mon.Deactivate();
    mon.Deactivate(); // inactive: nothing
    EXPECT_EQ(calls, (std::vector<QString>{"on", "off"}));
}

TEST_F(FolderMonTest, FileNameChangesGetTheirActions) {
    Write("old.jpg");
    Start(FileNames);
    Write("new.jpg");
    ASSERT_TRUE(QFile::rename(Path("old.jpg"), Path("renamed.jpg")));
    ASSERT_TRUE(QFile::remove(Path("new.jpg")));
    QTemporaryDir outside;
    QFile::copy(Path("renamed.jpg"), outside.filePath("in.jpg"));
    ASSERT_TRUE(QFile::rename(outside.filePath("in.jpg"), Path("in.jpg")));
    ASSERT_TRUE(QFile::rename(Path("renamed.jpg"), outside.filePath("out.jpg")));
    WaitFor(6);
    Settle();
    EXPECT_EQ(reports, (std::vector<Report>{{"new.jpg", "New"},
                                            {"old.jpg", "Old Name"},
                                            {"renamed.jpg", "New name"},
                                            {"new.jpg", "Removed"},
                                            {"in.jpg", "New"},
                                            {"renamed.jpg", "Removed"}}));
}

TEST_F(FolderMonTest, AFileWrittenInChunksIsReportedOnceAfterItsClose) {
    Start(FileNames);
    QFile f(Path("slow.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    for (int i = 0; i < 5; ++i) {
        f.write(QByteArray(4096, char(i)));
        f.flush();
        Settle(60);
    }
    EXPECT_TRUE(reports.empty()) << "reported before the writer closed it";
    f.close();
    WaitFor(1);
    Settle();
    EXPECT_EQ(reports, (std::vector<Report>{{"slow.jpg", "New"}}));
}

// A writer that gives its file the final name before it closes it: the file is new, and
// reported once, under that name, when it is complete.
TEST_F(FolderMonTest, AFileRenamedBeforeItsCloseIsReportedOnceClosed) {
    Start(FileNames);
    QFile f(Path("part.tmp"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("half");
    f.flush();
    Settle(100);
    ASSERT_TRUE(QFile::rename(Path("part.tmp"), Path("shot.jpg")));
    Settle();
    EXPECT_TRUE(reports.empty()) << "reported before the writer closed it";
    f.write("rest");
    f.close();
    WaitFor(1);
    Settle();
    EXPECT_EQ(reports, (std::vector<Report>{{"shot.jpg", "New"}}));
}

TEST_F(FolderMonTest, AFileLinkedInCompleteIsReportedOnce) {
    // QFile::copy writes an unnamed file and links it in: no close event follows.
    QTemporaryDir outside;
    const QString source = outside.filePath("src.jpg");
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("data");
    }
    Start(FileNames);
    ASSERT_TRUE(QFile::copy(source, Path("copied.jpg")));
    WaitFor(1);
    Settle(600);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), (Report{"copied.jpg", "New"}));
    EXPECT_EQ(std::count(reports.begin(), reports.end(), Report{"copied.jpg", "New"}), 1);
}

TEST_F(FolderMonTest, ModificationsOfExistingFilesOnlyWhenAsked) {
    Write("a.jpg");
    Start(FileNames | FolderEventBit(FolderEventLastWrite));
    {
        QFile f(Path("a.jpg"));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("more");
    }
    WaitFor(1);
    Settle();
    ASSERT_FALSE(reports.empty());
    for (const auto& r : reports)
        EXPECT_EQ(r, (Report{"a.jpg", "Modified"}));

    mon.Deactivate();
    reports.clear();
    mon.SetEvents(FileNames);
    mon.Activate();
    {
        QFile f(Path("a.jpg"));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("more");
    }
    Settle();
    EXPECT_TRUE(reports.empty());
}

TEST_F(FolderMonTest, FoldersAreTheirOwnKind) {
    Start(FolderEventBit(FolderEventDirName));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    Write("file.jpg");
    ASSERT_TRUE(QDir(dir.path()).rmdir("sub"));
    WaitFor(2);
    Settle();
    EXPECT_EQ(reports, (std::vector<Report>{{"sub", "New"}, {"sub", "Removed"}}));
}

TEST_F(FolderMonTest, SubfoldersOnlyWithWatchSubtree) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("old/deep"));
    for (bool subtree : {false, true}) {
        SCOPED_TRACE(subtree);
        reports.clear();
        Start(FileNames, subtree);
        Write("old/deep/a.jpg");
        ASSERT_TRUE(QDir(dir.path()).mkpath("fresh"));
        Settle(100);
        Write("fresh/b.jpg");
        ASSERT_TRUE(QFile::rename(Path("fresh"), Path("moved")));
        Settle(100);
        Write("moved/c.jpg");
        Write("top.jpg");
        WaitFor(subtree ? 4 : 1);
        Settle();
        if (subtree)
            EXPECT_EQ(reports, (std::vector<Report>{{"old/deep/a.jpg", "New"},
                                                    {"fresh/b.jpg", "New"},
                                                    {"moved/c.jpg", "New"},
                                                    {"top.jpg", "New"}}));
        else
            EXPECT_EQ(reports, (std::vector<Report>{{"top.jpg", "New"}}));
        mon.Deactivate();
        for (const char* name : {"old/deep/a.jpg", "moved/b.jpg", "moved/c.jpg", "top.jpg"})
            QFile::remove(Path(name));
        QDir(dir.path()).rmdir("moved");
    }
}

// A subfolder moved out of the watched tree takes its files with it: what happens there
// afterwards is outside the folder and not reported under the old name.
TEST_F(FolderMonTest, ASubfolderMovedOutIsNoLongerWatched) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("sub/deep"));
    QTemporaryDir outside;
    Start(FileNames | FolderEventBit(FolderEventDirName), true);
    ASSERT_TRUE(QFile::rename(Path("sub"), outside.filePath("sub")));
    WaitFor(1);
    Settle(100);
    {
        QFile f(outside.filePath("sub/gone.jpg"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QFile g(outside.filePath("sub/deep/gone.jpg"));
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    }
    Write("top.jpg");
    WaitFor(2);
    Settle();
    EXPECT_EQ(reports, (std::vector<Report>{{"sub", "Removed"}, {"top.jpg", "New"}}));
}

// The threads of this process, by id.
QStringList ThreadIds() {
    return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// Whether thread `id` sleeps (state S), and how often it has gone to sleep of its own accord.
struct ThreadSleep {
    bool asleep = false;
    long long voluntarySwitches = -1;
};

ThreadSleep SleepOf(const QString& id) {
    ThreadSleep sleep;
    QFile status("/proc/self/task/" + id + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return sleep;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("State:"))
            sleep.asleep = line.mid(6).trimmed().startsWith('S');
        else if (line.startsWith("voluntary_ctxt_switches:"))
            sleep.voluntarySwitches = line.mid(24).trimmed().toLongLong();
    }
    return sleep;
}

// Whether done() holds within 5 s. No event is processed meanwhile: queued reports stay
// queued.
bool Eventually(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 5000)
            return false;
        QThread::msleep(1);
    }
    return true;
}

// The thread that start() begins, found among this process's threads before and after.
QString NewThread(const std::function<void()>& start) {
    const QStringList others = ThreadIds();
    start();
    QStringList started = ThreadIds();
    for (const QString& id : others)
        started.removeAll(id);
    return started.size() == 1 ? started.front() : QString();
}

// Whether thread `id`, once asleep, is woken by wake() and goes back to sleep: then it has
// handled what woke it.
bool HandledAndAsleep(const QString& id, const std::function<void()>& wake) {
    if (!Eventually([&] { return SleepOf(id).asleep; }))
        return false;
    const long long before = SleepOf(id).voluntarySwitches;
    wake();
    return Eventually([&] {
        const ThreadSleep now = SleepOf(id);
        return now.asleep && now.voluntarySwitches > before;
    });
}

TEST_F(FolderMonTest, NothingIsReportedAfterDeactivate) {
    const QString worker = NewThread([&] { Start(FileNames); });
    ASSERT_FALSE(worker.isEmpty()) << "the worker thread is not found";
    // Queued but not yet delivered when the monitor stops: dropped too.
    ASSERT_TRUE(HandledAndAsleep(worker, [&] { Write("before.jpg"); }));
    mon.Deactivate();
    Write("after.jpg");
    Settle();
    EXPECT_TRUE(reports.empty());
}

TEST_F(FolderMonTest, ADeletedFolderStopsTheWorkerWithoutSpinning) {
    const QString watched = Path("watched");
    ASSERT_TRUE(QDir().mkpath(watched));
    mon.SetFolder(watched);
    const QString worker = NewThread([&] { Start(FileNames); });
    ASSERT_FALSE(worker.isEmpty()) << "the worker thread is not found";
    // The deletion wakes the worker; an idle one goes back to sleep in its wait, a spinning
    // one never sleeps again.
    EXPECT_TRUE(HandledAndAsleep(worker, [&] { ASSERT_TRUE(QDir(watched).removeRecursively()); }));
    EXPECT_TRUE(mon.IsActive());
    mon.Deactivate();
    EXPECT_FALSE(mon.IsActive());
}

int CountEntries(const char* folder) {
    return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

TEST_F(FolderMonTest, ManyCyclesLeaveNoThreadOrDescriptor) {
    Start(FileNames);
    mon.Deactivate();
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 200; ++i) {
        mon.WatchSubtree = (i % 2) != 0;
        mon.Activate();
        if (i % 20 == 0)
            Write(QString("f%1.jpg").arg(i));
        mon.Deactivate();
    }
    Settle(100);
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    EXPECT_TRUE(reports.empty());
}

TEST(FolderMonRules, DestroyingAnActiveMonitorEndsItsWorker) {
    QTemporaryDir dir;
    const int threads = CountEntries("/proc/self/task");
    {
        TFolderMon mon;
        mon.SetFolder(dir.path());
        mon.SetEvents(FileNames);
        mon.OnFolderChange = [](TFolderMon*, const TFolderItemInfo&) { FAIL(); };
        const QString worker = NewThread([&] { mon.Activate(); });
        ASSERT_FALSE(worker.isEmpty()) << "the worker thread is not found";
        // The worker has seen the file and queued its report when the monitor goes.
        ASSERT_TRUE(HandledAndAsleep(worker, [&] {
            QFile f(dir.filePath("x.jpg"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }));
    }
    QCoreApplication::processEvents();
    // A joined thread leaves the task list a moment after the join returns.
    EXPECT_TRUE(Eventually([&] { return CountEntries("/proc/self/task") == threads; }));
}

} // namespace
