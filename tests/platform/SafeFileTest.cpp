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
