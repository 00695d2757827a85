#include "platform/SafeFile.h"

#include "platform/Errors.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(SafeFile, ReplacesContentAndLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    WriteFileSafely(path, "old");
    WriteFileSafely(path, "new");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.txt"});
}

TEST(SafeFile, UncommittedReplaceKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    WriteFileSafely(path, "old");
    {
        SafeFileReplace replace(path);
        QFile temp(replace.tempPath());
        temp.open(QIODevice::WriteOnly);
        temp.write("half");
        // leaves the scope without commit, as after a codec error
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.txt"});
}

TEST(SafeFile, MissingFolderGivesTheMessage) {
    try {
        WriteFileSafely("/nonexistent-folder/x.ini", "x");
        FAIL();
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(), "Unable to write to /nonexistent-folder/x.ini");
    }
}

namespace {

using quvartest::Content;
using quvartest::Put;

void WriteTemp(const SafeFileReplace& replace, const QByteArray& data) {
    Put(replace.tempPath(), data);
}

} // namespace

// What interrupted saves left beside a target goes with its next save; only names of our
// own pattern, and only of that target.
TEST(SafeFile, NextSaveRemovesStaleTemporaryFilesOfItsTarget) {
    QTemporaryDir dir;
    const QStringList stale = {"a.txt.Ab3xYz.tmp", "a.txt.000000.tmp", ".a.txt.QwErTy.tmp"};
    const QStringList kept = {"a.txt.tmp",        "a.txt.Ab3xY.tmp",  "a.txt.Ab3xYz.tmp.bak",
                              "b.txt.Ab3xYz.tmp", "a.txt.Ab-xYz.tmp", "xa.txt.Ab3xYz.tmp",
                              "a.txt.Ab3xYzz.tmp"};
    for (const QString& name : stale + kept)
        Put(dir.filePath(name), "x");
    WriteFileSafely(dir.filePath("a.txt"), "new");
    QStringList expected = kept;
    expected << "a.txt"
             << ".a.txt.QwErTy.tmp"; // another target: ".a.txt"
    expected.sort();
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, expected);
}

TEST(SafeFile, PairCommitsBothOrNeither) {
    QTemporaryDir dir;
    const QString first = dir.filePath("p.bmp");
    const QString second = dir.filePath("p.bmp.cmt");
    // Both new, then both replaced.
    for (const QByteArray& round : {QByteArray("1"), QByteArray("2")}) {
        SafeFileReplace a(first), b(second);
        WriteTemp(a, "picture " + round);
        WriteTemp(b, "comment " + round);
        CommitTogether(a, b);
    }
    EXPECT_EQ(Content(first), "picture 2");
    EXPECT_EQ(Content(second), "comment 2");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"p.bmp", "p.bmp.cmt"}));

    // The second place is taken by a folder: the first keeps its content, or stays absent.
    QDir(dir.path()).mkdir("q.bmp.cmt");
    for (const bool firstExists : {true, false}) {
        const QString target = dir.filePath("q.bmp");
        if (firstExists)
            Put(target, "old");
        else
            QFile::remove(target);
        {
            SafeFileReplace a(target), b(dir.filePath("q.bmp.cmt"));
            WriteTemp(a, "new");
            WriteTemp(b, "new");
            EXPECT_THROW(CommitTogether(a, b), QuvarError);
        }
        EXPECT_EQ(Content(target), firstExists ? QByteArray("old") : QByteArray("(missing)"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"p.bmp", "p.bmp.cmt"}));
}

TEST(SafeFile, ReplaceWithRemovalDoesBothOrNeither) {
    QTemporaryDir dir;
    const QString target = dir.filePath("p.bmp");
    const QString obsolete = dir.filePath("p.bmp.cmt");
    Put(target, "old");
    Put(obsolete, "old comment");
    {
        SafeFileReplace replace(target);
        WriteTemp(replace, "new");
        CommitAndRemove(replace, obsolete);
    }
    EXPECT_EQ(Content(target), "new");
    EXPECT_FALSE(QFile::exists(obsolete));

    // The replacement cannot take its place: the side file stays.
    const QString blocked = dir.filePath("q.bmp");
    QDir(dir.path()).mkdir("q.bmp");
    Put(blocked + ".cmt", "kept");
    {
        SafeFileReplace replace(blocked);
        WriteTemp(replace, "new");
        EXPECT_THROW(CommitAndRemove(replace, blocked + ".cmt"), QuvarError);
    }
    EXPECT_EQ(Content(blocked + ".cmt"), "kept");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"p.bmp", "q.bmp.cmt"}));
}

// Names up to the file system's limit save, and a later save still clears what an
// interrupted one left.
TEST(SafeFile, SavesNamesUpToTheLongestTheFolderTakes) {
    QTemporaryDir dir;
    for (const int length : {244, 245, 250, 255}) {
        const QString path = dir.filePath(QString(length - 4, u'n') + ".ini");
        WriteFileSafely(path, "old");
        QString leftover;
        {
            SafeFileReplace interrupted(path);
            leftover = interrupted.tempPath();
        }
        Put(leftover, "half"); // as a crash before the commit leaves it
        WriteFileSafely(path, "new");
        EXPECT_EQ(Content(path), "new") << length;
        EXPECT_FALSE(QFile::exists(leftover)) << length;
        QFile::remove(path);
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// A linked file is written through its link: the link stays, the file it points to gets the
// new content, and the temporary file lies beside that file.
TEST(SafeFile, WritesThroughSymbolicLinks) {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("real");
    const QString real = dir.filePath("real/settings.ini");
    Put(real, "old");
    ASSERT_TRUE(QFile::link("real/settings.ini", dir.filePath("link.ini")));       // relative
    ASSERT_TRUE(QFile::link(dir.filePath("link.ini"), dir.filePath("chain.ini"))); // to a link
    ASSERT_TRUE(QFile::link("real/absent.ini", dir.filePath("dangling.ini")));
    const std::pair<const char*, const char*> cases[] = {{"link.ini", "real/settings.ini"},
                                                         {"chain.ini", "real/settings.ini"},
                                                         {"dangling.ini", "real/absent.ini"}};
    for (auto [link, pointed] : cases) {
        WriteFileSafely(dir.filePath(link), link);
        EXPECT_TRUE(QFileInfo(dir.filePath(link)).isSymLink()) << link;
        EXPECT_EQ(Content(dir.filePath(pointed)), link) << link;
    }
    // A pair through links commits the same way.
    {
        SafeFileReplace a(dir.filePath("link.ini")), b(dir.filePath("dangling.ini"));
        EXPECT_TRUE(a.tempPath().startsWith(dir.filePath("real/")));
        WriteTemp(a, "pair a");
        WriteTemp(b, "pair b");
        CommitTogether(a, b);
    }
    EXPECT_EQ(Content(real), "pair a");
    EXPECT_EQ(Content(dir.filePath("real/absent.ini")), "pair b");
    EXPECT_TRUE(QFileInfo(dir.filePath("link.ini")).isSymLink());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System),
              (QStringList{"chain.ini", "dangling.ini", "link.ini"}));
    EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::Files),
              (QStringList{"absent.ini", "settings.ini"}));
}

// The replacement keeps the mode and, where we may set it (as root), the owner of the file it
// replaces.
TEST(SafeFile, KeepsTheModeAndOwnerOfTheReplacedFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    const QByteArray native = QFile::encodeName(path);
    for (const mode_t mode : {mode_t(0600), mode_t(0664), mode_t(0640), mode_t(0755)}) {
        Put(path, "old");
        ASSERT_EQ(::chmod(native.constData(), mode), 0);
        WriteFileSafely(path, "new");
        struct stat status {};
        ASSERT_EQ(::stat(native.constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode) << std::oct << mode;
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may give a file away";
    ASSERT_EQ(::chown(native.constData(), 12345, 12346), 0);
    WriteFileSafely(path, "newer");
    struct stat status {};
    ASSERT_EQ(::stat(native.constData(), &status), 0);
    EXPECT_EQ(status.st_uid, 12345u);
    EXPECT_EQ(status.st_gid, 12346u);
}
