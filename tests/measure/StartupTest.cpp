#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/ShellMenuEntry.h"
#include "platform/Errors.h"
#include "platform/ui/QuvarApplication.h"
#include "settings/MCSystems.h"
#include "settings/MainSettings.h"
#include "support/ScriptedPrompts.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A program folder of its own for each test, and the windows torn down afterwards.
class Startup : public ::testing::Test {
protected:
    void SetUp() override { qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(program.path())); }
    void TearDown() override {
        DestroyApplicationWindows();
        qunsetenv("QUVAR_PROGRAM_FOLDER");
    }
    QString ProgramPath(const QString& name) const { return program.path() + "/" + name; }
    QString MakeImage(const QString& name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = images.path() + "/" + name;
        image.save(path);
        return path;
    }

    QTemporaryDir program;
    QTemporaryDir images;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(Startup, ElevenWindowsInOrderWithTheirCaptions) {
    const auto windows = CreateApplicationWindows({});
    const QStringList classes = {
        "TMain",     "TCamViewMain", "TOptionsDlg",       "TSaveWithOptions",
        "TAboutDlg", "TLBForm",      "TSimpleFontDialog", "TInputDialog",
        "TPrefDlg",  "TBCSForm",     "TAVIDialog"};
    const QStringList captions = {"",
                                  "  Preview Window",
                                  "Settings",
                                  "QUVAR Save With Options",
                                  "About",
                                  "Measurements",
                                  "QUVAR Select Font",
                                  "",
                                  "Preferences",
                                  "QUVAR Exposure Correction",
                                  "AVI -Capture Settings "};
    ASSERT_EQ(windows.size(), 11u);
    for (size_t i = 0; i < windows.size(); ++i) {
        const QWidget& window = *windows[i];
        EXPECT_TRUE(QString(typeid(window).name()).endsWith(classes[int(i)])) << i;
        if (i > 0) {
            EXPECT_EQ(window.windowTitle(), captions[int(i)]) << i;
        }
    }
    EXPECT_EQ(windows[0], Main);
    EXPECT_EQ(Main->minimumSize(), QSize(1146, 768));
    EXPECT_EQ(Main->ActiveTool, ToolMeasure);
    EXPECT_EQ(Main->VersionText, "QUVAR version 3.0.6");
    EXPECT_EQ(Main->CopyrightText, DefaultCopyrightText()) << "no settings file yet";
}

TEST_F(Startup, NoSystemsGivesTheWarningOnShow) {
    CreateApplicationWindows({});
    Main->FormShow();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "You have to create at least ONE MC-system in preferences\n\rand calibrate it "
              "first for proper operation of the program!");
}

TEST_F(Startup, CalibrationFileIsLoadedAndNoWarningIsShown) {
    MCSystemTable table;
    table[0].Name = "Leica";
    table[0].NrOfObjectives = 2;
    table[0].DefaultObjective = 1;
    table[0].Objectives[1] = {10, "10x", 0.5};
    SaveCalibration(table, 1, program.path() + "/");
    CreateApplicationWindows({});
    Main->FormShow();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(Main->NrOfMCSystems, 1);
    EXPECT_EQ(Main->MCLabel->text(), "Leica");
    EXPECT_EQ(Main->MCSobjectivelabel->text(), "10x");
}

TEST_F(Startup, OnlyTheFirstArgumentIsOpened) {
    const QString first = MakeImage("first.png", 7, 5);
    const QString second = MakeImage("second.png", 3, 3);
    CreateApplicationWindows({first, second});
    EXPECT_EQ(Main->CurrentFileName, first);
    EXPECT_EQ(Main->OriginalImage.size(), QSize(7, 5));
    EXPECT_EQ(Main->SelectedFolder, images.path());
}

TEST_F(Startup, UnreadableArgumentShowsTheErrorBoxAndTheWindowOpensEmpty) {
    CreateApplicationWindows({images.path() + "/missing.jpg"});
    ASSERT_NE(Main, nullptr);
    EXPECT_TRUE(Main->OriginalImage.isNull());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(prompts.shown[0].caption, "measure_tests");
    EXPECT_TRUE(prompts.shown[0].text.contains("missing.jpg"));
}

TEST_F(Startup, DesktopEntryIsWrittenAndAReadOnlyFolderIsNoError) {
    CreateApplicationWindows({});
    QFile entry(ProgramPath(ShellMenuEntryFileName()));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("Name=Edit with QUVAR\n"));
    EXPECT_TRUE(text.contains("MimeType=image/jpeg;"));
    EXPECT_TRUE(text.contains("%f"));
    EXPECT_EQ(ShellMenuEntryText("/opt/my $app/quvar").section('\n', 3, 3),
              "Exec=\"/opt/my \\$app/quvar\" %f");
    EXPECT_FALSE(WriteShellMenuEntry("/nonexistent-folder/", "/bin/quvar"));
}

TEST_F(Startup, CommentPanelToggles) {
    CreateApplicationWindows({});
    Main->show();
    EXPECT_FALSE(Main->CommentPanel->isVisible());
    Main->ShowSystemCommentClick();
    EXPECT_TRUE(Main->CommentPanel->isVisible());
    EXPECT_EQ(Main->CommentPanel->geometry().right(), Main->Panel1->width() - 1);
    Main->ShowSystemCommentClick();
    EXPECT_FALSE(Main->CommentPanel->isVisible());
    Main->ShowSystemCommentClick();
    Main->CommentPanelCloseClick();
    EXPECT_FALSE(Main->CommentPanel->isVisible());
}

TEST(ErrorBox, AnExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
    ScriptedPrompts prompts;
    EXPECT_FALSE(QuvarApplication::RunGuarded([]() -> bool { throw QuvarError("Bad thing"); }));
    EXPECT_TRUE(QuvarApplication::RunGuarded([] { return true; }));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].caption, "measure_tests");
    EXPECT_EQ(prompts.shown[0].text, "Bad thing");
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Error);
}

namespace {

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

TEST_F(Startup, ExitAndTheSystemCloseWriteTheSettingsAndOtherClosesDoNot) {
    const QString ini = ProgramPath("Quvar.ini");
    CreateApplicationWindows({});
    Main->close();
    EXPECT_FALSE(QFile::exists(ini)) << "a close by the program writes nothing";
    DestroyApplicationWindows();

    CreateApplicationWindows({});
    Main->Exit1Click();
    EXPECT_TRUE(ReadText(ini).contains("[Window]\r\n"));
    QFile::remove(ini);
    DestroyApplicationWindows();

    CreateApplicationWindows({});
    Main->SampleName = "Pond";
    Main->WMSysCommandClose();
    EXPECT_TRUE(ReadText(ini).contains("CaptureFileName=Pond\r\n"));
}

TEST_F(Startup, SettingsWrittenAtExitAreReadAtTheNextStart) {
    CreateApplicationWindows({});
    Main->LengthUnit = "mm";
    Main->setGeometry(40, 50, 1200, 800);
    Main->Exit1Click();
    DestroyApplicationWindows();

    CreateApplicationWindows({});
    EXPECT_EQ(Main->LengthUnit, "mm");
    EXPECT_EQ(Main->CalLabel->text(), "mm / pixel");
    EXPECT_EQ(Main->geometry().size(), QSize(1200, 800));
    EXPECT_TRUE(QFileInfo(Main->PhotoFolder).isDir()) << "the photo folder is created";
}
