#include "capture/ui/CamViewMain.h"
#include "measure/KeyCommands.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The measuring window alone (a command never reaches another window's modal loop) over
// a program folder with one system, shown and active, with the focus in the read-only
// Action edit, where keys reach the window only through its preview.
class WindowKeys : public ::testing::Test {
protected:
    void SetUp() override {
        quvartest::SaveScopeA(program.path(), 64, {{10, QStringLiteral("10 plan"), 0.8}});
        window = std::make_unique<TMain>();
        window->WarningOnResize = false;
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::setActiveWindow(window.get());
        window->Action->setFocus();
        prompts.shown.clear();
    }
    void TearDown() override { window.reset(); }
    QString MakeImage(const QString& name, int width = 64) {
        QImage image(width, width * 3 / 4, QImage::Format_BGR888);
        image.fill(QColor(90, 140, 60));
        const QString path = images.path() + "/" + name;
        EXPECT_TRUE(image.save(path));
        return path;
    }
    QString MakeText(const QString& name) {
        const QString path = images.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a picture\n");
        return path;
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QWidget* area = window->MeasureBox->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &drop);
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir images;
    ScriptedPrompts prompts;
    std::unique_ptr<TMain> window;
};

} // namespace

TEST_F(WindowKeys, EveryMenuShortcutReachesItsItemWhileTheActionEditHasTheFocus) {
    struct Item {
        const char* name;
        const char* shortcut;
    };
    const Item items[] = {
        {"OpenPhotoFolder", "O"},
        {"OpenSelectedFolder", "Ctrl+O"},
        {"Reopen", "Alt+O"},
        {"SavePhotoFolder", "S"},
        {"SaveSelectedFolder", "Ctrl+S"},
        {"SaveAlternativeFolder", "Alt+S"},
        {"SaveUseOptions", "W"},
        {"ShowMeasurementTools", "T"},
        {"Clear", "C"},
        {"InsertScale0", "F1"},
        {"InsertScale1", "F2"},
        {"InsertScale2", "F3"},
        {"InsertScale3", "F4"},
        {"InsertScale4", "F5"},
        {"InsertScale5", "F6"},
        {"InsertScale6", "F7"},
        {"Undo1", "Ctrl+Z"},
        {"Redo1", "Ctrl+Y"},
        {"UndoSelectArea1", "Ctrl+U"},
        {"Copy1", "Ctrl+C"},
        {"Paste1", "Ctrl+V"},
        {"InsertLabel", "Ctrl+L"},
        {"InsertObjectiveLabel", "Ctrl+M"},
        {"InsertCopyright", "Ctrl+R"},
        {"Rotate270", "L"},
        {"Rotate90", "R"},
        {"FixImage", "I"},
        {"ShowSystemComment", "Y"},
        {"SelectFreeArea", "A"},
        {"ToggleCropColor", "K"},
        {"ColorAdjustment", "E"},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        auto* action = window->findChild<QAction*>(QString::fromLatin1(item.name));
        ASSERT_NE(action, nullptr);
        const QKeySequence sequence(QString::fromLatin1(item.shortcut));
        ASSERT_EQ(action->shortcut(), sequence);
        QSignalSpy triggered(action, &QAction::triggered);
        window->Action->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), window->Action);
        QTest::keySequence(window->Action, sequence);
        EXPECT_EQ(triggered.count(), 1);
    }
    // F2 reaches the scale insert of 10 µm, which refuses an image without calibration.
    window->OriginalImage = QImage(640, 480, QImage::Format_BGR888);
    window->OriginalImage.fill(Qt::white);
    window->FormUpdate(4);
    window->Action->setFocus();
    prompts.shown.clear();
    Press(Qt::Key_F2);
    EXPECT_EQ(window->ScaleLength, 10);
    EXPECT_EQ(prompts.Texts(), QStringList({"Image is not calibrated"}));
    EXPECT_TRUE(window->ScaleImage->isHidden());
}

TEST_F(WindowKeys, DigitsChooseDisplaySizesWhereverTheFocusIs) {
    window->OriginalImage = QImage(1200, 900, QImage::Format_BGR888);
    window->OriginalImage.fill(Qt::white);
    window->FormUpdate(4);
    struct Case {
        Qt::Key key;
        int item;
        int width;
    };
    for (const Case c :
         {Case{Qt::Key_9, 12, 800}, Case{Qt::Key_0, 13, 960}, Case{Qt::Key_G, 0, 1200}}) {
        window->Action->setFocus();
        Press(c.key);
        EXPECT_EQ(window->FotoSize->currentIndex(), c.item) << c.key;
        EXPECT_EQ(window->WorkImage.width(), c.width) << c.key;
        EXPECT_EQ(window->FotoSize->itemText(c.item).endsWith(QString::number(c.width)),
                  c.key != Qt::Key_G);
    }
    // A held key repeats nothing: only its first press counts.
    window->Action->setFocus();
    QTest::simulateEvent(window->Action, true, Qt::Key_9, Qt::NoModifier, "9", true);
    EXPECT_EQ(window->FotoSize->currentIndex(), 0);
}

TEST_F(WindowKeys, SpaceAndBackspaceBrowseAndStopAtTheEnds) {
    const QString a = MakeImage("a.png");
    const QString b = MakeImage("b.png", 80);
    window->LoadImageFile(a);
    ASSERT_EQ(window->ListBox1.Items.size(), 2);
    prompts.shown.clear();

    Press(Qt::Key_Backspace);
    EXPECT_EQ(prompts.Texts(), QStringList({"Reached first file in folder"}));
    EXPECT_EQ(window->windowTitle(), a);
    EXPECT_EQ(window->ListBox1.Tag, 0);

    Press(Qt::Key_Space);
    EXPECT_EQ(window->windowTitle(), b);
    EXPECT_EQ(window->OriginalImage.width(), 80);
    EXPECT_EQ(window->ListBox1.Tag, 1);
    EXPECT_FALSE(window->BrowsingFolder);

    prompts.shown.clear();
    Press(Qt::Key_Space);
    EXPECT_EQ(prompts.Texts(), QStringList({"Reached last file in folder"}));
    EXPECT_EQ(window->windowTitle(), b);
    EXPECT_EQ(window->ListBox1.Tag, 1);

    Press(Qt::Key_Backspace);
    EXPECT_EQ(window->windowTitle(), a);
}

TEST_F(WindowKeys, AFailedLoadWhileBrowsingClearsTheFlag) {
    const QString a = MakeImage("a.png");
    MakeText("b.png");
    window->LoadImageFile(a);
    ASSERT_EQ(window->ListBox1.Items.size(), 2);
    prompts.shown.clear();
    Press(Qt::Key_Space);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Error);
    EXPECT_FALSE(window->BrowsingFolder);
    EXPECT_EQ(window->windowTitle(), a);
    // Backspace then goes to the image before the bad one: the list did not re-list.
    Press(Qt::Key_Backspace);
    EXPECT_EQ(window->windowTitle(), a);
    EXPECT_EQ(window->ListBox1.Items.size(), 2);
}

TEST_F(WindowKeys, DroppedFiles) {
    const QString a = MakeImage("a.png");
    window->LoadImageFile(a);
    const int state = window->ImageState;
    const int system = window->CurrentMCSystem;
    prompts.shown.clear();

    // Two files: nothing is loaded.
    QTemporaryDir other;
    QImage picture(40, 30, QImage::Format_BGR888);
    picture.fill(Qt::red);
    const QString dropped = other.path() + "/dropped.png";
    ASSERT_TRUE(picture.save(dropped));
    Drop({QUrl::fromLocalFile(dropped), QUrl::fromLocalFile(a)});
    EXPECT_EQ(prompts.Texts(), QStringList({OnlyOneDropText}));
    EXPECT_EQ(window->windowTitle(), a);

    // Not a picture: refused before the image's system changes.
    prompts.shown.clear();
    Drop({QUrl::fromLocalFile(MakeText("notes.txt"))});
    EXPECT_EQ(prompts.Texts(), QStringList({NotAnImageText}));
    EXPECT_EQ(window->windowTitle(), a);
    EXPECT_EQ(window->ImageState, state);
    EXPECT_EQ(window->CurrentMCSystem, system);
    EXPECT_EQ(window->OriginalImage.width(), 64);

    prompts.shown.clear();
    Drop({QUrl::fromLocalFile(other.path())});
    EXPECT_EQ(prompts.Texts(), QStringList({NotAnImageText}));

    // One picture: opened, and its folder is the selected folder.
    prompts.shown.clear();
    Drop({QUrl::fromLocalFile(dropped)});
    EXPECT_EQ(window->windowTitle(), dropped);
    EXPECT_EQ(window->OriginalImage.size(), QSize(40, 30));
    EXPECT_EQ(window->SelectedFolder, QDir::cleanPath(other.path()));
    EXPECT_EQ(window->ListBox1.Items, QStringList({dropped}));
}

TEST_F(WindowKeys, EscInModeZeroOnlyResetsTheCursor) {
    window->OriginalImage = QImage(200, 150, QImage::Format_BGR888);
    window->OriginalImage.fill(Qt::white);
    window->FormUpdate(4);
    window->WorkImage.setPixelColor(3, 3, Qt::red); // a finished annotation
    const QImage before = window->WorkImage.copy();
    window->Foto->setCursor(Qt::CrossCursor);
    const QString action = window->Action->text();

    Press(Qt::Key_Escape);
    EXPECT_FALSE(window->Foto->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(window->MeasureMode, int(ModeTools));
    EXPECT_EQ(window->WorkImage, before);
    EXPECT_EQ(window->Action->text(), action);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(WindowKeys, SingleKeysAndButtonsOfLaterCommands) {
    struct Case {
        Qt::Key key;
        QString status;
    };
    for (const Case& c : {Case{Qt::Key_P, "Preview is not available yet"}}) {
        window->statusBar()->clearMessage();
        Press(c.key);
        EXPECT_EQ(window->statusBar()->currentMessage(), c.status) << c.key;
    }
    // D reopens the last capture: without "Unprocessed" it says why not.
    const QString notSaved = QStringLiteral(
        "The captured images from the camera are not saved\n\rChange the settings in Preferences");
    prompts.shown.clear();
    Press(Qt::Key_D);
    EXPECT_EQ(prompts.Texts(), QStringList({notSaved}));
    // Q leaves the flag of the mouse handlers free at once, not only at the key's release.
    QTest::keyPress(window->Action, Qt::Key_Q);
    EXPECT_FALSE(window->Busy);
    window->Busy = true;
    QTest::keyRelease(window->Action, Qt::Key_Q);
    EXPECT_FALSE(window->Busy);

    struct Button {
        QPushButton* button;
        QString status;
    };
    for (const Button& b : {Button{window->Preview, "Preview is not available yet"}}) {
        window->statusBar()->clearMessage();
        QTest::mouseClick(b.button, Qt::LeftButton);
        EXPECT_EQ(window->statusBar()->currentMessage(), b.status);
    }
    prompts.shown.clear();
    QTest::mouseClick(window->ShowLastImage, Qt::LeftButton);
    QTest::mouseClick(window->SearchUnprocessed, Qt::LeftButton);
    QTest::mouseClick(window->AsFromDevice, Qt::LeftButton);
    ASSERT_EQ(prompts.shown.size(), 3u);
    EXPECT_EQ(prompts.shown[0].text, notSaved);
    EXPECT_EQ(prompts.shown[1].text,
              "The captured images from the camera are not saved.\n\rChange the settings in "
              "Preferences");
    EXPECT_EQ(prompts.shown[2].kind, "open");
}

TEST_F(WindowKeys, PShowsThePreviewInTheWindowsPlaceUntilItHandsBack) {
    TCamViewMain preview;
    CamViewMain = &preview;
    Main = window.get();
    preview.SetCaptureTaker(window.get());
    Press(Qt::Key_P);
    EXPECT_TRUE(preview.isVisible());
    EXPECT_EQ(preview.geometry(), window->geometry());
    EXPECT_FALSE(window->isEnabled());
    preview.ShowMeasurementClick();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(preview.isVisible());
    QTest::mouseClick(window->Preview, Qt::LeftButton);
    EXPECT_TRUE(preview.isVisible());
    preview.ShowMeasurementClick();
    Main = nullptr;
    CamViewMain = nullptr;
}

// "&Preferences" and "&Exposure Correction (key  E)" are commands on the menu bar itself,
// not menus that drop down.
TEST_F(WindowKeys, TheMenuBarAndItsTwoCommandTitles) {
    QMenuBar* bar = window->menuBar();
    QStringList titles;
    for (const QAction* action : bar->actions())
        titles << action->text();
    EXPECT_EQ(titles,
              QStringList({"&File", "Microscope and &Camera", "&Preferences", "&Measurement",
                           "&Tools", "C&ropping", "&Exposure Correction (key  E)", "&Help"}));
    auto* exposure = window->findChild<QAction*>("ColorAdjustment");
    ASSERT_NE(exposure, nullptr);
    EXPECT_TRUE(bar->actions().contains(exposure));
    EXPECT_EQ(exposure->menu(), nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(exposure).center());
    EXPECT_EQ(prompts.Texts(), QStringList({"No image available"}));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "nothing dropped down";
}

TEST_F(WindowKeys, TheCroppingMenu) {
    auto* cropping = window->findChild<QMenu*>("CroppingMenu");
    ASSERT_NE(cropping, nullptr);
    QStringList captions;
    for (const QAction* action : cropping->actions())
        if (action->isVisible())
            captions << action->text();
    EXPECT_EQ(captions,
              QStringList({"Undo Crop Area and Exposure Correction", "Select Free Crop Area",
                           "Select Crop Area (pixels)", QString::fromUtf8("Select Crop Area (µm)"),
                           "Toggle Crop Area Label Color", "Set Selection Format   3:2",
                           "Set Selection Format   4:3", "Set Selection Format   16:9",
                           "Set Selection Format   1:1"}));
    EXPECT_EQ(window->findChild<QAction*>("InsertScale1")->text(),
              QString::fromUtf8("Insert Scale 10 µm"));
}
