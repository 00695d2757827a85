#include "imaging/AutoFileName.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

// Readable failures for paths.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

void MakeFiles(const QString& folder, const QStringList& names) {
    QDir().mkpath(folder);
    for (const QString& name : names) {
        QFile file(folder + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    }
}

QStringList Numbered(const QString& prefix, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << prefix + QString::number(i);
    return names;
}

// The patterns of a filter, read the way Qt reads them: the last parentheses hold them,
// separated by blanks (the character class is QFileDialog's).
QStringList Patterns(const QString& filter) {
    static const QRegularExpression syntax(
        QStringLiteral(R"(^(.*)\(([a-zA-Z0-9_.,*? +;#\-\[\]@\{\}/!<>\$%&=^~:\|]*)\)$)"));
    const QRegularExpressionMatch match = syntax.match(filter);
    if (!match.hasMatch())
        return {};
    return match.captured(2).split(u' ', Qt::SkipEmptyParts);
}

} // namespace

TEST(NextFreeFileNumber, StartsAfterTheFileCountAndSkipsNumbersANameHolds) {
    struct Case {
        QStringList files;
        QStringList subfolders;
        int expected;
    };
    const Case cases[] = {
        {{"a_0004.jpg", "b.jpg", "c.jpg"}, {}, 5},
        {{}, {}, 1},
        // Only "_" plus the number with at least four digits takes it.
        {{"a_2.jpg"}, {}, 2},
        {{"a0002.jpg"}, {}, 2},
        {{"a_00002.jpg"}, {}, 2},
        {{"a_00020.jpg"}, {}, 3},
        {{"x_day_0002.jpg"}, {}, 3},
        {{"a_0002_0003.jpg"}, {}, 4},
        {{"a_0002.jpg", "b_0003.jpg"}, {}, 4},
        // Folders are neither counted nor looked at.
        {{"b.jpg"}, {"d_0002", "e"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.join(u' ').toStdString());
        QTemporaryDir dir;
        MakeFiles(dir.path(), c.files);
        for (const QString& sub : c.subfolders)
            QDir(dir.path()).mkdir(sub);
        EXPECT_EQ(NextFreeFileNumber(dir.path()), c.expected);
    }
}

TEST(NextFreeFileNumber, AMissingFolderStartsAtOne) {
    QTemporaryDir dir;
    EXPECT_EQ(NextFreeFileNumber(dir.path() + "/missing"), 1);
    EXPECT_EQ(NextFreeFileNumber(QString()), 1);
}

TEST(NextFreeFileNumber, ALargeFolderGetsItsCountPlusOne) {
    QTemporaryDir dir;
    MakeFiles(dir.path(), Numbered("x", 12000));
    EXPECT_EQ(NextFreeFileNumber(dir.path()), 12001);
}

TEST(NextFreeFileNumber, KeepsSearchingPastFourDigits) {
    // 9999 files: the search starts at 10000, which is taken, and so are the next three.
    QTemporaryDir dir;
    QStringList names = Numbered("x", 9995);
    names << "a_10000.jpg"
          << "b_10001.jpg"
          << "c_10002.jpg"
          << "d_10003.jpg";
    MakeFiles(dir.path(), names);
    EXPECT_EQ(NextFreeFileNumber(dir.path()), 10004);
}

TEST(MakeAutoFileName, BuildsEachScheme) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/Photos";
    QDir().mkpath(folder);
    const auto inputs = [&](int scheme) {
        AutoNameInputs in;
        in.NamingScheme = scheme;
        in.Folder = folder;
        in.SampleDate = QDate(2024, 5, 17);
        in.Magnification = 40;
        in.ObjectiveLabel = "40 plan";
        in.SampleName = "IMG";
        in.FileCounter = 12;
        in.Extension = "jpg";
        return in;
    };
    struct Case {
        AutoNameInputs in;
        QString name;
    };
    const auto with = [](AutoNameInputs in, auto change) {
        change(in);
        return in;
    };
    const Case cases[] = {
        {with(inputs(0), [](auto& in) { in.Magnification = 2.5; }), "2024-05-17_2.5X_0001.jpg"},
        {inputs(0), "2024-05-17_40X_0001.jpg"},
        {inputs(1), "2024-05-17_0001.jpg"},
        {inputs(2), "0012.jpg"},
        {inputs(3), "IMG_0012.jpg"},
        {inputs(4), "IMG_40 plan_0012.jpg"},
        {with(inputs(0), [](auto& in) { in.SampleDate = QDate(); }), "1899-12-30_40X_0001.jpg"},
        {inputs(9), "2024-05-17_40X_0001.jpg"},
        {inputs(-1), "2024-05-17_40X_0001.jpg"},
        {with(inputs(2), [](auto& in) { in.Extension = "JPG"; }), "0012.JPG"},
        {with(inputs(2), [](auto& in) { in.FileCounter = 10000; }), "10000.jpg"},
        {with(inputs(2), [](auto& in) { in.FileCounter = -3; }), "0000.jpg"},
        // User text never reaches into another folder.
        {with(inputs(4), [](auto& in) { in.ObjectiveLabel = "40x/0.65"; }),
         "IMG_40x_0.65_0012.jpg"},
        {with(inputs(3), [](auto& in) { in.SampleName = "../up"; }), ".._up_0012.jpg"},
        {with(inputs(0), [](auto& in) { in.Magnification = 1e-5; }), "2024-05-17_1E-5X_0001.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(MakeAutoFileName(c.in), folder + u'/' + c.name);
    }
}

// A counter read from a settings file may stand anywhere in its range; the next one is
// never a signed overflow.
TEST(NextFileCounter, CountsUpAndWrapsAfterTheLargestValue) {
    const struct {
        int counter, next;
    } cases[] = {{0, 1}, {41, 42}, {INT_MAX - 1, INT_MAX}, {INT_MAX, 0}, {-3, 1}, {INT_MIN, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(NextFileCounter(c.counter), c.next) << c.counter;
}

TEST(MakeAutoFileName, DatedSchemesTakeTheFoldersFreeNumber) {
    QTemporaryDir dir;
    MakeFiles(dir.path(), {"2024-05-17_0003.jpg", "notes.txt"});
    AutoNameInputs in;
    in.Folder = dir.path();
    in.SampleDate = QDate(2024, 5, 17);
    in.Magnification = 10;
    in.Extension = "png";
    EXPECT_EQ(MakeAutoFileName(in), dir.path() + "/2024-05-17_10X_0004.png");
    in.NamingScheme = 1;
    EXPECT_EQ(MakeAutoFileName(in), dir.path() + "/2024-05-17_0004.png");
}

TEST(FolderChoice, OpenPrefersTheTagAndCtrlSaveLetsTheTagAndAltWin) {
    struct Case {
        int tag;
        bool ctrl, alt;
        int open, save;
    };
    const Case cases[] = {
        {0, false, false, 0, 0}, {0, true, false, 1, 1},  {0, false, true, 2, 2},
        {0, true, true, 1, 2},   {1, false, false, 1, 1}, {1, true, true, 1, 1},
        {1, false, true, 1, 1},  {2, true, false, 2, 2},  {2, false, false, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "tag " << c.tag << " ctrl " << c.ctrl << " alt " << c.alt);
        EXPECT_EQ(OpenFolderChoice(c.tag, c.ctrl, c.alt), c.open);
        EXPECT_EQ(SaveFolderChoice(c.tag, c.ctrl, c.alt), c.save);
    }
}

TEST(FolderChoice, NamingKindAndItsFolder) {
    EXPECT_EQ(NamingKindForChoice(0), 0);
    EXPECT_EQ(NamingKindForChoice(1), 2);
    EXPECT_EQ(NamingKindForChoice(2), 3);

    EXPECT_EQ(NamingFolder(0, "/p", "/s", "/a"), "/p");
    EXPECT_EQ(NamingFolder(2, "/p", "/s", "/a"), "/s");
    EXPECT_EQ(NamingFolder(3, "/p", "/s", "/a"), "/a");
    EXPECT_EQ(NamingFolder(3, "/p", "/s", ""), "/s");
}

TEST(SaveProposal, FollowsTheChoiceAndTheImageState) {
    const auto autoName = [](int kind) { return QStringLiteral("auto%1").arg(kind); };
    const QString current = "/pics/day.1/IMG_0003.jpg";
    // Rows: image state 0 to 4; columns: photo, selected, alternative folder.
    const QString expected[5][3] = {
        {"/p/IMG_0003.jpg", "/s/IMG_0003.jpg", "auto3"},
        {"/p/IMG_0003.jpg", "/s/IMG_0003.jpg", "auto3"},
        {"/p/IMG_0003.jpg", "/s/IMG_0003.jpg", "auto3"},
        {"auto0", "/s/IMG_0003.jpg", "/a/IMG_0003.jpg"},
        {"auto0", "/s/IMG_0003.jpg", "/a/IMG_0003.jpg"},
    };
    for (int state = 0; state < 5; ++state)
        for (int choice = 0; choice < 3; ++choice)
            EXPECT_EQ(ProposedSavePath(choice, state, current, "/p", "/s", "/a", autoName),
                      expected[state][choice])
                << "state " << state << " choice " << choice;
}

TEST(SaveProposal, ANewOrUnnamedImageGetsANewAutomaticName) {
    EXPECT_TRUE(NeedsNewAutoName("", 3));
    EXPECT_TRUE(NeedsNewAutoName("/p/a.jpg", 1));
    for (int state : {0, 2, 3, 4})
        EXPECT_FALSE(NeedsNewAutoName("/p/a.jpg", state)) << state;
}

TEST(DialogFilters, AreValidQtFiltersOfOnlyExtensionPatterns) {
    const QRegularExpression pattern(QStringLiteral(R"(^\*(\.[a-z]+)?$)"));
    for (const QString& filter : OpenDialogFilters() + SaveDialogFilters()) {
        const QStringList patterns = Patterns(filter);
        EXPECT_FALSE(patterns.isEmpty()) << filter.toStdString();
        for (const QString& p : patterns)
            EXPECT_TRUE(pattern.match(p).hasMatch()) << filter.toStdString();
    }
}

TEST(DialogFilters, OpenAllHoldsEveryTypeOfTheOthers) {
    const QStringList open = OpenDialogFilters();
    ASSERT_EQ(open.size(), 5);
    QStringList each;
    for (qsizetype i = 1; i < open.size(); ++i)
        each += Patterns(open[i]);
    QStringList all = Patterns(open[0]);
    all.sort();
    each.sort();
    EXPECT_EQ(all, each);
    EXPECT_EQ(all, QStringList({"*.bmp", "*.jpeg", "*.jpg", "*.png", "*.tif", "*.tiff"}));
}

TEST(DialogFilters, SaveFilterExtensionAndIndexAgree) {
    const QStringList save = SaveDialogFilters();
    ASSERT_EQ(save.size(), 6);
    EXPECT_EQ(Patterns(save[0]), QStringList({"*"}));
    for (int index = 2; index <= 6; ++index) {
        const QString name = NameForSaveFilter("photo.png", index);
        EXPECT_TRUE(QDir::match(Patterns(save[index - 1]), name)) << index;
        EXPECT_EQ(SaveFilterIndexForExtension(name.section(u'.', -1), 0), index);
    }
}

TEST(DialogFilters, SaveFilterIndexComparesExactly) {
    const std::pair<const char*, int> cases[] = {
        {"bmp", 2}, {"jpg", 3},  {"png", 4},  {"tif", 5}, {"tiff", 6},
        {"JPG", 4}, {"jpeg", 4}, {".jpg", 4}, {"", 4},
    };
    for (auto [extension, index] : cases)
        EXPECT_EQ(SaveFilterIndexForExtension(extension, 4), index) << extension;
}

TEST(DialogFilters, NameForSaveFilterChangesOnlyTheFileNamesExtension) {
    struct Case {
        const char* name;
        int index;
        const char* expected;
    };
    const Case cases[] = {
        {"photo.png", 3, "photo.jpg"},
        {"photo", 2, "photo.bmp"},
        {"photo.", 2, "photo.bmp"},
        {"a.b.tif", 6, "a.b.tiff"},
        {"/pics/day.1/photo", 4, "/pics/day.1/photo.png"},
        {"/pics/day.1/photo.JPG", 5, "/pics/day.1/photo.tif"},
        {".hidden", 3, ".hidden.jpg"},
        {"/pics/", 3, "/pics/"},
        {"", 3, ""},
        {"photo.png", 1, "photo.png"},
        {"photo.png", 0, "photo.png"},
        {"photo.png", 7, "photo.png"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameForSaveFilter(c.name, c.index), c.expected)
            << c.name << " filter " << c.index;
}
