#include "platform/SafeFile.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

QByteArray Content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void Put(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

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
