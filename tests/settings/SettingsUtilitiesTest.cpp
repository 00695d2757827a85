#include "settings/SettingsUtilities.h"

#include "platform/Errors.h"
#include "support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>

namespace {

void MakeFile(const QString& path, const QByteArray& content = {}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

// A folder with files of mixed case, an empty one, a hidden one and entries that are
// no files: a subfolder (named like an image), a link to a folder and a dangling link.
struct MixedFolder {
    QTemporaryDir dir;
    QString path;
    MixedFolder() : path(dir.path() + "/mixed") {
        QDir().mkpath(path + "/sub.jpg");
        QDir().mkpath(dir.path() + "/elsewhere");
        MakeFile(path + "/b.Tiff", "tiff");
        MakeFile(path + "/A.JPG", "jpeg");
        MakeFile(path + "/c.jpeg", "jpeg");
        MakeFile(path + "/e.TIF", "tif");
        MakeFile(path + "/D.png", "png");
        MakeFile(path + "/f.bmp");
        MakeFile(path + "/.hidden.txt", "x");
        MakeFile(path + "/zz-empty.txt");
        QFile::link(dir.path() + "/elsewhere", path + "/link.png");
        QFile::link(dir.path() + "/missing", path + "/dangling.jpg");
    }
};

} // namespace

TEST(SettingsUtilities, ClampByte) {
    const std::pair<int, int> cases[] = {{256, 255}, {-1, 0},      {255, 255},    {0, 0},
                                         {128, 128}, {INT_MIN, 0}, {INT_MAX, 255}};
    for (auto [in, out] : cases)
        EXPECT_EQ(ClampByte(in), out) << in;
}

// The nine characters a file name cannot hold go, and so do control characters: a NUL would
// cut the name where the system reads it, a line break or tab would make a name no one can
// type. Everything else stays.
TEST(SettingsUtilities, SanitizeFileNameReplacesTheNineCharactersAndControlCharactersOnly) {
    const std::pair<QString, QString> cases[] = {
        {QString::fromUtf8(R"(C:\photos\a/b*c?"d"<e>|f µ #1 $x.jpg)"),
         QString::fromUtf8("C__photos_a_b_c__d__e__f µ #1 $x.jpg")},
        {QString::fromUtf8("a\tb"), "a_b"},
        {QString(QChar(0)) + "x", "_x"},
        {QString::fromUtf8("line\r\nbreak"), "line__break"},
        {QString::fromUtf8("\x1f\x7f."), "__."},
        {QString(QChar(0x85)) + "x", "_x"},
        {QString::fromUtf8("µ é ~ !"), QString::fromUtf8("µ é ~ !")}};
    for (auto [in, out] : cases) {
        QString name = in;
        SanitizeFileName(name);
        EXPECT_EQ(name, out) << in.toStdString();
    }
}

TEST(SettingsUtilities, StrToFloatAcceptsEitherSeparator) {
    const std::pair<const char*, double> cases[] = {
        {"2,5", 2.5}, {"2.5", 2.5}, {"25", 25}, {"-0,125", -0.125}, {" 1.5E-3 ", 0.0015}};
    for (auto [text, value] : cases)
        EXPECT_DOUBLE_EQ(StrToFloatAnySeparator(text), value) << text;
}

TEST(SettingsUtilities, StrToFloatThrowsForANonNumber) {
    for (const char* text : {"2.5,1", "1,000.5", "", "abc", "2,5x", "1.2.3"})
        EXPECT_THROW(StrToFloatAnySeparator(text), QuvarError) << text;
}

TEST(SettingsUtilities, IsExistingFile) {
    MixedFolder f;
    EXPECT_TRUE(IsExistingFile(f.path + "/A.JPG"));
    EXPECT_TRUE(IsExistingFile(f.path + "/f.bmp")) << "an empty file is a file";
    EXPECT_FALSE(IsExistingFile(f.path));
    EXPECT_FALSE(IsExistingFile(f.path + "/sub.jpg"));
    EXPECT_FALSE(IsExistingFile(f.path + "/link.png")) << "a link to a folder";
    EXPECT_FALSE(IsExistingFile(f.path + "/nothing.jpg"));
    EXPECT_FALSE(IsExistingFile(QString()));
}

TEST(SettingsUtilities, ListImageFilesTakesTheFiveExtensionsInNameOrder) {
    MixedFolder f;
    QStringList list{"kept"};
    ListImageFiles(f.path + "/", list);
    const QString p = f.path + "/";
    EXPECT_EQ(list, QStringList({"kept", p + "A.JPG", p + "b.Tiff", p + "D.png", p + "e.TIF",
                                 p + "f.bmp"}));

    QStringList withoutSeparator;
    ListImageFiles(f.path, withoutSeparator);
    EXPECT_EQ(withoutSeparator, list.mid(1));

    QStringList none{"kept"};
    ListImageFiles(f.dir.path() + "/absent/", none);
    EXPECT_EQ(none, QStringList{"kept"});
}

TEST(SettingsUtilities, ListingAndCountingSkipEveryFolder) {
    MixedFolder f;
    QStringList names;
    ListFileNames(f.path, names);
    EXPECT_EQ(names, QStringList({".hidden.txt", "A.JPG", "b.Tiff", "c.jpeg", "D.png",
                                  "dangling.jpg", "e.TIF", "f.bmp", "zz-empty.txt"}));
    EXPECT_EQ(CountFiles(f.path), names.size());
    EXPECT_EQ(CountFiles(f.path + "/"), names.size());
    EXPECT_EQ(CountFiles(f.dir.path() + "/absent"), 0);
    EXPECT_EQ(CountFiles(f.path + "/sub.jpg"), 0);
}

TEST(SettingsUtilities, LastNonEmptyFileName) {
    MixedFolder f;
    EXPECT_EQ(LastNonEmptyFileName(f.path), "e.TIF")
        << "f.bmp, the dangling link and zz-empty.txt are empty; the folders are no files";

    QTemporaryDir empties;
    MakeFile(empties.filePath("a"));
    MakeFile(empties.filePath("b"));
    QDir(empties.path()).mkdir("c");
    EXPECT_EQ(LastNonEmptyFileName(empties.path()), QString());
    EXPECT_EQ(LastNonEmptyFileName(empties.path() + "/absent"), QString());
}

TEST(SettingsUtilities, TimeStampNamePadsEveryField) {
    EXPECT_EQ(TimeStampName(QDateTime(QDate(2024, 5, 17), QTime(14, 30, 5))), "20240517_143005");
    EXPECT_EQ(TimeStampName(QDateTime(QDate(987, 1, 2), QTime(0, 0, 0))), "09870102_000000");
    EXPECT_EQ(TimeStampName(QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999))),
              "20231231_235959");
}

TEST(SettingsUtilities, SpecialFoldersLieUnderHomeAndAreCreated) {
    for (int number : {SpecialFolderMyPictures, SpecialFolderMyVideos}) {
        const QString path = GetSpecialFolder(number, true);
        ASSERT_FALSE(path.isEmpty()) << number;
        EXPECT_TRUE(path.startsWith(QDir::homePath() + "/")) << path.toStdString();
        EXPECT_TRUE(QFileInfo(path).isDir()) << path.toStdString();
    }
    EXPECT_NE(GetSpecialFolder(SpecialFolderMyPictures, false),
              GetSpecialFolder(SpecialFolderMyVideos, false));
    EXPECT_EQ(GetSpecialFolder(5, true), QString());
}

TEST(SettingsUtilities, WarningAndFolderChooserGoThroughPrompts) {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    prompts.dontShowAgain = {true};
    EXPECT_TRUE(WarnWithDontShowAgain("Resizing changes the calibration"));
    EXPECT_FALSE(WarnWithDontShowAgain("again")) << "OK without the box, or closed";
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].kind, "warn");
    EXPECT_EQ(prompts.shown[0].text, "Resizing changes the calibration");

    prompts.folders = {dir.path(), QString(), dir.path() + "/gone"};
    EXPECT_EQ(BrowseForFolder("Photo folder", "/start", false), dir.path());
    EXPECT_EQ(prompts.shown.back().kind, "folder");
    EXPECT_EQ(prompts.shown.back().caption, "Photo folder");
    EXPECT_EQ(prompts.shown.back().text, "/start");
    EXPECT_EQ(BrowseForFolder("Photo folder", QString(), false), QString()) << "cancelled";
    EXPECT_EQ(BrowseForFolder("Photo folder", QString(), true), QString())
        << "not an existing folder";
}

namespace {

// A watched folder beside the photo and program folders, holding pictures and other files,
// a subfolder with a picture, and links to a picture and to a folder outside it.
struct WatchFixture : ::testing::Test {
    QTemporaryDir dir;
    QString watch, photo, program, outside;
    void SetUp() override {
        watch = dir.path() + "/watch";
        photo = dir.path() + "/photo";
        program = dir.path() + "/program/";
        outside = dir.path() + "/outside";
        for (const QString& folder : {watch + "/sub", photo, program, outside + "/dir"})
            QDir().mkpath(folder);
        MakeFile(watch + "/IMG_0001.JPG", "jpeg");
        for (const char* name : {"b.tif", "c.TIFF", "d.bmp", "e.png"})
            MakeFile(watch + "/" + name, "x");
        MakeFile(watch + "/.partial", "x");
        MakeFile(watch + "/notes.txt", "keep");
        MakeFile(watch + "/raw.jpeg", "keep"); // not a type the hand-off takes
        MakeFile(watch + "/zero-length.jpg");
        MakeFile(watch + "/sub/inner.jpg", "x");
        MakeFile(outside + "/target.jpg", "keep");
        MakeFile(outside + "/dir/deep.jpg", "keep");
        QFile::link(outside + "/target.jpg", watch + "/link-to-file.jpg");
        QFile::link(outside + "/dir", watch + "/link-to-dir");
        MakeFile(photo + "/picture.jpg", "keep");
        MakeFile(program + "Quvar.ini", "keep");
    }
};

} // namespace

TEST_F(WatchFixture, DeletesPicturesAndLinksButNotOtherFilesFoldersOrLinkTargets) {
    const WatchFolderPurge purge = EmptyWatchFolder(watch, photo, program);
    EXPECT_EQ(purge.Deleted, 7);
    EXPECT_EQ(purge.Refusal, QString());
    QStringList left = QDir(watch).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left, (QStringList{".partial", "link-to-dir", "notes.txt", "raw.jpeg", "sub"}));
    EXPECT_TRUE(QFile::exists(watch + "/sub/inner.jpg")) << "no recursion";
    EXPECT_TRUE(QFile::exists(outside + "/target.jpg"));
    EXPECT_TRUE(QFile::exists(outside + "/dir/deep.jpg")) << "a link is never followed";
}

TEST_F(WatchFixture, LeavesProtectedFoldersAlone) {
    QFile::link(program, dir.path() + "/program-link");
    QStringList standard;
    for (const char* name : {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos"}) {
        standard << QDir::homePath() + "/" + name;
        QDir().mkpath(standard.back());
        MakeFile(standard.back() + "/keep.jpg", "keep");
    }
    MakeFile(QDir::homePath() + "/home-file.jpg", "keep");
    MakeFile(program + "icon.png", "keep");
    const struct {
        QString folder;
        bool refused; // on purpose, with a reason; else simply nothing to empty
    } cases[] = {{photo, true},
                 {photo + "/", true},
                 {dir.path() + "/watch/../photo", true},
                 {program, true},
                 {dir.path() + "/program-link", true},
                 {dir.path(), true}, // holds the photo and program folders
                 {QDir::homePath(), true},
                 {standard[0], true},
                 {standard[1], true},
                 {standard[2], true},
                 {standard[3], true},
                 {standard[4], true},
                 {standard[5], true},
                 {"/", true},
                 {QString(), false},
                 {dir.path() + "/absent", false},
                 {outside + "/target.jpg", false}};
    for (const auto& c : cases) {
        const WatchFolderPurge purge = EmptyWatchFolder(c.folder, photo, program);
        EXPECT_EQ(purge.Deleted, 0) << c.folder.toStdString();
        EXPECT_EQ(!purge.Refusal.isEmpty(), c.refused) << c.folder.toStdString();
    }
    EXPECT_TRUE(QFile::exists(photo + "/picture.jpg"));
    EXPECT_TRUE(QFile::exists(program + "icon.png"));
    EXPECT_TRUE(QFile::exists(QDir::homePath() + "/home-file.jpg"));
    for (const QString& folder : standard) {
        EXPECT_TRUE(QFile::exists(folder + "/keep.jpg")) << folder.toStdString();
        QDir(folder).removeRecursively();
    }
    EXPECT_TRUE(QFile::exists(outside + "/target.jpg"));
    QFile::remove(QDir::homePath() + "/home-file.jpg");
}

TEST(WatchFolderPurgeRefusal, KeptCapturesAreProtectedWithThePhotoFolder) {
    QTemporaryDir dir;
    const QString photos = dir.path() + "/photos";
    const auto folders = ProtectedFolders(photos, dir.path() + "/prog");
    EXPECT_TRUE(WatchFolderPurgeRefusal(photos + "/Unprocessed", folders)
                    .contains("it is the folder of unprocessed captures"));
    EXPECT_EQ(WatchFolderPurgeRefusal(photos + "/FromCamera", folders), QString());
}

// The rule alone, on paths that need not exist: a folder may be emptied unless it is, or
// contains, a protected folder; the reason names which.
TEST(WatchFolderPurgeRefusal, RefusesProtectedFoldersAndTheirParents) {
    QTemporaryDir dir;
    const QString r = dir.path() + "/r";
    const std::vector<ProtectedFolder> folders = {{r + "/h", "your home folder"},
                                                  {r + "/h/Documents", "your Documents folder"},
                                                  {r + "/p/photos", "the photo folder"},
                                                  {r + "/prog/", "the program folder"}};
    const struct {
        QString folder;
        const char* reason; // nullptr: may be emptied
    } cases[] = {
        {r + "/h/Pictures/QUVAR-Temp", nullptr},
        {r + "/h/Documents", "it is your Documents folder"},
        {r + "/h/Documents/", "it is your Documents folder"},
        {r + "/h/x/../Documents", "it is your Documents folder"},
        {r + "/h/Documents2", nullptr}, // a longer name is another folder
        {r + "/h/Documents/scans", nullptr},
        {r + "/h", "it is your home folder"},
        {r, "it contains your home folder"},
        {"/", "it contains your home folder"},
        {r + "/p", "it contains the photo folder"},
        {r + "/p/photos", "it is the photo folder"},
        {r + "/p/photos/FromCamera", nullptr},
        {r + "/prog", "it is the program folder"},
        {QString(), nullptr},
    };
    for (const auto& c : cases) {
        const QString refusal = WatchFolderPurgeRefusal(c.folder, folders);
        if (!c.reason) {
            EXPECT_EQ(refusal, QString()) << c.folder.toStdString();
            continue;
        }
        EXPECT_TRUE(refusal.startsWith("The camera folder " + c.folder +
                                       " was not emptied: " + c.reason + "."))
            << c.folder.toStdString() << ": " << refusal.toStdString();
    }
}
