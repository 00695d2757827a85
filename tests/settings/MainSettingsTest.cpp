#include "settings/MainSettings.h"

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "settings/SettingsUtilities.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

const QString Micro = QString::fromUtf8("µm");

struct MainSettingsFile : ::testing::Test {
    QTemporaryDir dir;
    QString program; // the program folder, with "/"
    QString photo;   // a photo folder whose name carries location, coordinates and date
    QString watch;
    const QDate today{2025, 2, 3};

    void SetUp() override {
        program = dir.path() + "/program/";
        photo = dir.path() + "/data/Pond A #52.1N 4.3E $2024-05-17";
        watch = dir.path() + "/watch";
        for (const QString& folder : {program, photo, watch})
            QDir().mkpath(folder);
    }

    TMainSettings Fresh() const {
        TMainSettings m;
        m.ProgramFolder = program;
        m.NewSampleDate = today;
        return m;
    }

    // Every field that the file keeps set away from its default.
    TMainSettings Changed() const {
        TMainSettings m = Fresh();
        m.Placement = {11, 12, 1013, 714, 1};
        m.FotoSizeIndex = 3;
        m.CaptureImageSize = 5;
        m.NrOfMCSystems = 3;
        m.DefaultMCSystem = 2;
        m.SelectionFormat = 3;
        m.UseWidth = false;
        m.PhotoFolder = photo;
        m.SelectedFolder = "/nowhere/ctrl";
        m.AlternativeFolder = "/nowhere/alt";
        m.PhotoLocation = "Pond A";
        m.PhotoCoordinates = "52.1N 4.3E";
        m.SaveExtension = "png";
        m.NamingScheme = 4;
        m.FileCounter = 123;
        m.SampleName = "Diatom";
        m.LastUsedDB = "Species.csv";
        m.WriteBmpComment = false;
        m.ShowBottomPanels = false;
        m.WatchFolder = watch;
        m.SaveGrabbedFrames = false;
        m.AddLocation = true;
        m.ScaleAsPercentage = true;
        m.ScaleWidthPromil = 21;
        m.ScaleWidthPx = 3;
        m.ScaleMarginPromil = 51;
        m.ScaleMarginPx = 7;
        m.ScaleTextHeightPromil = 48;
        m.ScaleTextHeightPx = 22;
        m.MeasurePenWidth = 4;
        m.MeasurePenColor = 0x0000FF;
        m.UnitBackColor = 0x00FF00;
        m.ScalePenColor = 0xFF0000;
        m.ScalePosition = 3;
        m.ScaleType = 2;
        m.ScaleDivisions = 5;
        m.ShowScaleText = false;
        m.ScaleTransparent = false;
        m.LengthUnit = "mil";
        m.AddUnit = true;
        m.UnitTransparancy = true;
        m.FillArrow = false;
        m.ArrowHeadLength = 9;
        m.ObjectiveLabelPosition = 2;
        m.CopyrightText = QString::fromUtf8("© Jan de Vries 2024");
        m.CopyrightPosition = 1;
        m.LabelPosition = 2;
        m.WrapLength = 0;
        m.CopyrightFont = {"Liberation Serif", 0, 0x123456, 12, 3};
        m.LabelFont = {"DejaVu Sans Mono", 2, 0xFFFFFF, 14, 4};
        m.ScaleFont = {"Noto Sans", 1, 0x808080, 9, 8};
        m.WarningOnResize = false;
        m.WarningOnExternalFile = false;
        return m;
    }

    QString IniPath() const { return program + "Quvar.ini"; }
    QByteArray ReadIni() const {
        QFile file(IniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void WriteIni(const QByteArray& bytes) const {
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

QString Pictures() {
    return GetSpecialFolder(SpecialFolderMyPictures, false);
}

} // namespace

TEST_F(MainSettingsFile, WritesEveryKeyInOrder) {
    SaveMainSettings(Changed());
    const QString expected =
        "[Revision]\r\nMajorMinor=3006\r\n"
        "[Window]\r\nTop=11\r\nLeft=12\r\nWidth=1013\r\nHeight=714\r\nState=1\r\n"
        "[Video]\r\nFotoSize=3\r\nCaptureImageSize=5\r\n"
        "[MCsystems]\r\nCameraMic=2\r\n"
        "[PictureFormat]\r\nWidth-Height=3\r\nUseWidth=0\r\n"
        "[Directories]\r\nPhotoDir=" +
        photo +
        "\r\nCTRLFileDir=/nowhere/ctrl\r\n"
        "ALTFileDir=/nowhere/alt\r\n"
        "[Location]\r\nPhotoLocation=Pond A\r\nPhotoCoordinates=52.1N 4.3E\r\n"
        "[Files]\r\nImageExtension=png\r\nCaptureFileType=4\r\nCaptureNr=123\r\n"
        "CaptureFileName=Diatom\r\nLastUsedDB=Species.csv\r\nBMPcomment=0\r\n"
        "ShowBottomPanels=0\r\n"
        "[DSLR-CAM]\r\nFromCameraDir=" +
        watch +
        "\r\nSaveGrabbedFrames=0\r\nAddLocation=1\r\n"
        "[MeasuringWindow]\r\nScaleAsPercentage=1\r\nScaleWidthPromil=21\r\nScaleWidthPx=3\r\n"
        "ScaleMarginPromil=51\r\nScaleMarginPx=7\r\nScaleTextHeightPromil=48\r\n"
        "ScaleTextHeightPx=22\r\nMeasurePenWidth=4\r\nMeasurePenColor=255\r\n"
        "UnitBackColor=65280\r\nScalePenColor=16711680\r\nScalePosition=3\r\nScaleType=2\r\n"
        "ScaleDivisions=5\r\nShowScaleText=0\r\nScaleTransparent=0\r\nUnits=mil\r\nAddUnit=1\r\n"
        "UnitTransparancy=1\r\nFillArrow=0\r\nArrowHeadLength=9\r\nObjectiveLabelPosition=2\r\n"
        "[Copyright]\r\nText=" +
        QString::fromUtf8("© Jan de Vries 2024") +
        "\r\nPosition=1\r\n"
        "[Label]\r\nPosition=2\r\nWrapLength=0\r\n"
        "[CopyrightFont]\r\nName=Liberation Serif\r\nCharSet=0\r\nColor=1193046\r\nSize=12\r\n"
        "Style=3\r\n"
        "[LabelFont]\r\nName=DejaVu Sans Mono\r\nCharSet=2\r\nColor=16777215\r\nSize=14\r\n"
        "Style=4\r\n"
        "[ScaleFont]\r\nName=Noto Sans\r\nCharSet=1\r\nColor=8421504\r\nSize=9\r\nStyle=8\r\n"
        "[Warnings]\r\nWarningOnResize=0\r\nWarningOnExternalFile=0\r\n";
    // Every character has a Windows-1252 byte, so the file is Windows-1252 ("©" is A9).
    EXPECT_EQ(QString::fromLatin1(ReadIni()).toStdString(), expected.toStdString());
}

TEST_F(MainSettingsFile, RoundTripKeepsEveryKey) {
    SaveMainSettings(Changed());
    const QByteArray written = ReadIni();

    TMainSettings read = Fresh();
    const FolderLocation location = LoadMainSettings(read);
    EXPECT_EQ(location, (FolderLocation{"Pond A ", "52.1N 4.3E $2024-05-17"}));
    EXPECT_EQ(read.NewSampleDate, QDate(2024, 5, 17));
    EXPECT_EQ(read.CurrentMCSystem, 2) << "CameraMic also sets the current system";
    EXPECT_EQ(read.Placement.State, 1);
    EXPECT_EQ(read.CopyrightFont, Changed().CopyrightFont);
    EXPECT_EQ(read.SelectedFolder, "/nowhere/ctrl") << "other folders stay as text";

    read.NrOfMCSystems = 3; // from the calibration file, which is not this one
    SaveMainSettings(read);
    EXPECT_EQ(ReadIni(), written);
}

TEST_F(MainSettingsFile, NoFileGivesEveryDefaultAndCreatesTheFolders) {
    TMainSettings m = Changed();
    m.PhotoFolder.clear();
    m.WatchFolder.clear();
    const FontRecord font = m.ScaleFont;
    const FolderLocation location = LoadMainSettings(m);

    const TMainSettings d;
    EXPECT_EQ(m.Placement.Top, 0);
    EXPECT_EQ(m.Placement.Left, 0);
    EXPECT_EQ(m.Placement.Width, 815);
    EXPECT_EQ(m.Placement.Height, 655);
    EXPECT_EQ(m.Placement.State, 0);
    EXPECT_EQ(m.FotoSizeIndex, 0);
    EXPECT_EQ(m.CaptureImageSize, 0);
    EXPECT_EQ(m.DefaultMCSystem, 0);
    EXPECT_EQ(m.CurrentMCSystem, 0);
    EXPECT_EQ(m.SelectionFormat, 2);
    EXPECT_TRUE(m.UseWidth);
    EXPECT_EQ(m.SelectedFolder, QString());
    EXPECT_EQ(m.AlternativeFolder, QString());
    EXPECT_EQ(m.PhotoLocation, QString());
    EXPECT_EQ(m.PhotoCoordinates, QString());
    EXPECT_EQ(m.SaveExtension, "jpg");
    EXPECT_EQ(m.NamingScheme, 0);
    EXPECT_EQ(m.FileCounter, 0);
    EXPECT_EQ(m.SampleName, "IMG");
    EXPECT_EQ(m.LastUsedDB, QString());
    EXPECT_TRUE(m.WriteBmpComment);
    EXPECT_TRUE(m.ShowBottomPanels);
    EXPECT_TRUE(m.SaveGrabbedFrames);
    EXPECT_FALSE(m.AddLocation);
    EXPECT_TRUE(m.WarningOnResize);
    EXPECT_TRUE(m.WarningOnExternalFile);
    EXPECT_EQ(m.NewSampleDate, today);

    EXPECT_FALSE(m.ScaleAsPercentage);
    EXPECT_EQ(m.ScaleWidthPromil, 20);
    EXPECT_EQ(m.ScaleWidthPx, 2);
    EXPECT_EQ(m.ScaleMarginPromil, 50);
    EXPECT_EQ(m.ScaleMarginPx, 6);
    EXPECT_EQ(m.ScaleTextHeightPromil, 50);
    EXPECT_EQ(m.ScaleTextHeightPx, 20);
    EXPECT_EQ(m.MeasurePenWidth, 1);
    EXPECT_EQ(m.MeasurePenColor, 0u);
    EXPECT_EQ(m.UnitBackColor, 0xFFFFFFu);
    EXPECT_EQ(m.ScalePenColor, 0u);
    EXPECT_EQ(m.ScalePosition, 0);
    EXPECT_EQ(m.ScaleType, 1);
    EXPECT_EQ(m.ScaleDivisions, 0);
    EXPECT_TRUE(m.ShowScaleText);
    EXPECT_TRUE(m.ScaleTransparent);
    EXPECT_EQ(m.LengthUnit, Micro);
    EXPECT_FALSE(m.AddUnit);
    EXPECT_FALSE(m.UnitTransparancy);
    EXPECT_TRUE(m.FillArrow);
    EXPECT_EQ(m.ArrowHeadLength, 0);
    EXPECT_EQ(m.ObjectiveLabelPosition, 0);
    EXPECT_EQ(m.CopyrightText, QString::fromUtf8("© Name of the photographer"));
    EXPECT_EQ(m.CopyrightPosition, 0);
    EXPECT_EQ(m.LabelPosition, 0);
    EXPECT_EQ(m.WrapLength, 40);
    EXPECT_EQ(m.ScaleFont, font) << "a font keeps its current value";

    EXPECT_EQ(m.WatchFolder, Pictures() + "/QUVAR-Temp");
    EXPECT_EQ(m.PhotoFolder, Pictures() + "/QUVAR");
    EXPECT_TRUE(Pictures().startsWith(QDir::homePath() + "/"));
    EXPECT_TRUE(QFileInfo(m.WatchFolder).isDir());
    EXPECT_TRUE(QFileInfo(m.PhotoFolder).isDir());
    EXPECT_EQ(location, (FolderLocation{"QUVAR", QString()}));
}

TEST_F(MainSettingsFile, MissingWatchAndPhotoFoldersAreReplaced) {
    WriteIni("[Directories]\r\nPhotoDir=/nowhere/Pond #1N $2023-01-02\r\n"
             "[DSLR-CAM]\r\nFromCameraDir=/nowhere/cam\r\n");
    TMainSettings m = Fresh();
    LoadMainSettings(m);
    EXPECT_EQ(m.PhotoFolder, Pictures() + "/QUVAR");
    EXPECT_EQ(m.WatchFolder, Pictures() + "/QUVAR-Temp");
    EXPECT_EQ(m.NewSampleDate, QDate(2023, 1, 2)) << "the date is read before the folder test";
}

TEST_F(MainSettingsFile, AFaultySampleDateKeepsToday) {
    for (const QString& name : {QString("Pond $2024-13-45"), QString("Pond $soon"),
                                QString("Pond $"), QString("$2024-05-17 x/Pond")}) {
        QDir().mkpath(dir.path() + "/data/" + name);
        TMainSettings m = Changed();
        m.PhotoFolder = dir.path() + "/data/" + name;
        SaveMainSettings(m);
        TMainSettings read = Fresh();
        LoadMainSettings(read);
        EXPECT_EQ(read.NewSampleDate, today) << name.toStdString();
        EXPECT_EQ(read.PhotoFolder, m.PhotoFolder) << "the loading goes on";
    }
}

TEST_F(MainSettingsFile, SelectionFormatAndWindowStateOutOfRange) {
    const std::pair<const char*, int> formats[] = {{"0", 2}, {"7", 2}, {"-1", 2}, {"x", 2},
                                                   {"1", 1}, {"4", 4}, {"0x3", 3}};
    for (auto [text, expected] : formats) {
        WriteIni(QByteArray("[PictureFormat]\r\nWidth-Height=") + text + "\r\n");
        TMainSettings m = Fresh();
        LoadMainSettings(m);
        EXPECT_EQ(m.SelectionFormat, expected) << text;
    }
    const std::pair<const char*, int> states[] = {
        {"0", 0}, {"1", 1}, {"2", 2}, {"3", 0}, {"-1", 0}};
    for (auto [text, expected] : states) {
        WriteIni(QByteArray("[Window]\r\nState=") + text + "\r\n");
        TMainSettings m = Fresh();
        LoadMainSettings(m);
        EXPECT_EQ(m.Placement.State, expected) << text;
    }
}

TEST_F(MainSettingsFile, WindowPlacementIsReadBounded) {
    WriteIni("[Window]\r\nTop=-2147483648\r\nLeft=2147483647\r\nWidth=2147483647\r\n"
             "Height=-5\r\n");
    TMainSettings m = Fresh();
    LoadMainSettings(m);
    EXPECT_EQ(m.Placement.Top, -WindowCoordinateLimit);
    EXPECT_EQ(m.Placement.Left, WindowCoordinateLimit);
    EXPECT_EQ(m.Placement.Width, WindowCoordinateLimit);
    EXPECT_EQ(m.Placement.Height, 0);

    WriteIni("[Window]\r\nTop=-20\r\nLeft=1930\r\nWidth=1200\r\nHeight=800\r\n");
    m = Fresh();
    LoadMainSettings(m);
    EXPECT_EQ(m.Placement.Top, -20) << "a value in range is read as it is";
    EXPECT_EQ(m.Placement.Left, 1930);
    EXPECT_EQ(m.Placement.Width, 1200);
    EXPECT_EQ(m.Placement.Height, 800);
}

TEST_F(MainSettingsFile, AppearanceSizesAreReadWithinThePreferencesRanges) {
    struct Case {
        const char* key;
        int TMainSettings::*field;
        int low, high;
    };
    const Case cases[] = {
        {"ScaleWidthPromil", &TMainSettings::ScaleWidthPromil, 1, 30},
        {"ScaleWidthPx", &TMainSettings::ScaleWidthPx, 1, 30},
        {"ScaleMarginPromil", &TMainSettings::ScaleMarginPromil, 1, 200},
        {"ScaleMarginPx", &TMainSettings::ScaleMarginPx, 1, 200},
        {"ScaleTextHeightPromil", &TMainSettings::ScaleTextHeightPromil, 5, 50},
        {"ScaleTextHeightPx", &TMainSettings::ScaleTextHeightPx, 5, 50},
        {"MeasurePenWidth", &TMainSettings::MeasurePenWidth, 1, 8},
        {"ArrowHeadLength", &TMainSettings::ArrowHeadLength, 0, ArrowHeadLengthLimit}};
    for (const Case& c : cases) {
        for (auto [text, expected] : {std::pair{"2147483647", c.high},
                                      std::pair{"-2147483648", c.low}, std::pair{"5", 5}}) {
            WriteIni(QByteArray("[MeasuringWindow]\r\n") + c.key + "=" + text + "\r\n");
            TMainSettings m = Fresh();
            LoadMainSettings(m);
            EXPECT_EQ(m.*c.field, expected) << c.key << "=" << text;
        }
    }
}

TEST_F(MainSettingsFile, FileCounterIsReadWithinZeroAndTheLargestInt) {
    const std::pair<const char*, int> counters[] = {{"7", 7},           {"2147483647", 2147483647},
                                                    {"2147483648", 0},  {"-5", 0},
                                                    {"-2147483648", 0}, {"0x7FFFFFFF", 2147483647}};
    for (auto [text, expected] : counters) {
        WriteIni(QByteArray("[Files]\r\nCaptureNr=") + text + "\r\n");
        TMainSettings m = Fresh();
        LoadMainSettings(m);
        EXPECT_EQ(m.FileCounter, expected) << text;
    }
}

TEST_F(MainSettingsFile, MinimisedIsStoredNormalMaximisedKeepsTheNormalRectangle) {
    for (auto [state, stored] : {std::pair{0, 0}, {1, 1}, {2, 0}}) {
        TMainSettings m = Changed();
        m.Placement = {40, 30, 900, 700, state};
        SaveMainSettings(m);
        TMainSettings read = Fresh();
        LoadMainSettings(read);
        EXPECT_EQ(read.Placement.State, stored) << state;
        EXPECT_EQ(read.Placement.Top, 40);
        EXPECT_EQ(read.Placement.Left, 30);
        EXPECT_EQ(read.Placement.Width, 900);
        EXPECT_EQ(read.Placement.Height, 700);
    }
}

TEST_F(MainSettingsFile, CameraMicWithOneSystemIsZeroAndIsBoundAfterCalibration) {
    TMainSettings m = Changed();
    m.NrOfMCSystems = 1;
    m.DefaultMCSystem = 5;
    SaveMainSettings(m);
    EXPECT_EQ(IniFile(IniPath()).ReadString("MCsystems", "CameraMic", "?"), "0");

    struct Case {
        int systems, stored, expected;
    };
    for (auto c : {Case{0, 0, 0}, Case{2, 5, 0}, Case{2, -1, 0}, Case{2, 1, 1}, Case{16, 15, 15},
                   Case{0, 3, 0}}) {
        TMainSettings b = Fresh();
        b.NrOfMCSystems = c.systems;
        b.DefaultMCSystem = c.stored;
        b.CurrentMCSystem = c.stored;
        BoundMCSystemChoice(b);
        EXPECT_EQ(b.DefaultMCSystem, c.expected) << c.systems << " " << c.stored;
        EXPECT_EQ(b.CurrentMCSystem, c.expected) << c.systems << " " << c.stored;
    }
}

TEST_F(MainSettingsFile, UnitsReadAndWriteTheSingleByteB5) {
    WriteIni("[MeasuringWindow]\r\nUnits=\xB5m\r\n");
    TMainSettings m = Fresh();
    m.LengthUnit = "mm";
    LoadMainSettings(m);
    EXPECT_EQ(m.LengthUnit, Micro);
    SaveMainSettings(m);
    EXPECT_TRUE(ReadIni().contains("\r\nUnits=\xB5m\r\n"));

    for (const char* unknown : {"furlong", "MM", "um"}) {
        WriteIni(QByteArray("[MeasuringWindow]\r\nUnits=") + unknown + "\r\n");
        TMainSettings u = Fresh();
        LoadMainSettings(u);
        EXPECT_EQ(u.LengthUnit, Micro) << unknown;
    }
}

TEST_F(MainSettingsFile, SavingForgetsUnknownKeysAppearanceSavingKeepsThem) {
    WriteIni("[Mine]\r\nKeep=1\r\n[Files]\r\nCaptureNr=7\r\nExtra=x\r\n");
    {
        IniFile ini(IniPath());
        WriteMeasuringSettings(ini, Changed());
        ini.Save();
    }
    IniFile appearance(IniPath());
    EXPECT_EQ(appearance.ReadString("Mine", "Keep", ""), "1");
    EXPECT_EQ(appearance.ReadString("Files", "Extra", ""), "x");
    EXPECT_EQ(appearance.ReadInteger("Files", "CaptureNr", 0), 7);
    EXPECT_EQ(appearance.ReadString("MeasuringWindow", "Units", ""), "mil");
    EXPECT_EQ(appearance.ReadString("ScaleFont", "Name", ""), "Noto Sans");

    TMainSettings onlyAppearance = Fresh();
    onlyAppearance.PhotoFolder = "untouched";
    ReadMeasuringSettings(appearance, onlyAppearance);
    EXPECT_EQ(onlyAppearance.LengthUnit, "mil");
    EXPECT_EQ(onlyAppearance.LabelFont, Changed().LabelFont);
    EXPECT_EQ(onlyAppearance.FileCounter, 0) << "only the appearance sections are read";
    EXPECT_EQ(onlyAppearance.PhotoFolder, "untouched");

    SaveMainSettings(Changed());
    const IniFile saved(IniPath());
    EXPECT_FALSE(saved.SectionExists("Mine"));
    EXPECT_FALSE(saved.ValueExists("Files", "Extra"));
    EXPECT_EQ(saved.ReadInteger("Files", "CaptureNr", 0), 123);
}

TEST_F(MainSettingsFile, RefusedWriteNamesTheFileAndKeepsTheOldOne) {
    SaveMainSettings(Changed());
    const QByteArray before = ReadIni();
    for (auto spoil : {+[](TMainSettings& m) { m.PhotoFolder += "\nPhotoDir=/"; },
                       +[](TMainSettings& m) { m.CopyrightText = "line\rbreak"; },
                       +[](TMainSettings& m) { m.ScaleFont.Name = "a\nb"; }}) {
        TMainSettings m = Changed();
        spoil(m);
        try {
            SaveMainSettings(m);
            ADD_FAILURE() << "a value with a line break was written";
        } catch (const QuvarError& error) {
            EXPECT_EQ(error.message(), "Unable to write to " + IniPath());
        }
        EXPECT_EQ(ReadIni(), before);
    }

    TMainSettings nowhere = Changed();
    nowhere.ProgramFolder = dir.path() + "/absent/";
    try {
        SaveMainSettings(nowhere);
        ADD_FAILURE() << "written into a missing folder";
    } catch (const QuvarError& error) {
        EXPECT_EQ(error.message(), "Unable to write to " + dir.path() + "/absent/Quvar.ini");
    }
}

TEST_F(MainSettingsFile, FontSectionKeepsCurrentValuesForMissingKeys) {
    WriteIni("[F]\r\nName=Serif\r\nColor=0xFF\r\nStyle=bad\r\n");
    FontRecord font{"Sans", 3, 7, 11, 2};
    ReadFontSection(IniFile(IniPath()), "F", font);
    EXPECT_EQ(font, (FontRecord{"Serif", 3, 255, 11, 2}));
}

TEST(FolderLocation, SplitsTheLastComponentAtTheFirstHash) {
    struct Case {
        const char* folder;
        const char* location;
        const char* coordinates;
    };
    const Case cases[] = {
        {"/p/Pond A #52.1N 4.3E $2024-05-17", "Pond A ", "52.1N 4.3E $2024-05-17"},
        {"/p/Pond A #52.1N/", "Pond A ", "52.1N"},
        {"/p/Sample 12", "Sample 12", ""},
        {"/a#b/Sample", "Sample", ""},
        {"/p/A#B#C", "A", "B#C"},
        {"/p/#only", "", "only"},
        {"/p/end#", "end", ""},
        {"Relative", "Relative", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitFolderLocation(c.folder), (FolderLocation{c.location, c.coordinates}))
            << c.folder;
}

TEST(FolderLocation, AMissingFolderBecomesFromCamera) {
    QTemporaryDir dir;
    EXPECT_EQ(LocationFolder(dir.path()), dir.path());
    const QString fromCamera = LocationFolder(dir.path() + "/gone #1N");
    EXPECT_EQ(fromCamera, Pictures() + "/QUVAR/FromCamera");
    EXPECT_TRUE(QFileInfo(fromCamera).isDir());
    EXPECT_EQ(SplitFolderLocation(fromCamera), (FolderLocation{"FromCamera", QString()}));
}

TEST(UnitCaptions, FollowTheUnit) {
    const auto micro = InsertScaleCaptions(Micro);
    EXPECT_EQ(micro[0], QString::fromUtf8("Insert Scale 5 µm"));
    EXPECT_EQ(micro[6], QString::fromUtf8("Insert Scale 500 µm"));
    const auto mm = InsertScaleCaptions("mm");
    const char* expected[] = {"0.5", "1", "2", "5", "10", "20", "50"};
    for (size_t i = 0; i < mm.size(); ++i)
        EXPECT_EQ(mm[i], QString("Insert Scale ") + expected[i] + " mm") << i;
    EXPECT_EQ(InsertScaleCaptions("mil")[0], "Insert Scale 0.5 mil");
    EXPECT_EQ(CalLabelCaption("mil"), "mil / pixel");
    EXPECT_EQ(SelectCropAreaCaption(Micro), QString::fromUtf8("Select Crop Area (µm)"));
}

TEST(UnitCaptions, CropSizeCaption) {
    struct Case {
        int tag;
        QString unit;
        bool useWidth, swapped;
        QString caption;
    };
    const Case cases[] = {
        {10, Micro, true, false, QString::fromUtf8("Width in µm = 10")},
        {15, "mm", false, false, "Height in mm = 1.5"},
        {15, "mm", true, true, "Height in mm = 1.5"},
        {500, "mil", false, true, "Width in mil = 50"},
        {250, Micro, false, false, QString::fromUtf8("Height in µm = 250")},
        {35, "mil", true, false, "Width in mil = 3.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CropSizeCaption(c.tag, c.unit, c.useWidth, c.swapped), c.caption) << c.tag;
    EXPECT_EQ(CropSizeTags.front(), 10);
    EXPECT_EQ(CropSizeTags[1], 15);
    EXPECT_EQ(CropSizeTags.back(), 500);
}

// Qt takes the C locale from the environment; nothing the settings write or show may
// follow a comma-decimal one.
TEST_F(MainSettingsFile, CommaDecimalLocaleChangesNothing) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE.UTF-8 locale installed";
    SaveMainSettings(Changed());
    const QByteArray written = ReadIni();
    TMainSettings read = Fresh();
    LoadMainSettings(read);
    read.NrOfMCSystems = 3;
    SaveMainSettings(read);
    const QString caption = CropSizeCaption(15, "mm", true, false);
    const double parsed = StrToFloatAnySeparator("2.5");
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_EQ(ReadIni(), written);
    EXPECT_EQ(caption, "Width in mm = 1.5");
    EXPECT_DOUBLE_EQ(parsed, 2.5);
}
