#include "settings/PrefPages.h"
#include "settings/MainSettings.h"
#include "settings/PrefFolders.h"

#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QDate May17(2024, 5, 17);

// The settings file written for main, to compare every field at once.
QByteArray SettingsFileOf(TMainSettings main) {
    QTemporaryDir dir;
    main.ProgramFolder = dir.path() + "/";
    SaveMainSettings(main);
    QFile file(main.ProgramFolder + MainSettingsFileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

} // namespace

TEST(PhotoFolderName, BuildsLocationCoordinatesAndDate) {
    struct Case {
        const char* location;
        const char* coordinates;
        bool ignoreDate;
        const char* name;
    } cases[] = {
        {"Pond A", "52.1N 4.3E", false, "Pond A #52.1N 4.3E $2024-05-17"},
        {"Pond A", "", false, "Pond A $2024-05-17"},
        {"Pond A", "", true, "Pond A"},
        {"Pond A", "52.1N", true, "Pond A #52.1N"},
        // One folder, never nested ones; a pasted line break is no part of a name.
        {"Pond/A", "", true, "Pond_A"},
        {"Pond\nA", "1:2", true, "Pond A #1_2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildPhotoFolderName(QString::fromUtf8(c.location),
                                       QString::fromUtf8(c.coordinates), May17, c.ignoreDate),
                  QString::fromUtf8(c.name))
            << c.name;
}

TEST(PhotoFolderName, ParsesTheLastComponentBack) {
    struct Case {
        const char* folder;
        PhotoFolderNameParts parts;
    } cases[] = {
        {"/p/Pond A #52.1N 4.3E $2024-05-17",
         {"Pond A ", "52.1N 4.3E ", true, "2024-05-17", May17}},
        {"/p/Pond A/", {"Pond A", "", false, "", std::nullopt}},
        {"/p/Pond A $2024-05-17", {"Pond A ", "", true, "2024-05-17", May17}},
        {"/p/a#b#c", {"a", "b#c", false, "", std::nullopt}},
        {"/p/x $someday", {"x ", "", true, "someday", std::nullopt}},
        // A "$" further up the path belongs to a parent.
        {"/p$2024-05-17/Pond", {"Pond", "", false, "", std::nullopt}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParsePhotoFolderName(QString::fromUtf8(c.folder)), c.parts) << c.folder;
}

TEST(PhotoFolderName, BuiltNameReadsBackWithTheBlanks) {
    const QString name = BuildPhotoFolderName("Pond A", "52.1N 4.3E", May17, false);
    const PhotoFolderNameParts parts = ParsePhotoFolderName("/x/" + name);
    EXPECT_EQ(parts.Location, "Pond A ");
    EXPECT_EQ(parts.Coordinates, "52.1N 4.3E ");
    EXPECT_EQ(parts.Date, May17);
}

TEST(PrefFolders, APhotoFolderInOrAtTheCameraFolderAsResolved) {
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(QDir().mkpath(root + "/photos/cam"));
    ASSERT_TRUE(QDir().mkpath(root + "/other"));
    ASSERT_TRUE(QFile::link(root + "/photos", root + "/link"));
    struct Case {
        QString photo, camera;
        bool clash;
    } cases[] = {
        {root + "/photos", root + "/photos", true},
        {root + "/photos", root + "/photos/", true},
        {root + "/photos", root + "/other/../photos", true},
        {root + "/photos", root + "/photos/cam", false}, // the camera folder inside: harmless
        {root + "/photos/cam", root + "/photos", true},
        {root + "/link/cam", root + "/photos/cam", true},
        {root + "/photos", root + "/other", false},
        {root + "/photos", root + "/photosX", false},
        {root + "/photos/new", root + "/photos/new", true}, // not there yet
        {root + "/photos", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PhotoFolderInCameraFolder(c.photo, c.camera), c.clash)
            << c.photo.toStdString() << " " << c.camera.toStdString();
}

TEST(PrefFolders, CameraFolderWithOnlySubfoldersIsEmpty) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/sub/deeper"));
    Touch(dir.path() + "/sub/a.jpg");
    EXPECT_TRUE(CameraFolderIsEmpty(dir.path()));
    Touch(dir.path() + "/b.txt");
    EXPECT_FALSE(CameraFolderIsEmpty(dir.path()));
}

TEST(PrefFolders, CreatePhotoFolder) {
    QTemporaryDir dir;
    const auto made = CreatePhotoFolder(dir.path(), "Pond/A $2024-05-17");
    ASSERT_TRUE(made);
    EXPECT_EQ(*made, dir.path() + "/Pond_A $2024-05-17");
    EXPECT_TRUE(QDir(*made).exists());
    EXPECT_EQ(CreatePhotoFolder(dir.path(), ""), dir.path());
    EXPECT_FALSE(CreatePhotoFolder(dir.path(), ".."));
    Touch(dir.path() + "/file");
    EXPECT_FALSE(CreatePhotoFolder(dir.path() + "/file", "x")) << "inside a file";
}

TEST(PrefPages, SchemesEnableTheirControlsAndIncludeMag) {
    struct Case {
        int scheme;
        bool prefix, counter, includeMag;
    } cases[] = {{0, false, false, true},
                 {1, false, false, false},
                 {2, false, true, true},
                 {3, true, true, true},
                 {4, true, true, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(SchemeUsesPrefix(c.scheme), c.prefix) << c.scheme;
        EXPECT_EQ(SchemeUsesCounter(c.scheme), c.counter) << c.scheme;
        EXPECT_EQ(IncludeMagForScheme(c.scheme), c.includeMag) << c.scheme;
    }
}

TEST(PrefPages, PreviewHeightsAndTextHeights) {
    struct Case {
        bool promil;
        int textHeight, imageHeight, pixels;
    } cases[] = {
        {true, 50, 1000, 50}, {true, 50, 480, 24},   {true, 5, 51, 1}, {true, 50, 50, 30},
        {true, 7, 0, 4},      {false, 20, 1000, 20}, {false, 5, 0, 5}, {true, 5, 100, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScalePreviewPixelHeight(c.promil, c.textHeight, c.imageHeight), c.pixels)
            << c.textHeight << " " << c.imageHeight;
    EXPECT_EQ(MeasurementTextHeight(20), 14);
    EXPECT_EQ(MeasurementTextHeight(5), 3);
}

TEST(PrefPages, CaptionsRangesAndLists) {
    EXPECT_EQ(ScaleCaptions(true).Width, "Scale Height in promil");
    EXPECT_EQ(ScaleCaptions(false).Margin, "Scale Margin in pixels");
    EXPECT_EQ(ScaleCaptions(false).TextHeight, "Text Height in pixels");
    EXPECT_EQ(ScaleWidthRange.Min, 1);
    EXPECT_EQ(ScaleWidthRange.Max, 30);
    EXPECT_EQ(ScaleMarginRange.Max, 200);
    EXPECT_EQ(ScaleTextHeightRange.Min, 5);
    EXPECT_EQ(ScaleTextHeightRange.Max, 50);
    EXPECT_EQ(MeasurePenWidthRange.Max, 8);

    const QStringList mil = {"Auto", "0.1", "0.2", "0.5", "1.0", "2.0",
                             "2.5",  "5.0", "10",  "20",  "25"};
    const QStringList other = {"Auto", "1", "2", "5", "10"};
    EXPECT_EQ(ScaleDivisionItems("mil"), mil);
    EXPECT_EQ(ScaleDivisionItems(QString::fromUtf8("µm")), other);
    EXPECT_EQ(ScaleDivisionItems("mm"), other);
    EXPECT_EQ(DivisionsPositionForUnit(9, "mm"), 4);
    EXPECT_EQ(DivisionsPositionForUnit(9, "mil"), 9);
    EXPECT_EQ(DivisionsPositionForUnit(-1, "mil"), 0);
}

TEST(PrefPages, LightTextWantsTheDarkerBackground) {
    struct Case {
        ColorRef color;
        bool light;
    } cases[] = {{0x000000, false},
                 {0xFFFFFF, true},
                 {0x00FFFF, true} /* yellow */,
                 {0xFF0000, false} /* blue */,
                 {0x00FF00, true} /* lime */,
                 {0x808080, true}};
    for (const Case& c : cases)
        EXPECT_EQ(IsLightText(c.color), c.light) << std::hex << c.color;
}

TEST(PrefPages, OpeningValuesApplyBackUnchanged) {
    TMainSettings main;
    main.PhotoFolder = "/p/Pond";
    main.WatchFolder = "/w";
    main.NamingScheme = 3;
    main.FileCounter = 17;
    main.SaveExtension = "webp"; // not in the list, kept as stored
    main.NewSampleDate = May17;
    main.ScalePenColor = 0xFFFFFF;
    main.ScaleType = 2;
    main.LengthUnit = "mil";
    main.ScaleDivisions = 9;
    main.UseWidth = false;
    main.WrapLength = 0;
    main.CopyrightText = "(c) me";
    TMainSettings applied = main;
    ApplyPageValues(PageValuesFrom(main), applied);
    EXPECT_EQ(SettingsFileOf(applied), SettingsFileOf(main));
}

TEST(PrefPages, NamingAtApply) {
    struct Case {
        int checked;
        const char* counter;
        int scheme, fileCounter;
        const char* sampleName;
    } cases[] = {
        {2, "0", 2, 0, "IMG"},      // the counter reset, prefix not taken
        {3, "0042", 3, 42, "Pond"}, // prefix and counter
        {-1, "5", 4, 5, "Pond"},    // none checked: the scheme in force stays
        {0, "", 0, 9, "IMG"},       // counter not used, so an empty field is no error
        {1, "x", 1, 9, "IMG"},
    };
    for (const Case& c : cases) {
        TMainSettings main;
        main.NamingScheme = 4;
        main.FileCounter = 9;
        PrefPageValues v = PageValuesFrom(main);
        v.CheckedScheme = c.checked;
        v.CounterText = c.counter;
        v.Prefix = "Pond";
        ApplyPageValues(v, main);
        EXPECT_EQ(main.NamingScheme, c.scheme) << c.checked;
        EXPECT_EQ(main.FileCounter, c.fileCounter) << c.checked;
        EXPECT_EQ(main.SampleName, c.sampleName) << c.checked;
    }
}

TEST(PrefPages, ABadFieldChangesNothingAndIsNamed) {
    struct Case {
        const char* counter;
        const char* arrow;
        const char* wrap;
        const char* field;
    } cases[] = {
        {"", "0", "40", "Number: '' is not a valid integer value"},
        {"99999999999", "0", "40", "Number: '99999999999' is not a valid integer value"},
        {"1", "", "40", "Length arrow head in pixels: '' is not a valid integer value"},
        {"1", "-3", "40", "Length arrow head in pixels: '-3' is not a valid integer value"},
        {"1", "0", "99999999999x",
         "Wrap label text after this amount of characters: "
         "'99999999999x' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        TMainSettings main;
        main.NamingScheme = 2;
        main.PhotoFolder = "/p";
        PrefPageValues v = PageValuesFrom(main);
        v.CounterText = c.counter;
        v.ArrowHeadText = c.arrow;
        v.WrapText = c.wrap;
        v.PhotoFolder = "/q"; // an earlier step that must not be taken either
        v.Sizes.WidthPx = 7;
        EXPECT_EQ(PageValuesError(v, main.NamingScheme), c.field);
        const QByteArray before = SettingsFileOf(main);
        EXPECT_THROW(ApplyPageValues(v, main), QuvarError);
        EXPECT_EQ(SettingsFileOf(main), before) << c.field;
    }
}

TEST(PrefPages, WrapTakesTheLeadingDigitsAndTextsLoseLineBreaks) {
    TMainSettings main;
    PrefPageValues v = PageValuesFrom(main);
    v.WrapText = "12abc";
    v.CopyrightText = "line one\r\nline two";
    v.Prefix = "a\nb";
    v.CheckedScheme = 3;
    ApplyPageValues(v, main);
    EXPECT_EQ(main.WrapLength, 12);
    EXPECT_EQ(main.CopyrightText, "line one line two");
    EXPECT_EQ(main.SampleName, "a b");
    v.WrapText = "";
    ApplyPageValues(v, main);
    EXPECT_EQ(main.WrapLength, 0);
    v.PhotoFolder = "/p/a\nb";
    EXPECT_FALSE(PageValuesError(v, 0).isEmpty());
}
