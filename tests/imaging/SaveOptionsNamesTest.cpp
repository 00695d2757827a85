#include "imaging/SaveOptionsNames.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(SaveOptionsNames, SearchFilter) {
    const QStringList names{"Bacillus subtilis", "Bacillus cereus", "sub bac", "", "Escherichia"};
    struct Case {
        const char* search;
        QStringList passed;
    } cases[] = {
        {"", {"Bacillus cereus", "Bacillus subtilis", "Escherichia", "sub bac"}},
        {"sub", {"Bacillus subtilis", "sub bac"}},
        {"SUB", {"Bacillus subtilis", "sub bac"}},
        {"bac sub", {"Bacillus subtilis"}},
        {"BAC CER", {"Bacillus cereus"}},
        {"sub ba", {"sub bac"}},
        {"xyz", {}},
        // An empty first word: every name starts with it.
        {" sub", {"Bacillus subtilis"}},
        {"e coli", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FilterNames(names, c.search), c.passed) << c.search;
    EXPECT_FALSE(NamePassesSearch("a sub", "a sub")) << "' sub' at index 1";
    EXPECT_TRUE(NamePassesSearch("ab sub", "a sub"));
    EXPECT_FALSE(NamePassesSearch("\u00c9coli", "\u00e9coli")) << "only ASCII letters fold";
}

TEST(SaveOptionsNames, SortedWithoutDuplicates) {
    EXPECT_EQ(SortedNames({"b", "A", "a", "C", "b"}), QStringList({"A", "b", "C"}));
    EXPECT_EQ(AddNameSorted({"Zea", "Avena"}, "Bacillus"),
              QStringList({"Avena", "Bacillus", "Zea"}));
    EXPECT_EQ(AddNameSorted({"Avena", "Zea"}, "avena"), QStringList({"Avena", "Zea"}));
    EXPECT_EQ(AddNameSorted({"Zea"}, ""), QStringList({"", "Zea"})) << "the filter hides it";
    EXPECT_EQ(FilterNames(AddNameSorted({"Zea"}, ""), ""), QStringList({"Zea"}));
}

TEST(SaveOptionsNames, RecentNames) {
    RecentNames recent;
    recent.Add("Zea");
    recent.Add("avena");
    recent.Add("Zea");
    recent.Add("Bacillus");
    EXPECT_EQ(recent.Newest, QStringList({"Bacillus", "avena", "Zea"}));
    EXPECT_EQ(recent.Sorted, QStringList({"avena", "Bacillus", "Zea"}));
    recent.Add("zea"); // compared exactly
    EXPECT_EQ(recent.Newest.size(), 4);
    recent.Clear();
    EXPECT_TRUE(recent.Newest.isEmpty());
    EXPECT_TRUE(recent.Sorted.isEmpty());
}

TEST(SaveOptionsNames, NameLayouts) {
    struct Case {
        NameParts parts;
        const char* fromDatabase;
        const char* fromRecent;
    } cases[] = {
        {{"Bacillus", true, QDate(2024, 5, 17), true, "40 plan", 7},
         "Bacillus_2024-05-17_40 plan_0007",
         "Bacillus_40 plan_2024-05-17_0007"},
        {{"Bacillus", false, QDate(2024, 5, 17), false, "40", 12},
         "Bacillus_0012",
         "Bacillus_0012"},
        {{"", false, {}, true, "10", 3}, "_10_0003", "_10_0003"},
        {{"a/b:c", true, QDate(), true, "40x/0.65", 10000},
         "a_b_c_1899-12-30_40x_0.65_10000",
         "a_b_c_40x_0.65_1899-12-30_10000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameFromDatabase(c.parts), c.fromDatabase);
        EXPECT_EQ(NameFromRecent(c.parts), c.fromRecent);
    }
}

TEST(SaveOptionsNames, FindAndChooseDatabases) {
    QTemporaryDir dir;
    for (const char* name : {"plants.csv", "Bacteria.csv", "notes.txt"})
        WriteBytes(dir.filePath(name), "x\r\n");
    QDir(dir.path()).mkdir("folder.csv");
    const QStringList found = FindDatabases(dir.path());
    EXPECT_EQ(found, QStringList({"Bacteria.csv", "plants.csv"}));
    EXPECT_EQ(ChooseDatabase(found, "plants.csv"), 1);
    EXPECT_EQ(ChooseDatabase(found, "Plants.csv"), 0) << "compared exactly";
    EXPECT_EQ(ChooseDatabase({}, "plants.csv"), -1);
    EXPECT_TRUE(FindDatabases(dir.filePath("missing")).isEmpty());
    EXPECT_EQ(DatabaseFolder("/opt/quvar/"), "/opt/quvar/Databases/");
}

TEST(SaveOptionsNames, ReadAndWriteDatabases) {
    QTemporaryDir dir;
    const QString path = dir.filePath("names.csv");
    // A UTF-8 line and a Windows-1252 line in one file; CR LF, LF and a last line without break.
    WriteBytes(path, "Caf\xc3\xa9\r\nGr\xfcn\nlast");
    EXPECT_EQ(ReadNameDatabase(path), QStringList({"Caf\u00e9", "Gr\u00fcn", "last"}));
    WriteBytes(path, "a\r\n\r\nb\r\n");
    EXPECT_EQ(ReadNameDatabase(path), QStringList({"a", "", "b"}));
    WriteBytes(path, "");
    EXPECT_TRUE(ReadNameDatabase(path).isEmpty());
    EXPECT_THROW(ReadNameDatabase(dir.filePath("missing.csv")), QuvarError);

    WriteNameDatabase(path, {"Gr\u00fcn", "a"});
    EXPECT_EQ(ReadBytes(path), QByteArray("Gr\xfcn\r\na\r\n"));
    WriteNameDatabase(path, {"\u4e2d"});
    EXPECT_EQ(ReadBytes(path), QByteArray("\xe4\xb8\xad\r\n"));
    EXPECT_EQ(ReadNameDatabase(path), QStringList({"\u4e2d"}));

    EXPECT_THROW(WriteNameDatabase(dir.filePath("missing/names.csv"), {"a"}), QuvarError);
}

TEST(SaveOptionsNames, AReadOnlyDatabaseIsNotReplaced) {
    QTemporaryDir dir;
    const QString path = dir.filePath("names.csv");
    WriteBytes(path, "a\r\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    EXPECT_THROW(WriteNameDatabase(path, {"a", "b"}), QuvarError);
    EXPECT_EQ(ReadBytes(path), QByteArray("a\r\n"));
    EXPECT_EQ(QFileInfo(path).permissions() & QFile::WriteOwner, 0);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    WriteNameDatabase(path, {"a", "b"});
    EXPECT_EQ(ReadBytes(path), QByteArray("a\r\nb\r\n"));
}

TEST(SaveOptionsNames, CommentPreview) {
    TMCsystem system;
    system.Name = "Zeiss";
    system.NrOfObjectives = 1;
    system.Objectives[0].Obj = 40;
    const QStringList lines =
        SaveOptionsPreview(system, 0, 0.5, QDate(2024, 5, 17), "Pond A", "52.1N");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Pond A");
    EXPECT_EQ(lines[1], "52.1N");
    EXPECT_EQ(lines[2], "SampleDate = 2024-05-17");
    EXPECT_EQ(lines[3], "Zeiss;  Obj: 40 X;  um/pixel: 0.500000");
}

TEST(SaveOptionsNames, RenameRemovesOnlyAnotherCompleteFile) {
    QTemporaryDir dir;
    const QString old = dir.filePath("old.jpg");
    const QString fresh = dir.filePath("new.jpg");
    WriteBytes(old, "old");

    EXPECT_EQ(RemoveRenamedOriginal(old, fresh), RenameResult::NoNewFile);
    EXPECT_TRUE(QFile::exists(old));
    WriteBytes(fresh, "");
    EXPECT_EQ(RemoveRenamedOriginal(old, fresh), RenameResult::NoNewFile) << "empty";
    EXPECT_TRUE(QFile::exists(old));

    EXPECT_EQ(RemoveRenamedOriginal(old, old), RenameResult::SameFile);
    QDir(dir.path()).mkdir("sub");
    EXPECT_EQ(RemoveRenamedOriginal(old, dir.path() + "/sub/../old.jpg"), RenameResult::SameFile);
    ASSERT_TRUE(QFile::link(old, dir.filePath("link.jpg")));
    EXPECT_EQ(RemoveRenamedOriginal(old, dir.filePath("link.jpg")), RenameResult::SameFile);
    EXPECT_EQ(RemoveRenamedOriginal(dir.filePath("link.jpg"), old), RenameResult::SameFile);
    EXPECT_TRUE(QFile::exists(old));

    WriteBytes(fresh, "new");
    EXPECT_EQ(RemoveRenamedOriginal(dir.filePath("gone.jpg"), fresh), RenameResult::NoOldFile);
    EXPECT_EQ(RemoveRenamedOriginal(old, fresh), RenameResult::Removed);
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_TRUE(QFile::exists(fresh));
}
