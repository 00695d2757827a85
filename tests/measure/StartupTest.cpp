#include "capture/VideoCapture.h"
#include "capture/ui/CamViewMain.h"
#include "capture/ui/OptionsDialog.h"
#include "imaging/TiffFiles.h"
#include "imaging/ui/ExposureDialog.h"
#include "measure/SpreadsheetExport.h"
#include "measure/ui/AboutDialog.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/MeasurementListWindow.h"
#include "measure/ui/ProgramStart.h"
#include "measure/ui/SaveWithOptionsDialog.h"
#include "measure/ui/ShellMenuEntry.h"
#include "platform/Errors.h"
#include "platform/ui/QuvarApplication.h"
#include "platform/ui/QuvarStyle.h"
#include "settings/MCSystems.h"
#include "settings/MainSettings.h"
#include "settings/ui/FontDialog.h"
#include "settings/ui/InputDialog.h"
#include "settings/ui/PreferencesDialog.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"
#include "video/AviCompressorNames.h"
#include "video/ui/AviSettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpontaneKeyEvent>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

// A program folder of its own for each test, and the windows torn down afterwards.
class Startup : public ::testing::Test {
protected:
    void TearDown() override { DestroyApplicationWindows(); }
    QString ProgramPath(const QString& name) const { return program.path() + "/" + name; }
    QString MakeImage(const QString& name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path = images.path() + "/" + name;
        image.save(path);
        return path;
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir images;
    ScriptedPrompts prompts;
};

// Whether a library whose file name holds name is loaded.
bool LibraryLoaded(const char* name) {
    struct Search {
        const char* name;
        bool found = false;
    } search{name};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name && std::strstr(info->dlpi_name, s->name))
                s->found = true;
            return 0;
        },
        &search);
    return search.found;
}

// Whether any of FFmpeg's libraries is loaded.
bool FfmpegLoaded() {
    return LibraryLoaded("libavcodec.so") || LibraryLoaded("libavutil.so") ||
           LibraryLoaded("libswscale.so");
}

} // namespace

// FFmpeg brings dozens of codec and driver libraries: the start does without them, and the
// first list of compressors loads them.
TEST_F(Startup, FfmpegIsLoadedWhenTheCompressorsAreFirstListed) {
    // In a process of its own: another test of this binary may have listed them already.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CreateApplicationWindows({});
            const bool atStart = FfmpegLoaded();
            const bool listed = AviCompressorNames().contains(QStringLiteral("MJPG mjpeg"));
            std::fprintf(stderr, "at start %d, listed %d, then %d\n", atStart, listed,
                         FfmpegLoaded());
            std::_Exit(!atStart && listed && FfmpegLoaded() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "at start 0, listed 1, then 1");
}

// libtiff and libxlsxwriter bring half a dozen libraries with them: each is loaded by the
// first file of its kind.
TEST_F(Startup, TheTiffAndWorkbookLibrariesAreLoadedByTheFirstFileOfTheirKind) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString tiff = ProgramPath("a.tif"), xlsx = ProgramPath("a.xlsx");
    EXPECT_EXIT(
        {
            CreateApplicationWindows({});
            const bool atStart = LibraryLoaded("libtiff.so") || LibraryLoaded("libxlsxwriter.so");
            QImage image(3, 2, QImage::Format_BGR888);
            image.fill(Qt::red);
            WriteBitmapToTiff(image, tiff);
            const bool tiffRead = LoadTiffAsBitmap24(tiff).pixel(2, 1) == qRgb(255, 0, 0);
            const bool tiffLoaded = LibraryLoaded("libtiff.so");
            const bool xlsxBefore = LibraryLoaded("libxlsxwriter.so");
            StringGrid grid;
            grid.SetColCount(2);
            grid.SetRowCount(1);
            grid.SetCell(0, 0, "12.5");
            SaveGridAsXlsxFile(grid, "Sheet", xlsx);
            std::fprintf(stderr, "at start %d, tiff %d %d, xlsx %d %d %d\n", atStart, tiffRead,
                         tiffLoaded, xlsxBefore, LibraryLoaded("libxlsxwriter.so"),
                         QFileInfo(xlsx).size() > 0);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "at start 0, tiff 1 1, xlsx 0 1 1");
}

// GStreamer's dozen libraries are loaded, and its start reads its plugin registry, when the
// preview window first lists the cameras: the start does without them.
TEST_F(Startup, GStreamerIsLoadedAndStartedWhenThePreviewWindowIsFirstShown) {
    // In a process of its own: another test of this binary may have started it already.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qputenv("QUVAR_TEST_CAMERAS", "Cam");
            CreateApplicationWindows({});
            const bool atStart =
                LibraryLoaded("libgstreamer-1.0.so") || LibraryLoaded("libgobject-2.0.so");
            CamViewMain->show();
            const bool loaded = LibraryLoaded("libgstreamer-1.0.so");
            // The test camera as the menu lists it, previewing with the formats read
            // through GStreamer's own value types.
            QAction* camera = nullptr;
            for (QAction* item : CamViewMain->SelectVideoDevice->actions())
                if (item->text() == "Cam")
                    camera = item;
            if (camera)
                CamViewMain->SelectDeviceClick(camera);
            std::fprintf(stderr, "at start %d, shown %d, previewing %d with formats %d\n", atStart,
                         loaded, CamViewMain->VideoCapture().Previewing(),
                         CamViewMain->VideoCapture().VideoCapabilityCount() > 0);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "at start 0, shown 1, previewing 1 with formats 1");
}

// Reading a picture through Qt's image readers loads all its image-format plugins. Fusion
// reads one for the extension arrow that every menu bar asks for when made, and one for
// every group box's frame: the window is made and painted without the plugins, and the
// arrow is read when it is first drawn.
TEST_F(Startup, TheWindowIsMadeAndPaintedWithoutImagePlugins) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qApp->setStyle(new QuvarStyle);
            CreateApplicationWindows({});
            Main->ShowAsPlaced();
            if (!QTest::qWaitForWindowExposed(Main))
                std::_Exit(2);
            QCoreApplication::processEvents(); // the first frame
            const bool atStart = LibraryLoaded("/imageformats/");
            auto* arrow = Main->menuBar()->findChild<QToolButton*>("qt_menubar_ext_button");
            std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
            const QImage expected =
                fusion->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton)
                    .pixmap(16)
                    .toImage();
            const QImage drawn = arrow ? arrow->icon().pixmap(16).toImage() : QImage();
            std::fprintf(stderr, "plugins at start %d, arrow %d, as Fusion's %d\n", atStart,
                         !drawn.isNull(), !expected.isNull() && drawn == expected);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "plugins at start 0, arrow 1, as Fusion's 1");
}

namespace {

// A window's global object, as the table of windows made on first use reaches it.
struct Window {
    const char* className;
    std::function<QWidget*()> ifMade, use;
    const char* caption;
};
template <class T>
Window WindowOf(TWindowOnFirstUse<T>& global, const char* className, const char* caption) {
    return {className, [&global]() -> QWidget* { return global.IfMade(); },
            [&global]() -> QWidget* { return global.Get(); }, caption};
}

} // namespace

TEST_F(Startup, TheMeasuringWindowAtStartTheOthersOnFirstUse) {
    const auto windows = CreateApplicationWindows({});
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0], Main);
    EXPECT_EQ(Main->minimumSize(), QSize(1146, 768));
    EXPECT_EQ(Main->ActiveTool, ToolMeasure);
    EXPECT_EQ(Main->VersionText, "QUVAR version 3.0.6");
    EXPECT_EQ(Main->CopyrightText, QString::fromUtf8("© Name of the photographer"))
        << "no settings file yet";

    const Window dialogs[] = {
        WindowOf(CamViewMain, "TCamViewMain", "  Preview Window"),
        WindowOf(OptionsDlg, "TOptionsDlg", "Settings"),
        WindowOf(SaveWithOptions, "TSaveWithOptions", "QUVAR Save With Options"),
        WindowOf(AboutDlg, "TAboutDlg", "About"),
        WindowOf(LBForm, "TLBForm", "Measurements"),
        WindowOf(SimpleFontDialog, "TSimpleFontDialog", "QUVAR Select Font"),
        WindowOf(InputDialog, "TInputDialog", ""),
        WindowOf(PrefDlg, "TPrefDlg", "Preferences"),
        WindowOf(BCSForm, "TBCSForm", "QUVAR Exposure Correction"),
        WindowOf(AVIDialog, "TAVIDialog", "AVI -Capture Settings "),
    };
    std::vector<QPointer<QWidget>> made;
    for (const Window& d : dialogs) {
        EXPECT_EQ(d.ifMade(), nullptr) << d.className << " is made before it is used";
        QWidget* window = d.use();
        ASSERT_NE(window, nullptr) << d.className;
        EXPECT_TRUE(QString(typeid(*window).name()).endsWith(d.className)) << d.className;
        EXPECT_EQ(window->windowTitle(), d.caption) << d.className;
        EXPECT_EQ(d.use(), window) << d.className << " is made once";
        if (window == CamViewMain.IfMade()) {
            EXPECT_EQ(CamViewMain->CaptureTaker(), Main) << "the preview hands its pictures over";
        }
        made.emplace_back(window);
    }
    DestroyApplicationWindows();
    for (const QPointer<QWidget>& window : made)
        EXPECT_TRUE(window.isNull()) << "every dialog made is destroyed with the windows";
    for (const Window& d : dialogs)
        EXPECT_EQ(d.use(), nullptr) << d.className << " is made again after the windows are gone";
}

// The first style sheet brings Qt's whole style sheet engine into the window, and into
// every widget it styles, at each start: the measuring window starts without one.
TEST_F(Startup, TheMeasuringWindowStartsWithoutAStyleSheet) {
    CreateApplicationWindows({});
    Main->ShowAsPlaced();
    QCoreApplication::processEvents();
    QStringList styled;
    for (QWidget* widget : Main->findChildren<QWidget*>())
        if (std::strcmp(widget->style()->metaObject()->className(), "QStyleSheetStyle") == 0)
            styled << widget->objectName();
    EXPECT_TRUE(styled.isEmpty()) << styled.join(", ").toStdString();
}

namespace {

// The box around every pixel of image with ink, within area.
QRect InkedBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

// The arrow tool's glyph carries its unit beneath the arrow's head, as large as "px" in a
// 9 pixel font drawn there.
TEST_F(Startup, TheArrowGlyphCarriesItsUnitInNinePixelLetters) {
    CreateApplicationWindows({});
    const QImage glyph = Main->ArrowButton->icon().pixmap(32, 24).toImage();
    ASSERT_EQ(glyph.size(), QSize(32, 24));
    QImage expected(32, 24, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter painter(&expected);
        QFont font = painter.font();
        font.setPixelSize(9);
        painter.setFont(font);
        painter.drawText(QRect(16, 12, 16, 12), Qt::AlignCenter, QStringLiteral("px"));
    }
    // Right of and below everything the arrow itself draws.
    const QRect unitArea(17, 13, 15, 11);
    const QRect drawn = InkedBox(glyph, unitArea), wanted = InkedBox(expected, unitArea);
    ASSERT_FALSE(wanted.isEmpty());
    EXPECT_NEAR(drawn.width(), wanted.width(), 1);
    EXPECT_NEAR(drawn.height(), wanted.height(), 1);
    EXPECT_NEAR(drawn.center().x(), wanted.center().x(), 1);
    EXPECT_NEAR(drawn.center().y(), wanted.center().y(), 1);
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

// A file handed over while a dialog is open (a save dialog, say) must not change the image
// under it: the dialog's command would save the new image under the name chosen for the
// old one. It is accepted and opened once the dialog is closed.
TEST_F(Startup, AFileHandedOverWhileADialogIsOpenIsOpenedAfterIt) {
    const QString first = MakeImage("first.png", 7, 5);
    const QString second = MakeImage("second.png", 3, 3);
    CreateApplicationWindows({first});
    bool accepted = false;
    QString during;
    QDialog dialog(Main);
    QTimer::singleShot(0, &dialog, [&] {
        accepted = OpenHandedOverFile(second);
        QTest::qWait(300);
        during = Main->CurrentFileName;
        dialog.accept();
    });
    dialog.exec();
    EXPECT_TRUE(accepted);
    EXPECT_EQ(during, first) << "the image under the dialog stays";
    EXPECT_TRUE(QTest::qWaitFor([&] { return Main->CurrentFileName == second; }, 5000));

    EXPECT_TRUE(OpenHandedOverFile(first));
    EXPECT_EQ(Main->CurrentFileName, first) << "without a dialog at once";
    EXPECT_FALSE(OpenHandedOverFile(images.path() + "/missing.png"));
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
    // As the desktop-entry format reads them: string escapes over the quoting escapes.
    const std::pair<const char*, const char*> execs[] = {
        {"/opt/my $app/quvar", R"(Exec="/opt/my \\$app/quvar" %f)"},
        {"/opt/a\\b/quvar", R"(Exec="/opt/a\\\\b/quvar" %f)"},
        {"/opt/\"q\" `x`/quvar", R"(Exec="/opt/\\"q\\" \\`x\\`/quvar" %f)"},
        {"/opt/100%/quvar", R"(Exec="/opt/100%%/quvar" %f)"},
        {"/opt/line\nbreak/quvar", R"(Exec="/opt/line\nbreak/quvar" %f)"}};
    for (auto [path, exec] : execs)
        EXPECT_EQ(ShellMenuEntryText(path).section('\n', 3, 3), exec) << path;
    EXPECT_FALSE(WriteShellMenuEntry("/nonexistent-folder/", "/bin/quvar"));
}

TEST_F(Startup, TheDesktopEntryIsRewrittenOnlyWhenItDiffers) {
    const QString folder = program.path() + "/";
    const QString path = ProgramPath(ShellMenuEntryFileName());
    const auto inode = [&] {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
    };
    ASSERT_TRUE(WriteShellMenuEntry(folder, "/opt/quvar"));
    // A second name holds the first file, so its inode number is not given to a new one.
    const QString kept = ProgramPath("kept");
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()), 0);
    const auto first = inode();
    ASSERT_TRUE(WriteShellMenuEntry(folder, "/opt/quvar"));
    EXPECT_EQ(inode(), first) << "the same entry is left as it is";

    ASSERT_TRUE(WriteShellMenuEntry(folder, "/usr/bin/quvar"));
    EXPECT_NE(inode(), first);
    QFile entry(path);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_EQ(entry.readAll(), ShellMenuEntryText("/usr/bin/quvar").toUtf8());
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

// The window manager's close (the title-bar button, Alt+F4): a spontaneous close event on
// the shown window, delivered as the toolkit delivers one from the window system.
void CloseFromTitleBar(QWidget* window) {
    window->show();
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(window->windowHandle(), &event);
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
    CloseFromTitleBar(Main);
    EXPECT_TRUE(Main->isHidden());
    EXPECT_TRUE(ReadText(ini).contains("CaptureFileName=Pond\r\n"));
}

TEST_F(Startup, ClosingTheMeasuringWindowEndsTheProgramWhateverElseIsOpen) {
    CreateApplicationWindows({});
    Main->show();
    LBForm->show();
    QTimer::singleShot(0, [] { CloseFromTitleBar(Main); });
    // Should the loop go on, the test fails instead of hanging.
    bool timedOut = false;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    bound.start(5000);
    const int result = QApplication::exec();
    EXPECT_FALSE(timedOut) << "the measurement list kept the program running";
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(QFile::exists(ProgramPath("Quvar.ini"))) << "the settings were saved first";
    EXPECT_TRUE(LBForm->isVisible()) << "the other windows go with the program, not before";
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

// No settings value can hold a line break: a folder named with one is not remembered,
// and everything else is still saved. Normal folders are written as they are.
TEST_F(Startup, AFolderWithALineBreakIsNotRememberedAndTheSettingsStillSave) {
    const QString ini = ProgramPath("Quvar.ini");
    const QString normal = images.path() + "/Pond North";
    struct Case {
        QString folder;
        QString stored;
    };
    const Case cases[] = {
        {images.path() + "/Pond\nNorth", ""},
        {images.path() + "/Pond\rNorth", ""},
        {normal, normal},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(QDir().mkpath(c.folder));
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(c.folder + "/shot.png"));
        CreateApplicationWindows({c.folder + "/shot.png"});
        EXPECT_EQ(Main->SelectedFolder, c.folder) << "kept for this run";
        Main->AlternativeFolder = c.folder;
        Main->SampleName = "Pond";
        EXPECT_NO_THROW(Main->Exit1Click());
        EXPECT_TRUE(Main->isHidden());
        const QString text = ReadText(ini);
        EXPECT_TRUE(text.contains("CTRLFileDir=" + c.stored + "\r\n")) << text.toStdString();
        EXPECT_TRUE(text.contains("ALTFileDir=" + c.stored + "\r\n"));
        EXPECT_TRUE(text.contains("CaptureFileName=Pond\r\n"));
        QFile::remove(ini);
        DestroyApplicationWindows();
    }
}

// A program folder that cannot be written: Exit reports it and still ends, and the
// Preferences command finishes its steps before it reports.
TEST_F(Startup, UnwritableSettingsAreReportedAndTheCommandsStillFinish) {
    CreateApplicationWindows({});
    Main->ProgramFolder = "/nonexistent-folder/";
    Main->LengthUnit = "mm";
    Main->MCSystems[0].Name = "Leica";
    Main->NrOfMCSystems = 1;
    prompts.shown.clear();
    QTimer::singleShot(0, PrefDlg, [] { PrefDlg->reject(); });
    EXPECT_THROW(Main->PreferencesClick(0), QuvarError);
    EXPECT_TRUE(Main->CalLabel->text().startsWith("mm")) << "the unit captions follow";
    QStringList systems;
    for (const QAction* item : Main->MCSystemMenu->actions())
        systems << item->text();
    EXPECT_EQ(systems, QStringList({"Unknown", "Leica"}));

    Main->show();
    Main->Exit1Click();
    EXPECT_TRUE(Main->isHidden()) << "the program ends";
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Error);
    EXPECT_TRUE(prompts.shown[0].text.contains("/nonexistent-folder/")) << "names the file";
}

namespace {

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

TEST_F(Startup, TopAndLeftAreTheFramePositionWhenReadAndWhenWritten) {
    // First start: no settings file, Top and Left 0.
    CreateApplicationWindows({});
    Main->ShowAsPlaced();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
    const QRect screen = Main->screen()->availableGeometry();
    ASSERT_GT(Main->geometry().top(), Main->frameGeometry().top())
        << "the platform must draw a frame for this test to mean anything";
    EXPECT_EQ(Main->frameGeometry().topLeft(), screen.topLeft()) << "the title bar is on screen";
    DestroyApplicationWindows();

    WriteText(ProgramPath("Quvar.ini"), "[Window]\r\nTop=50\r\nLeft=40\r\n");
    CreateApplicationWindows({});
    Main->ShowAsPlaced();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
    EXPECT_EQ(Main->frameGeometry().topLeft(), QPoint(40, 50));

    Main->move(60, 70);
    ASSERT_EQ(Main->frameGeometry().topLeft(), QPoint(60, 70));
    Main->Exit1Click();
    const QString ini = ReadText(ProgramPath("Quvar.ini"));
    EXPECT_TRUE(ini.contains("[Window]\r\nTop=70\r\nLeft=60\r\n")) << ini.toStdString();
}

TEST_F(Startup, ExtremePlacementValuesOpenTheWindowOnTheScreen) {
    const QByteArray placements[] = {
        "Top=0\r\nLeft=2147483647\r\nWidth=2147483647\r\nHeight=2147483647\r\n",
        "Top=-2147483648\r\nLeft=-2147483648\r\nWidth=-2147483648\r\nHeight=-5\r\n",
        "Top=2147483647\r\nLeft=-2147483647\r\nWidth=1200\r\nHeight=800\r\n",
        "Top=5000\r\nLeft=9000\r\nWidth=1200\r\nHeight=800\r\n",
    };
    for (const QByteArray& placement : placements) {
        WriteText(ProgramPath("Quvar.ini"), "[Window]\r\n" + placement);
        CreateApplicationWindows({});
        Main->ShowAsPlaced();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
        const QRect screen = Main->screen()->availableGeometry();
        const QRect frame = Main->frameGeometry();
        EXPECT_TRUE(screen.contains(frame.topLeft())) << placement.toStdString();
        EXPECT_LE(Main->width(), std::max(screen.width(), Main->minimumWidth()))
            << placement.toStdString();
        EXPECT_LE(Main->height(), std::max(screen.height(), Main->minimumHeight()))
            << placement.toStdString();
        DestroyApplicationWindows();
    }
}

TEST_F(Startup, AStoredStateTwoOpensMinimised) {
    WriteText(ProgramPath("Quvar.ini"), "[Window]\r\nState=2\r\n");
    CreateApplicationWindows({});
    Main->ShowAsPlaced();
    EXPECT_TRUE(Main->isMinimized());
    Main->Exit1Click();
    EXPECT_TRUE(ReadText(ProgramPath("Quvar.ini")).contains("State=0\r\n"))
        << "a minimised window is written as a normal one";
}

TEST_F(Startup, SizeWordingAtStartAndAfterPreferences) {
    CreateApplicationWindows({});
    EXPECT_EQ(Main->ImgWidthLabel->text(), "Set Image Width in pixels:");
    EXPECT_EQ(Main->FotoSize->itemText(1), "Fit to Window (F)");
    EXPECT_EQ(Main->FotoSize->itemText(10), "Width in pixels = 640");
    EXPECT_EQ(Main->CaptureWidthLabel->text(), "Capture: Original Size (G)");

    // What "Set Height, then Calculate Width" and a capture size leave after Preferences.
    Main->UseWidth = false;
    Main->CaptureImageSize = 10;
    QTimer::singleShot(0, PrefDlg, [] { PrefDlg->reject(); });
    Main->PreferencesClick(0);
    EXPECT_EQ(Main->ImgWidthLabel->text(), "Set Image Height in pixels:");
    EXPECT_EQ(Main->FotoSize->itemText(10), "Height in pixels = 640");
    EXPECT_EQ(Main->FotoSize->currentIndex(), 10);
    EXPECT_EQ(Main->CaptureWidthLabel->text(), "Capture: Height in pixels = 640");
    EXPECT_EQ(Main->CaptureWidth->text(), "Set Current Image Height as Capture Display Height");
}

TEST_F(Startup, ReopenIsHiddenAndAltOStillOpens) {
    CreateApplicationWindows({});
    Main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Main));
    QApplication::setActiveWindow(Main);
    ASSERT_NE(Main->findChild<QAction*>("Reopen"), nullptr);
    for (const QAction* menu : Main->menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (const QAction* item : menu->menu()->actions()) {
            EXPECT_NE(item->text(), "Reopen") << "shown in " << menu->text().toStdString();
        }
    }

    Main->AlternativeFolder = images.path();
    QApplication::processEvents(); // the no-systems warning of the first show
    prompts.shown.clear();
    QTest::keyClick(Main, Qt::Key_O, Qt::AltModifier);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "open");
    EXPECT_EQ(prompts.shown[0].request.folder, images.path());
}

// Start-up empties the camera folder of its pictures only, and never a folder of the
// user's: a stale "FromCameraDir" naming Documents deletes nothing, and the user is told
// once why.
TEST_F(Startup, StartUpEmptiesOnlyACameraFolderOfItsOwnAndOnlyItsPictures) {
    const QString documents = QDir::homePath() + "/Documents";
    const QString camera = images.path() + "/camera";
    for (const QString& folder : {documents, camera}) {
        QDir().mkpath(folder);
        for (const char* name : {"/letter.jpg", "/notes.txt"}) {
            QFile file(folder + name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("keep");
        }
    }
    const auto start = [&](const QString& watch) {
        QFile ini(ProgramPath("Quvar.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[DSLR-CAM]\r\nFromCameraDir=" + QFile::encodeName(watch) + "\r\n");
        ini.close();
        prompts.shown.clear();
        CreateApplicationWindows({});
        DestroyApplicationWindows();
    };

    start(documents);
    EXPECT_TRUE(QFile::exists(documents + "/letter.jpg"));
    EXPECT_TRUE(QFile::exists(documents + "/notes.txt"));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "message");
    EXPECT_EQ(prompts.shown[0].text, "The camera folder " + documents +
                                         " was not emptied: it is your Documents folder. Only a "
                                         "folder of the camera's own is emptied; choose one in "
                                         "Preferences.");

    start(camera);
    EXPECT_FALSE(QFile::exists(camera + "/letter.jpg"));
    EXPECT_TRUE(QFile::exists(camera + "/notes.txt"));
    EXPECT_TRUE(prompts.shown.empty());
    QDir(documents).removeRecursively();
}

TEST_F(Startup, HintsOfTheOpenAndSaveButtons) {
    CreateApplicationWindows({});
    EXPECT_EQ(Main->OpenImage->toolTip(),
              "(O): Open file in Photo Folder\n(CTRL + O): Open file in Selected Folder");
    EXPECT_EQ(Main->SaveImageAs->toolTip(),
              "(S): Save photo in Photo Folder\n(CTRL + S): Save photo in Selected "
              "Folder\n(ALT + S): Save in Alternative Folder");
}
