// Moving a file across file systems without ever losing it, replacing anything or writing
// through a link.

#include "platform/FileMove.h"

#include "platform/Errors.h"
#include "support/FileBytes.h"
#include "support/SmallTmpfs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using quvartest::Content;
using quvartest::Put;

QByteArray Photo(int bytes) {
    QByteArray data(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        data[i] = char(i * 7 + i / 251);
    return data;
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The message of a refused move, or empty when it went through.
QString MoveError(const QString& source, const QString& target) {
    try {
        MoveFileSafely(source, target);
        return {};
    } catch (const QuvarError& error) {
        return error.message();
    }
}

TEST(FileMove, WithinAFileSystemTheFileIsRenamedAndNothingIsReplaced) {
    QTemporaryDir dir;
    Put(dir.filePath("a.jpg"), "first");
    ASSERT_EQ(MoveError(dir.filePath("a.jpg"), dir.filePath("b.jpg")), "");
    EXPECT_EQ(Content(dir.filePath("b.jpg")), "first");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.jpg")));

    Put(dir.filePath("c.jpg"), "second");
    const QString error = MoveError(dir.filePath("c.jpg"), dir.filePath("b.jpg"));
    EXPECT_TRUE(error.startsWith("Cannot move " + dir.filePath("c.jpg") + " to " +
                                 dir.filePath("b.jpg") + ": "))
        << error.toStdString();
    EXPECT_EQ(Content(dir.filePath("b.jpg")), "first");
    EXPECT_EQ(Content(dir.filePath("c.jpg")), "second");
}

TEST(FileMove, AcrossFileSystemsTheCopyIsCompleteAndNoTemporaryFileStays) {
    quvartest::SmallTmpfs other(1024);
    if (!other.Mounted())
        GTEST_SKIP() << other.WhyNot();
    QTemporaryDir dir;
    const QByteArray photo = Photo(300000);
    Put(dir.filePath("IMG_0001.JPG"), photo);
    ASSERT_EQ(MoveError(dir.filePath("IMG_0001.JPG"), other.filePath("kept.JPG")), "");
    EXPECT_TRUE(Content(other.filePath("kept.JPG")) == photo);
    EXPECT_EQ(Entries(other.path()), QStringList{"kept.JPG"});
    EXPECT_TRUE(Entries(dir.path()).isEmpty());

    // Nor across file systems is an existing file replaced.
    Put(dir.filePath("IMG_0002.JPG"), "another");
    EXPECT_NE(MoveError(dir.filePath("IMG_0002.JPG"), other.filePath("kept.JPG")), "");
    EXPECT_TRUE(Content(other.filePath("kept.JPG")) == photo);
    EXPECT_EQ(Content(dir.filePath("IMG_0002.JPG")), "another");
    EXPECT_EQ(Entries(other.path()), QStringList{"kept.JPG"});
}

TEST(FileMove, AFullTargetLeavesNoPartialCopyAndKeepsTheSource) {
    quvartest::SmallTmpfs full(64);
    if (!full.Mounted())
        GTEST_SKIP() << full.WhyNot();
    QTemporaryDir dir;
    const QByteArray photo = Photo(882806);
    Put(dir.filePath("IMG_0001.JPG"), photo);
    const QString error = MoveError(dir.filePath("IMG_0001.JPG"), full.filePath("IMG_0001.JPG"));
    EXPECT_TRUE(error.contains(qt_error_string(ENOSPC))) << error.toStdString();
    EXPECT_TRUE(Entries(full.path()).isEmpty()) << Entries(full.path()).join(",").toStdString();
    EXPECT_TRUE(Content(dir.filePath("IMG_0001.JPG")) == photo);
}

TEST(FileMove, ALinkIsNeverWrittenThroughNorMoved) {
    quvartest::SmallTmpfs other(1024);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QByteArray original = Photo(5000);
    Put(outside.filePath("precious.png"), original);
    const QString link = dir.filePath("arrived.png");
    ASSERT_TRUE(QFile::link(outside.filePath("precious.png"), link));
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(outside.filePath("precious.png")).constData(), &before), 0);

    // Into the same file system and, where one can be mounted, into another.
    const QString sameTarget = dir.filePath("taken.png");
    ASSERT_EQ(MoveError(link, sameTarget), "");
    EXPECT_FALSE(QFileInfo(sameTarget).isSymLink());
    EXPECT_TRUE(QFileInfo(sameTarget).isFile());
    EXPECT_TRUE(Content(sameTarget) == original);
    EXPECT_FALSE(QFileInfo(link).exists() || QFileInfo(link).isSymLink()) << "the link is removed";

    // A new file, not the old one under another name: writing it leaves the original alone.
    Put(sameTarget, "rewritten");
    EXPECT_TRUE(Content(outside.filePath("precious.png")) == original);
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(outside.filePath("precious.png")).constData(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    if (!other.Mounted())
        GTEST_SKIP() << other.WhyNot();
    ASSERT_TRUE(QFile::link(outside.filePath("precious.png"), link));
    ASSERT_EQ(MoveError(link, other.filePath("taken.png")), "");
    EXPECT_FALSE(QFileInfo(other.filePath("taken.png")).isSymLink());
    EXPECT_TRUE(Content(other.filePath("taken.png")) == original);
    EXPECT_TRUE(Content(outside.filePath("precious.png")) == original);
}

TEST(FileMove, OnlyRegularFilesMoveAndAFifoNeverWaits) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("folder.jpg")));
    ASSERT_TRUE(QFile::link(fifo, dir.filePath("link-to-pipe.jpg")));
    QElapsedTimer timer;
    timer.start();
    for (const char* name : {"pipe.jpg", "folder.jpg", "link-to-pipe.jpg", "missing.jpg"})
        EXPECT_NE(MoveError(dir.filePath(name), dir.filePath(QString("moved-") + name)), "")
            << name;
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(Entries(dir.path()), (QStringList{"folder.jpg", "link-to-pipe.jpg", "pipe.jpg"}));
}

TEST(FileMove, NamesAreCutToTheLimitKeepingTheExtension) {
    const QString e = QString(QChar(0xE9));               // two bytes in UTF-8
    const QString clef = QString::fromUtf8("\U0001D11E"); // four bytes, a surrogate pair
    const struct {
        QString name;
        int limit;
        QString fitted;
    } cases[] = {
        {"short.jpg", 255, "short.jpg"},
        {"abcdefgh.jpg", 10, "abcdef.jpg"},
        {"abcdefgh.jpg", 12, "abcdefgh.jpg"},
        {"abc" + e + e + ".jpg", 9, "abc" + e + ".jpg"}, // never half a character
        {"abc" + clef + ".tif", 10, "abc.tif"},          // nor half a surrogate pair
        {"noextension", 5, "noext"},
        {"a.verylongextension", 6, "a.very"}, // no room for the extension
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitFileName(c.name, c.limit), c.fitted) << c.name.toStdString();
    QTemporaryDir dir;
    EXPECT_EQ(FileNameLimit(dir.path()), 255);
}

} // namespace
