#include "platform/IniFile.h"

#include "platform/Errors.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString WriteRaw(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath("test.ini");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

TEST(IniFile, SectionsAndKeysMatchWithoutCaseAndFirstDuplicateWins) {
    QTemporaryDir dir;
    const IniFile ini(WriteRaw(dir, "[MCsystem0]\r\nNrofObjectives = 3 \r\nnrofobjectives=9\r\n"
                                    "[mcsystem0]\r\nCaptureWidth=7\r\n"));
    EXPECT_EQ(ini.ReadInteger("MCSYSTEM0", "NrOfObjectives", 0), 3);
    // A second section of the same name is not looked at, as with the profile functions.
    EXPECT_EQ(ini.ReadInteger("MCsystem0", "CaptureWidth", -1), -1);
}

TEST(IniFile, IntegersBooleansAndUnreadableValues) {
    QTemporaryDir dir;
    const IniFile ini(WriteRaw(dir,
                               "[S]\nhex=0x1F\nneg=-12\nseven=7\nzero=0\nword=abc\n"
                               "partial=12ab\nempty=\nfloat=2.5\ncomma=2,5\nhuge=99999999999\n"));
    struct Case {
        const char* key;
        int def;
        int expected;
    };
    const Case cases[] = {{"hex", 0, 31},  {"neg", 0, -12},   {"word", 5, 5},  {"partial", 4, 4},
                          {"empty", 3, 3}, {"missing", 8, 8}, {"float", 1, 1}, {"huge", 6, 6}};
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadInteger("S", c.key, c.def), c.expected) << c.key;
    EXPECT_TRUE(ini.ReadBool("S", "seven", false));
    EXPECT_FALSE(ini.ReadBool("S", "zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "float", 0), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "comma", 0), 0);
}

TEST(IniFile, StringsAreTrimmedAndCutAt2047Characters) {
    QTemporaryDir dir;
    const QByteArray longValue(3000, 'x');
    const IniFile ini(WriteRaw(dir, "[S]\nname =  two words  \nlong=" + longValue + "\n"));
    EXPECT_EQ(ini.ReadString("S", "name", ""), "two words");
    EXPECT_EQ(ini.ReadString("S", "long", "").size(), 2047);
}

TEST(IniFile, Windows1252ByteB5ReadsAsMicroSign) {
    QTemporaryDir dir;
    const IniFile ini(WriteRaw(dir, "[MeasuringWindow]\r\nUnits=\xB5m\r\n"));
    EXPECT_EQ(ini.ReadString("MeasuringWindow", "Units", ""), QString::fromUtf8("µm"));
}

TEST(IniFile, UpdateKeepsUnknownSectionsAndWritesWindows1252WithCrlf) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir, "[Keep]\nother=1\n[S]\nk=old\n");
    IniFile ini(path);
    ini.WriteString("s", "K", QString::fromUtf8("µm"));
    ini.WriteInteger("New", "n", 5);
    ini.Save();
    EXPECT_EQ(ReadRaw(path), QByteArray("[Keep]\r\nother=1\r\n[S]\r\nK=\xB5m\r\n[New]\r\nn=5\r\n"));
}

// A file that holds one byte of Windows-1252 among UTF-8 lines keeps every line's text,
// and writes it back in Windows-1252 until a character needs UTF-8.
TEST(IniFile, MixedEncodingsReadPerLineAndWriteBackWhole) {
    QTemporaryDir dir;
    const QString path =
        WriteRaw(dir, "[S]\r\nplace=\xC3\xA9t\xC3\xA9\r\nUnits=\xB5m\r\ncopy=\xC2\xA9 me\r\n");
    {
        IniFile ini(path);
        EXPECT_EQ(ini.ReadString("S", "place", ""), QString::fromUtf8("été"));
        EXPECT_EQ(ini.ReadString("S", "Units", ""), QString::fromUtf8("µm"));
        EXPECT_EQ(ini.ReadString("S", "copy", ""), QString::fromUtf8("© me"));
        ini.Save();
    }
    EXPECT_EQ(ReadRaw(path),
              QByteArray("[S]\r\nplace=\xE9t\xE9\r\nUnits=\xB5m\r\ncopy=\xA9 me\r\n"));

    IniFile ini(path);
    ini.WriteString("S", "name", QString::fromUtf8("日"));
    ini.Save();
    EXPECT_EQ(ReadRaw(path), QByteArray("[S]\r\nplace=\xC3\xA9t\xC3\xA9\r\nUnits=\xC2\xB5m\r\n"
                                        "copy=\xC2\xA9 me\r\nname=\xE6\x97\xA5\r\n"));
    const IniFile reread(path);
    EXPECT_EQ(reread.ReadString("S", "Units", ""), QString::fromUtf8("µm"));
    EXPECT_EQ(reread.ReadString("S", "name", ""), QString::fromUtf8("日"));
}

TEST(IniFile, EmptyStartForgetsTheOldKeys) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir, "[Old]\nk=1\n");
    IniFile ini(path, IniFile::Start::Empty);
    ini.WriteBool("S", "b", true);
    ini.Save();
    EXPECT_EQ(ReadRaw(path), QByteArray("[S]\r\nb=1\r\n"));
}

// A lone carriage return ends a line, as in the text codec: a value never holds one, so
// what was read can always be written back and saved.
TEST(IniFile, LoneCarriageReturnEndsALine) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir, "[S]\r\nName=Zeiss\r.345\r\nb=2\rc=3\n\r[T]\rd=4");
    IniFile ini(path);
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {{"S", "Name", "Zeiss"}, {"S", "b", "2"}, {"S", "c", "3"}, {"T", "d", "4"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadString(c.section, c.key, "none"), c.value) << c.key;
        EXPECT_NO_THROW(ini.WriteString(c.section, c.key, ini.ReadString(c.section, c.key, {})));
    }
    EXPECT_NO_THROW(ini.Save());
    EXPECT_EQ(IniFile(path).ReadString("T", "d", {}), "4");
}

TEST(IniFile, ValueWithLineBreakIsRefused) {
    QTemporaryDir dir;
    IniFile ini(dir.filePath("a.ini"));
    EXPECT_THROW(ini.WriteString("S", "k", "one\ntwo"), QuvarError);
}

TEST(IniFile, RefusedWriteKeepsTheOldFileAndNamesIt) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir, "[S]\nk=1\n");
    IniFile ini(path, IniFile::Start::Empty);
    ini.WriteInteger("S", "k", 2);
    ini.WriteString("S", "long", QString(64, 'x'));
    {
        const ScopedFileSizeLimit fullDisk(8);
        ASSERT_TRUE(fullDisk.ok());
        try {
            ini.Save();
            FAIL() << "no error";
        } catch (const QuvarError& error) {
            EXPECT_EQ(error.message(), "Unable to write to " + path);
        }
    }
    EXPECT_EQ(ReadRaw(path), QByteArray("[S]\nk=1\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"test.ini"})
        << "no temporary file left";
}

// What is at the path but cannot be read as a settings file (too big, not a regular file)
// reads as empty without waiting or filling the memory, and a save refuses to replace it:
// the keys it may hold would be lost.
TEST(IniFile, AFileThatCannotBeReadIsNeitherWaitedForNorReplaced) {
    QTemporaryDir dir;
    const QString big = WriteRaw(dir, "[S]\r\nk=1\r\n");
    ASSERT_TRUE(QFile::resize(big, IniFile::MaxFileBytes + 1)); // sparse: no time, no space
    const QString fifo = dir.filePath("pipe.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString folder = dir.filePath("folder.ini");
    ASSERT_TRUE(QDir().mkdir(folder));

    for (const QString& path : {big, fifo, folder}) {
        // A reader of the pipe would wait for a writer: it gets one if it does.
        std::atomic<bool> read = false;
        std::atomic<bool> waited = false;
        std::thread unblock([&] {
            for (int i = 0; i < 200 && !read; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!read) {
                waited = true;
                QFile writer(fifo);
                writer.open(QIODevice::WriteOnly);
            }
        });
        IniFile ini(path);
        read = true;
        unblock.join();
        EXPECT_FALSE(waited) << path.toStdString();
        EXPECT_EQ(ini.ReadInteger("S", "k", -1), -1) << path.toStdString();
        ini.WriteInteger("S", "k", 2);
        try {
            ini.Save();
            ADD_FAILURE() << "replaced " << path.toStdString();
        } catch (const QuvarError& error) {
            EXPECT_EQ(error.message(), "Unable to write to " + path);
        }
    }
    EXPECT_EQ(QFileInfo(big).size(), IniFile::MaxFileBytes + 1);
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(folder).isDir());
}
