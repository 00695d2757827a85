#include "settings/ui/PreferencesDialog.h"
#include "imaging/ui/ExposureDialog.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/MeasurementListWindow.h"
#include "measure/ui/SaveWithOptionsDialog.h"
#include "platform/IniFile.h"
#include "platform/ui/QtPrompts.h"
#include "settings/FontAndTextDialogs.h"
#include "settings/MCSystems.h"
#include "settings/MainSettings.h"
#include "settings/PrefFolders.h"
#include "settings/ui/FontDialog.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

class Preferences : public ::testing::Test {
protected:
    void TearDown() override { DestroyApplicationWindows(); }
    QString Folder() const { return program.path() + "/"; }
    QByteArray CalFile() const {
        QFile file(program.filePath("Quvar-cal.ini"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void TwoSystems() {
        MCSystemTable table;
        table[0].Name = "Axio";
        table[0].CaptureWidth = 1600;
        table[0].NrOfObjectives = 2;
        table[0].Objectives[0] = {10, "10 Plan", 0.5};
        table[0].Objectives[1] = {40, "40 Plan", -0.125};
        table[1].Name = "Bresser";
        table[1].NrOfObjectives = 1;
        table[1].Objectives[0] = {4, "4", 0};
        SaveCalibration(table, 2, Folder());
    }
    // Opens Preferences as the menu does; whileShown runs inside the dialog and closes it.
    void RunPreferences(int tag, std::function<void()> whileShown) {
        QTimer::singleShot(0, PrefDlg, [whileShown] {
            EXPECT_TRUE(PrefDlg->isVisible());
            whileShown();
            if (PrefDlg->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                PrefDlg->reject();
            }
        });
        Main->PreferencesClick(tag);
    }
    static void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void ClickObjective(int row) {
        QListWidget* list = PrefDlg->ObjectivesBox;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    // A pick in a closed drop-down list with the arrow keys, as a user makes it.
    static void Pick(QComboBox* box, int index) {
        box->setFocus();
        while (box->currentIndex() < index)
            QTest::keyClick(box, Qt::Key_Down);
        while (box->currentIndex() > index)
            QTest::keyClick(box, Qt::Key_Up);
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
};

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

QStringList Items(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

} // namespace

TEST_F(Preferences, TheWindowItsPagesAndTheOpeningPage) {
    CreateApplicationWindows({});
    EXPECT_EQ(PrefDlg->windowTitle(), "Preferences");
    EXPECT_EQ(PrefDlg->size(), QSize(628, 480));
    const QStringList pages = {"Image Capture", "Microscope and Camera", "Measuring and Tools",
                               "Labels", "Miscellaneous"};
    ASSERT_EQ(PrefDlg->Prefs->count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(PrefDlg->Prefs->tabText(i), pages[i]);
    EXPECT_EQ(PrefDlg->OKBtn->text(), "OK");
    EXPECT_EQ(PrefDlg->CancelBtn->text(), "Cancel");

    RunPreferences(1, [] {
        EXPECT_EQ(PrefDlg->Prefs->currentWidget(), PrefDlg->TabSheet3);
        EXPECT_TRUE(PrefDlg->LoadSettings->isVisible());
        EXPECT_TRUE(PrefDlg->SaveSettings->isVisible());
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet1);
        EXPECT_FALSE(PrefDlg->LoadSettings->isVisible());
        Click(PrefDlg->CancelBtn);
    });
    RunPreferences(0, [] {
        EXPECT_EQ(PrefDlg->Prefs->currentWidget(), PrefDlg->TabSheet2);
        EXPECT_FALSE(PrefDlg->SaveSettings->isVisible());
        Click(PrefDlg->CancelBtn);
    });
}

TEST_F(Preferences, FromAFreshFolderASystemIsSetUpCalibratedAndMeasured) {
    CreateApplicationWindows({});
    ASSERT_EQ(Main->NrOfMCSystems, 0);
    prompts.inputs = {QString("Leica DM"), QString("10 Plan"), QString("40 oil"), QString("4")};
    RunPreferences(0, [] {
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet1);
        EXPECT_TRUE(Items(PrefDlg->NameBox).isEmpty());
        Click(PrefDlg->AddMic);
        Click(PrefDlg->AddObj);
        Click(PrefDlg->AddObj);
        EXPECT_EQ(Items(PrefDlg->NameBox), QStringList({"Leica DM"}));
        EXPECT_EQ(Items(PrefDlg->DefaultMCsystembox), QStringList({"Leica DM"}));
        EXPECT_EQ(PrefDlg->DefaultMCsystembox->currentIndex(), 0);
        EXPECT_EQ(Items(PrefDlg->ObjectivesBox), QStringList({"10 Plan", "40 oil", "4"}));
        ClickObjective(1);
        EXPECT_EQ(PrefDlg->DefaultLabel->text(), "Default Objective: 40 oil");
        Click(PrefDlg->CamIsDSLR);
        Click(PrefDlg->CamIsDSLR);
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(prompts.Texts(), QStringList({"Enter a new MCsystem name", prompts.shown[1].text,
                                            prompts.shown[1].text, prompts.shown[1].text}));
    EXPECT_EQ(Main->NrOfMCSystems, 1);
    EXPECT_EQ(Main->DefaultMCSystem, 0);
    EXPECT_EQ(Main->MCLabel->text(), "Leica DM");
    EXPECT_EQ(Main->MCSobjectivelabel->text(), "40 oil");
    EXPECT_FALSE(Main->CBUseDSLR->isChecked());

    // The file reads back as the table the window holds.
    MCSystemTable read;
    ASSERT_EQ(LoadCalibration(read, Folder()), 1);
    EXPECT_EQ(read[0], Main->MCSystems[0]);
    EXPECT_EQ(read[0].Objectives[2], (ObjCal{4, "4", 0}));

    // Calibrate the default objective with the mouse, then measure.
    QImage image(400, 300, QImage::Format_BGR888);
    image.fill(QColor(200, 210, 190));
    ASSERT_TRUE(image.save(program.filePath("sample.png")));
    Main->resize(1400, 900);
    Main->LoadImageFile(program.filePath("sample.png"));
    ASSERT_EQ(Main->ImageState, ImageUnknownSystem) << "no capture width yet";
    // The user says which system the image comes from.
    QAction* leica = nullptr;
    for (QAction* action : Main->MCSystemMenu->actions())
        if (action->text() == "Leica DM")
            leica = action;
    ASSERT_NE(leica, nullptr);
    leica->trigger();
    ASSERT_EQ(Main->CurrentMCSystem, 0);
    prompts.shown.clear();
    QTest::mouseClick(Main->Calibrate, Qt::LeftButton);
    prompts.inputs = {QString("50")};
    const auto drag = [](QPoint from, QPoint to) {
        QTest::mousePress(Main->Foto, Qt::LeftButton, {}, from);
        QTest::mouseMove(Main->Foto, (from + to) / 2);
        QTest::mouseMove(Main->Foto, to);
        QTest::mouseRelease(Main->Foto, Qt::LeftButton, {}, to);
    };
    drag({100, 100}, {200, 100});
    ASSERT_EQ(LoadCalibration(read, Folder()), 1);
    EXPECT_DOUBLE_EQ(read[0].Objectives[1].Cal, 0.5) << "50 micrometres over 100 pixels";
    EXPECT_DOUBLE_EQ(read[0].Objectives[0].Cal, -2.0) << "estimated from the magnifications";
    drag({100, 150}, {160, 150});
    EXPECT_EQ(Main->Action->text(), "Last Distance: 30.0");
}

TEST_F(Preferences, CancelLeavesTheTableAndTheFileAsTheyWere) {
    TwoSystems();
    const QByteArray before = CalFile();
    CreateApplicationWindows({});
    const TMainSettings table = *Main;
    prompts.inputs = {QString("Third"), QString("20"), QString("Renamed")};
    prompts.answers = {Answer::Yes, Answer::Yes};
    RunPreferences(0, [] {
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet1);
        Click(PrefDlg->AddMic);
        Pick(PrefDlg->NameBox, 1);
        Click(PrefDlg->EditMic);
        Click(PrefDlg->CamIsDSLR);
        ClickObjective(0);
        Click(PrefDlg->DelObj);
        Pick(PrefDlg->DefaultMCsystembox, 2);
        Pick(PrefDlg->NameBox, 0);
        Click(PrefDlg->DelMic);
        EXPECT_EQ(Items(PrefDlg->NameBox), QStringList({"Renamed", "Third"}));
        Click(PrefDlg->CancelBtn);
    });
    EXPECT_EQ(Main->NrOfMCSystems, 2);
    for (int i = -1; i < MaxMCSystems; ++i)
        EXPECT_EQ(Main->MCSystems[i], table.MCSystems[i]) << i;
    EXPECT_EQ(Main->DefaultMCSystem, table.DefaultMCSystem);
    EXPECT_EQ(Main->CurrentMCSystem, table.CurrentMCSystem) << "the cancelled pick is dropped";
    EXPECT_EQ(CalFile(), before);
}

TEST_F(Preferences, TheCapturePickDecidesTheSystemInUseAfterOK) {
    TwoSystems();
    CreateApplicationWindows({});
    ASSERT_EQ(Main->CurrentMCSystem, 0);

    // A pick in the name list only: capture system at OK, the system in use stays.
    RunPreferences(0, [] {
        EXPECT_EQ(PrefDlg->NameBox->currentText(), "Axio") << "the panel's system";
        Pick(PrefDlg->NameBox, 1);
        EXPECT_EQ(PrefDlg->DefaultMCsystembox->currentIndex(), 1);
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(PrefDlg->CaptureChangedTag(), 0);
    EXPECT_EQ(Main->DefaultMCSystem, 1);
    EXPECT_EQ(Main->MCLabel->text(), "Bresser");
    EXPECT_EQ(Main->CurrentMCSystem, 0);

    // A pick in the capture list: the system in use follows.
    RunPreferences(0, [] {
        EXPECT_EQ(PrefDlg->DefaultMCsystembox->currentIndex(), 1);
        Pick(PrefDlg->DefaultMCsystembox, 0);
        Pick(PrefDlg->DefaultMCsystembox, 1);
        EXPECT_EQ(PrefDlg->NameBox->currentIndex(), 1);
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(PrefDlg->CaptureChangedTag(), 1);
    EXPECT_EQ(Main->DefaultMCSystem, 1);
    EXPECT_EQ(Main->CurrentMCSystem, 1);
    EXPECT_EQ(Main->MicCamLabel->text(), "Bresser");

    // The settings file keeps the capture system.
    QFile settings(program.filePath("Quvar.ini"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("CameraMic=1"));
}

TEST_F(Preferences, TheCaptureSystemIsRefusedDeletionUntilAnotherIsPicked) {
    TwoSystems();
    CreateApplicationWindows({});
    prompts.answers = {Answer::Yes};
    RunPreferences(0, [this] {
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet1);
        Click(PrefDlg->DelMic);
        EXPECT_EQ(prompts.shown.back().text,
                  "You cannot delete this system!\r\nChange the \"Selected MCsystem for Capture "
                  "\" first,\r\nor select another system.");
        Pick(PrefDlg->DefaultMCsystembox, 1);
        Pick(PrefDlg->NameBox, 0);
        Click(PrefDlg->DelMic);
        EXPECT_EQ(prompts.shown.back().text, "Delete MCsystem: \r\nAxio ?");
        EXPECT_EQ(Items(PrefDlg->DefaultMCsystembox), QStringList({"Bresser"}));
        EXPECT_EQ(PrefDlg->DefaultMCsystembox->currentIndex(), 0);
        EXPECT_EQ(Items(PrefDlg->ObjectivesBox), QStringList({"4"}));
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->NrOfMCSystems, 1);
    EXPECT_EQ(Main->MCSystems[0].Name, "Bresser");
    EXPECT_EQ(Main->CurrentMCSystem, 0);
    MCSystemTable read;
    EXPECT_EQ(LoadCalibration(read, Folder()), 1);
    EXPECT_EQ(read[0], Main->MCSystems[0]);
}

TEST_F(Preferences, TheObjectiveInUseIsHighlightedAndMovesKeepTheDefaultPosition) {
    TwoSystems();
    CreateApplicationWindows({});
    Main->MCSystems[0].CurrentObjective = 1;
    RunPreferences(0, [] {
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet1);
        EXPECT_EQ(PrefDlg->ObjectivesBox->currentRow(), 1) << "the objective in use";
        EXPECT_EQ(PrefDlg->DefaultLabel->text(), "Default Objective: 10 Plan");
        ClickObjective(1);
        Click(PrefDlg->Upbtn);
        EXPECT_EQ(Items(PrefDlg->ObjectivesBox), QStringList({"40 Plan", "10 Plan"}));
        EXPECT_EQ(PrefDlg->ObjectivesBox->currentRow(), 0);
        EXPECT_EQ(PrefDlg->DefaultLabel->text(), "Default Objective: 10 Plan");
        Click(PrefDlg->Downbtn);
        EXPECT_EQ(Items(PrefDlg->ObjectivesBox), QStringList({"10 Plan", "40 Plan"}));
        Click(PrefDlg->CancelBtn);
    });
}

namespace {

// A click on a check box's own square, where a user clicks whatever the box's width.
void Tick(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Font choices answered by the test: the standard dialog gives the font queued.
class ScriptedFonts final : public FontAndTextDialogs {
public:
    ScriptedFonts() { SetAppFontAndTextDialogs(this); }
    ~ScriptedFonts() override { SetAppFontAndTextDialogs(nullptr); }
    std::optional<FontRecord> picked, standard;
    bool SelectFont(FontRecord& font) override {
        if (!picked)
            return false;
        font.Name = picked->Name;
        font.Style = picked->Style;
        font.Color = picked->Color;
        return true;
    }
    bool SelectStandardFont(FontRecord& font) override {
        if (!standard)
            return false;
        font = *standard;
        return true;
    }
    bool InputTextAndWrap(const QString&, const QString&, QString&, QString&) override {
        return false;
    }
};

// Changes something on every page, as a user would, with the counter left as given.
void ChangeEveryPage(ScriptedFonts& fonts) {
    TPrefDlg* d = PrefDlg;
    Tick(d->CB[3]);
    d->PrefixEdit->setText("Pond");
    d->LocationEdit1->setText("Lake");
    d->ImageExt->setEditText("png");
    Tick(d->ScalePercentage);
    d->ScaleWidthUpDown->setValue(9);
    d->ScaleMarginUpDown->setValue(77);
    d->ScaleTextHeightUpDown->setValue(33);
    QTest::mouseClick(d->rbWhite, Qt::LeftButton);
    d->MeasureUnits->setCurrentIndex(2); // mil
    d->ScaleDivisionsBox->setCurrentIndex(8);
    d->MeasurePenWidth->setValue(5);
    d->ArrowHeadLength->setText("12");
    QTest::mouseClick(d->ScaleType2, Qt::LeftButton);
    fonts.picked = FontRecord{"DejaVu Serif", 1, 0xFFFFFF, 10, StyleBold};
    QTest::mouseClick(d->SelectSMFont, Qt::LeftButton);
    fonts.standard = FontRecord{"DejaVu Sans Mono", 1, 0x0000FF, 14, StyleItalic};
    QTest::mouseClick(d->SelectLabelFont, Qt::LeftButton);
    d->WLEdit->setText("25");
    d->Copyrightstr->setText("(c) Lab");
    d->CopyrightBox->button(2)->click();
    d->SetDimensions->button(1)->click();
    Tick(d->ResizeWarning);
}

} // namespace

TEST_F(Preferences, SelectingAFolderReadsItsNameBack) {
    CreateApplicationWindows({});
    QDir().mkpath(Folder() + "Pond A #52.1N 4.3E $2024-05-17");
    QDir().mkpath(Folder() + "Plain");
    prompts.folders = {Folder() + "Pond A #52.1N 4.3E $2024-05-17", Folder() + "Plain", QString()};
    RunPreferences(0, [this] {
        TPrefDlg* d = PrefDlg;
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(prompts.shown.back().caption, "Select an existing folder to store the images");
        EXPECT_EQ(d->PhotoDirEdit->text(), Folder() + "Pond A #52.1N 4.3E $2024-05-17");
        EXPECT_EQ(d->LocationEdit1->text(), "Pond A ");
        EXPECT_EQ(d->LocationEdit2->text(), "52.1N 4.3E ");
        EXPECT_EQ(d->DateTimePicker->date(), QDate(2024, 5, 17));
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(d->LocationEdit1->text(), "Plain");
        EXPECT_EQ(d->LocationEdit2->text(), "");
        EXPECT_EQ(d->DateTimePicker->date(), QDate(2024, 5, 17));
        // A cancelled browser keeps what is shown.
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(d->PhotoDirEdit->text(), Folder() + "Plain");

        d->LocationEdit1->setText("Pond/B");
        d->LocationEdit2->clear();
        Tick(d->IgnoreDate);
        Click(d->CreateDefaultFolder);
        EXPECT_EQ(d->DefaultPhotoFolderEdit->text(), "Pond_B");
        prompts.folders = {Folder()};
        Click(d->CreatePhotoFolder);
        EXPECT_EQ(d->PhotoDirEdit->text(), Folder() + "Pond_B");
        EXPECT_TRUE(QDir(Folder() + "Pond_B").exists());
        EXPECT_EQ(d->DefaultPhotoFolderEdit->text(), "");
        Click(d->OKBtn);
    });
    EXPECT_EQ(Main->PhotoFolder, Folder() + "Pond_B");
    EXPECT_EQ(Main->PhotoLocation, "Pond/B");
    EXPECT_EQ(Main->windowTitle(), Folder() + "Pond_B");
}

TEST_F(Preferences, TheCameraFolderIsNeverThePhotoFolder) {
    CreateApplicationWindows({});
    const QString watch = Main->WatchFolder;
    const QString photo = Main->PhotoFolder;
    ASSERT_FALSE(watch.isEmpty());
    QDir().mkpath(Folder() + "cam/sub");
    QDir().mkpath(Folder() + "full");
    QFile(Folder() + "full/a.jpg").open(QIODevice::WriteOnly);
    RunPreferences(0, [&] {
        TPrefDlg* d = PrefDlg;
        // The camera folder in force, and one inside it.
        prompts.folders = {watch, watch + "/"};
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(prompts.shown.back().text, PhotoFolderIsCameraFolderWarning());
        EXPECT_EQ(d->PhotoDirEdit->text(), photo);
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(d->PhotoDirEdit->text(), photo);

        // A camera folder with files is refused; one with only subfolders is taken.
        prompts.folders = {Folder() + "full", Folder() + "cam"};
        Click(d->ImageTempButton);
        EXPECT_EQ(prompts.shown.back().text, CameraFolderNotEmptyWarning());
        EXPECT_EQ(d->FromCameraEdit->text(), watch);
        Click(d->ImageTempButton);
        EXPECT_EQ(d->FromCameraEdit->text(), Folder() + "cam");

        // The photo folder is now checked against the camera folder chosen here too.
        prompts.folders = {Folder() + "cam/sub"};
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(d->PhotoDirEdit->text(), photo);

        // The photo folder inside the new camera folder, set some other way: OK refuses.
        d->FromCameraEdit->setText(QFileInfo(photo).absolutePath());
        prompts.shown.clear();
        Click(d->OKBtn);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(prompts.Texts(), QStringList({PhotoFolderIsCameraFolderWarning()}));
        EXPECT_EQ(Main->WatchFolder, watch);
        d->FromCameraEdit->setText(Folder() + "cam");
        Click(d->OKBtn);
    });
    EXPECT_EQ(Main->WatchFolder, Folder() + "cam");
    EXPECT_EQ(Main->PhotoFolder, photo);

    // A photo folder that holds the camera folder is safe: the camera folder is emptied of
    // its own files only. Both by the chooser and at OK.
    prompts.shown.clear();
    RunPreferences(0, [this] {
        prompts.folders = {Folder()};
        Click(PrefDlg->SelectPhotoDirBtn);
        EXPECT_EQ(PrefDlg->PhotoDirEdit->text(), Folder());
        Click(PrefDlg->OKBtn);
    });
    EXPECT_FALSE(prompts.Texts().contains(PhotoFolderIsCameraFolderWarning()));
    EXPECT_EQ(Main->PhotoFolder, Folder());
    EXPECT_EQ(Main->WatchFolder, Folder() + "cam");
}

TEST_F(Preferences, NamingBoxesCounterAndIncludeMag) {
    CreateApplicationWindows({});
    Main->NamingScheme = 2;
    Main->FileCounter = 41;
    // The Save With Options dialog's own box follows the scheme.
    ASSERT_NE(SaveWithOptions, nullptr);
    SaveWithOptions->IncludeMag->setChecked(false);
    RunPreferences(0, [this] {
        TPrefDlg* d = PrefDlg;
        EXPECT_TRUE(d->CB[2]->isChecked());
        EXPECT_FALSE(d->PrefixEdit->isEnabled());
        EXPECT_TRUE(d->CaptureNrEdit->isEnabled());
        EXPECT_EQ(d->CaptureNrEdit->text(), "41");
        QTest::keyClicks(d->CaptureNrEdit, "7x");
        EXPECT_EQ(d->CaptureNrEdit->text(), "417");
        EXPECT_EQ(prompts.Texts(), QStringList({"Numbers only"}));
        Click(d->ResetFileNr);
        EXPECT_EQ(d->CaptureNrEdit->text(), "0");
        Tick(d->CB[4]);
        EXPECT_FALSE(d->CB[2]->isChecked());
        EXPECT_TRUE(d->PrefixEdit->isEnabled());
        Tick(d->CB[2]);
        Click(d->OKBtn);
    });
    EXPECT_EQ(Main->NamingScheme, 2);
    EXPECT_EQ(Main->FileCounter, 0);
    EXPECT_TRUE(SaveWithOptions->IncludeMag->isChecked());

    struct Case {
        int click; // -1: uncheck the checked box
        int scheme;
        bool includeMag;
    } cases[] = {{1, 1, false}, {-1, 1, false}, {0, 0, true}, {4, 4, true}};
    for (const Case& c : cases) {
        RunPreferences(0, [&c] {
            TPrefDlg* d = PrefDlg;
            Tick(d->CB[c.click >= 0 ? c.click : Main->NamingScheme]);
            Click(d->OKBtn);
        });
        EXPECT_EQ(Main->NamingScheme, c.scheme) << c.click;
        EXPECT_EQ(SaveWithOptions->IncludeMag->isChecked(), c.includeMag) << c.click;
    }
}

TEST_F(Preferences, ABadCounterAtOKChangesNoSettingAndNoFile) {
    TwoSystems();
    CreateApplicationWindows({});
    Main->SaveMainSettingsNow();
    const QByteArray settingsBefore = ReadAll(Folder() + "Quvar.ini");
    const QByteArray calBefore = CalFile();
    ScriptedFonts fonts;
    RunPreferences(0, [this, &fonts] {
        TPrefDlg* d = PrefDlg;
        ChangeEveryPage(fonts);
        Click(d->NameBox->count() > 1 ? d->DelMic : d->AddMic); // refused: the capture system
        d->CaptureNrEdit->clear();
        prompts.shown.clear();
        Click(d->OKBtn);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(prompts.Texts(), QStringList({"Number: '' is not a valid integer value"}));
        EXPECT_EQ(Main->NamingScheme, 0);
        EXPECT_EQ(Main->LengthUnit, QString::fromUtf8("µm"));
        Click(d->CancelBtn);
    });
    EXPECT_EQ(ReadAll(Folder() + "Quvar.ini"), settingsBefore);
    EXPECT_EQ(CalFile(), calBefore);
}

TEST_F(Preferences, CancelAfterChangingEveryPageChangesNothing) {
    TwoSystems();
    CreateApplicationWindows({});
    Main->SaveMainSettingsNow();
    const QByteArray settingsBefore = ReadAll(Folder() + "Quvar.ini");
    ScriptedFonts fonts;
    RunPreferences(1, [&fonts] {
        ChangeEveryPage(fonts);
        Click(PrefDlg->CancelBtn);
    });
    EXPECT_EQ(ReadAll(Folder() + "Quvar.ini"), settingsBefore);
    // The next opening shows the settings again, not the cancelled changes.
    RunPreferences(1, [] {
        EXPECT_FALSE(PrefDlg->ScalePercentage->isChecked());
        EXPECT_EQ(PrefDlg->MeasureUnits->currentText(), QString::fromUtf8("µm"));
        Click(PrefDlg->CancelBtn);
    });
}

TEST_F(Preferences, MeasuringPageSwitchesUnitsAndPreviews) {
    CreateApplicationWindows({});
    Main->ScaleWidthPx = 3;
    Main->ScaleWidthPromil = 25;
    Main->ScaleTextHeightPx = 20;
    Main->ScaleTextHeightPromil = 40;
    Main->ScaleDivisions = 3;
    ScriptedFonts fonts;
    RunPreferences(1, [&fonts] {
        TPrefDlg* d = PrefDlg;
        EXPECT_EQ(d->Scalelabel->text(), "Scale Height in pixels");
        EXPECT_EQ(d->ScaleWidthUpDown->value(), 3);
        EXPECT_EQ(d->MeasurementTextHeightEdit->text(), "14");
        EXPECT_EQ(d->ScaleFontDemo->font().pixelSize(), 20);
        d->ScaleWidthUpDown->setValue(4);
        Tick(d->ScalePercentage);
        EXPECT_EQ(d->Scalelabel->text(), "Scale Height in promil");
        EXPECT_EQ(d->TextHeightBox->title(), "Text Height in promil");
        EXPECT_EQ(d->ScaleWidthUpDown->value(), 25);
        EXPECT_EQ(d->ScaleTextHeightEdit->text(), "40");
        // No work image: 600 pixels high.
        EXPECT_EQ(d->ScaleFontDemo->font().pixelSize(), 24);
        Tick(d->ScalePercentage);
        EXPECT_EQ(d->ScaleWidthUpDown->value(), 4) << "the pixel copy survived the switch";

        EXPECT_EQ(d->ScaleDivisionsBox->count(), 5);
        d->MeasureUnits->setCurrentIndex(2);
        EXPECT_EQ(d->ScaleDivisionsBox->count(), 11);
        EXPECT_EQ(d->ScaleDivisionsBox->currentIndex(), 3);
        d->ScaleDivisionsBox->setCurrentIndex(9);
        d->MeasureUnits->setCurrentIndex(1);
        EXPECT_EQ(d->ScaleDivisionsBox->count(), 5);
        EXPECT_EQ(d->ScaleDivisionsBox->currentIndex(), 4);

        // A light font stands on the darker background.
        fonts.picked = FontRecord{"DejaVu Serif", 1, 0xFFFFFF, 10, 0};
        Click(d->SelectSMFont);
        EXPECT_EQ(d->TextBackground->palette().color(QPalette::Window),
                  QApplication::palette().color(QPalette::Dark));
        fonts.picked = FontRecord{"DejaVu Serif", 1, 0x000000, 10, 0};
        Click(d->SelectSMFont);
        EXPECT_EQ(d->TextBackground->palette().color(QPalette::Window),
                  QApplication::palette().color(QPalette::Button));
        Click(d->OKBtn);
    });
    EXPECT_EQ(Main->ScaleWidthPx, 4);
    EXPECT_EQ(Main->ScaleDivisions, 4);
    EXPECT_EQ(Main->LengthUnit, "mm");
    EXPECT_EQ(Main->CalLabel->text(), "mm / pixel");
    EXPECT_EQ(Main->ScaleFont.Name, "DejaVu Serif");
}

TEST_F(Preferences, SaveSettingsThenLoadSettingsGivesTheSameFields) {
    CreateApplicationWindows({});
    const QString file = Folder() + "look.ini";
    ScriptedFonts fonts;
    PrefPageValues saved;
    prompts.files = {FileDialogResult{file, 0}};
    RunPreferences(1, [&] {
        ChangeEveryPage(fonts);
        Click(PrefDlg->SaveSettings);
        saved = PrefDlg->PageValues();
        Click(PrefDlg->CancelBtn);
    });
    const FileDialogRequest& request = prompts.shown.back().request;
    EXPECT_EQ(request.folder, Folder());
    EXPECT_EQ(request.filters, QStringList({"ini-files (*.ini)"}));
    EXPECT_EQ(request.defaultSuffix, "ini");
    // Save Settings applied the pages, the cancel afterwards notwithstanding.
    EXPECT_EQ(Main->LengthUnit, "mil");
    EXPECT_TRUE(ReadAll(file).contains("Units=mil"));

    // Back to the defaults, then the file loaded.
    ReadMeasuringSettings(IniFile(Folder() + "missing.ini"), *Main);
    prompts.files = {FileDialogResult{file, 0}};
    RunPreferences(1, [&] {
        EXPECT_EQ(PrefDlg->MeasureUnits->currentText(), QString::fromUtf8("µm"));
        Click(PrefDlg->LoadSettings);
        const PrefPageValues loaded = PrefDlg->PageValues();
        // The appearance fields are the ones saved; the other pages stay as they were.
        EXPECT_EQ(Main->LengthUnit, "mil") << "the file is in force at once";
        // Every field is the one saved: the appearance read back from the file, the other
        // pages as they were, which is what the first opening left in force.
        EXPECT_EQ(loaded.Location, "Lake");
        EXPECT_EQ(loaded.Prefix, "Pond");
        EXPECT_EQ(loaded.CheckedScheme, 3);
        EXPECT_EQ(loaded.SaveExtension, "png");
        EXPECT_FALSE(loaded.UseWidth);
        EXPECT_FALSE(loaded.WarningOnResize);
        EXPECT_EQ(loaded.CounterText, "0");
        EXPECT_EQ(loaded, saved);
        EXPECT_EQ(loaded.Sizes, saved.Sizes);
        EXPECT_EQ(loaded.ScaleFont, saved.ScaleFont);
        EXPECT_EQ(loaded.LabelFont, saved.LabelFont);
        EXPECT_EQ(loaded.LengthUnit, "mil");
        EXPECT_EQ(loaded.CopyrightText, "(c) Lab");
        EXPECT_EQ(loaded.ScaleDivisions, saved.ScaleDivisions);
        EXPECT_EQ(loaded.MeasurePenWidth, 5);
        EXPECT_EQ(loaded.ArrowHeadText, "12");
        EXPECT_EQ(loaded.WrapText, "25");
        EXPECT_TRUE(loaded.ScaleType2);
        EXPECT_EQ(loaded.CopyrightPosition, 2);
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->LengthUnit, "mil");
    EXPECT_EQ(Main->CopyrightText, "(c) Lab");
}

TEST_F(Preferences, SaveSettingsThenCancelHonoursTheCaptureChoiceAsOKDoes) {
    TwoSystems();
    CreateApplicationWindows({});
    ASSERT_EQ(Main->CurrentMCSystem, 0);
    ASSERT_DOUBLE_EQ(Main->CurrentCalibration, 0.5) << "Axio at 10 Plan";
    const QString file = Folder() + "look.ini";

    // A capture pick, applied by Save Settings, then Cancel: the system in use follows.
    prompts.files = {FileDialogResult{file, 0}};
    RunPreferences(1, [] {
        Pick(PrefDlg->DefaultMCsystembox, 1);
        Click(PrefDlg->SaveSettings);
        Click(PrefDlg->CancelBtn);
    });
    EXPECT_EQ(Main->CurrentMCSystem, 1);
    EXPECT_EQ(Main->MicCamLabel->text(), "Bresser");
    EXPECT_DOUBLE_EQ(Main->CurrentCalibration, 0.0) << "Bresser is not calibrated";

    // The system in use deleted and the table saved, then Cancel: the window leaves it.
    prompts.files = {FileDialogResult{file, 0}};
    prompts.answers = {Answer::Yes};
    Main->CurrentMCSystem = 0;
    Main->CurrentCalibration = 0.5;
    RunPreferences(0, [] {
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet1);
        Pick(PrefDlg->NameBox, 0);
        Click(PrefDlg->DelMic);
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet3);
        Click(PrefDlg->SaveSettings);
        Click(PrefDlg->CancelBtn);
    });
    ASSERT_EQ(Main->NrOfMCSystems, 1);
    EXPECT_EQ(Main->CurrentMCSystem, 0);
    EXPECT_EQ(Main->MicCamLabel->text(), "Bresser");
    EXPECT_DOUBLE_EQ(Main->CurrentCalibration, 0.0) << "not the deleted system's calibration";
    MCSystemTable read;
    EXPECT_EQ(LoadCalibration(read, Folder()), 1);

    // Without an apply, Cancel still drops the pick.
    RunPreferences(0, [] {
        Pick(PrefDlg->DefaultMCsystembox, 0);
        Click(PrefDlg->CancelBtn);
    });
    EXPECT_EQ(Main->CurrentMCSystem, 0);
}

namespace {

// Answers the next modal dialog of type D that opens (the toolkit's own dialogs, which the
// program shows and waits on) by running answer on it.
template <typename D> void WhenShown(std::function<void(D*)> answer) {
    auto* timer = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, answer] {
        if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        } else if (++*ticks > 1000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no " << D::staticMetaObject.className() << " was shown";
        }
    });
    timer->start(5);
}

} // namespace

TEST_F(Preferences, FontDialogsStartWithThePreviewFontAndOKWithoutAChangeKeepsIt) {
    CreateApplicationWindows({});
    for (const int style : {0, int(StyleBold), int(StyleItalic), StyleBold | StyleItalic}) {
        const FontRecord label{"DejaVu Sans", 1, 0x0000FF, 12, style};
        const FontRecord copyright{"DejaVu Serif", 1, 0x00FF00, 9, style};
        Main->LabelFont = label;
        Main->CopyrightFont = copyright;
        QStringList shown;
        RunPreferences(1, [&shown] {
            PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet5);
            for (QPushButton* select : {PrefDlg->SelectLabelFont, PrefDlg->SelectCopyrightFont}) {
                WhenShown<QFontDialog>([&shown](QFontDialog* d) {
                    const QFont font = d->currentFont();
                    shown << QString("%1 %2 %3 %4")
                                 .arg(font.family())
                                 .arg(font.pointSize())
                                 .arg(font.bold())
                                 .arg(font.italic());
                    d->accept();
                });
                WhenShown<QColorDialog>([](QColorDialog* d) { d->accept(); });
                Click(select);
            }
            Click(PrefDlg->OKBtn);
        });
        // The dialog shows the font's style where the system has it: a machine with only
        // the upright faces offers no italic, and OK must still keep the font as it was.
        const auto shownStyle = [style](const QString& family) {
            const bool slanted = std::ranges::any_of(QFontDatabase::styles(family), [](auto s) {
                return s.contains("Italic") || s.contains("Oblique");
            });
            return QString::number(bool(style & StyleBold)) + " " +
                   QString::number(bool(style & StyleItalic) && slanted);
        };
        EXPECT_EQ(shown, QStringList({"DejaVu Sans 12 " + shownStyle("DejaVu Sans"),
                                      "DejaVu Serif 9 " + shownStyle("DejaVu Serif")}));
        EXPECT_EQ(Main->LabelFont, label) << style;
        EXPECT_EQ(Main->CopyrightFont, copyright) << style;
    }
}

TEST_F(Preferences, AFontColourIsChosenShownAndBurntIn) {
    CreateApplicationWindows({});
    Main->CopyrightFont = FontRecord{"DejaVu Sans", 1, 0x000000, 20, StyleBold};
    Main->CopyrightText = "(c) Lab";
    QColor started;
    RunPreferences(1, [&started] {
        PrefDlg->Prefs->setCurrentWidget(PrefDlg->TabSheet5);
        WhenShown<QFontDialog>([](QFontDialog* d) { d->accept(); });
        WhenShown<QColorDialog>([&started](QColorDialog* d) {
            started = d->currentColor();
            d->setCurrentColor(QColor(255, 255, 255));
            d->accept();
        });
        Click(PrefDlg->SelectCopyrightFont);
        EXPECT_EQ(PrefDlg->CopyrightFont->palette().color(QPalette::WindowText),
                  QColor(255, 255, 255));
        // A cancelled colour keeps the one chosen before.
        WhenShown<QFontDialog>([](QFontDialog* d) { d->accept(); });
        WhenShown<QColorDialog>([](QColorDialog* d) {
            d->setCurrentColor(QColor(255, 0, 0));
            d->reject();
        });
        Click(PrefDlg->SelectCopyrightFont);
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(started, QColor(0, 0, 0)) << "the colour dialog starts from the font's colour";
    EXPECT_EQ(Main->CopyrightFont.Color, 0xFFFFFFu);

    // White text burnt into a black image.
    QImage image(400, 300, QImage::Format_BGR888);
    image.fill(Qt::black);
    ASSERT_TRUE(image.save(program.filePath("dark.png")));
    Main->resize(1400, 900);
    Main->WarningOnResize = false;
    Main->LoadImageFile(program.filePath("dark.png"));
    QAction* insert = Main->findChild<QAction*>("InsertCopyright");
    ASSERT_NE(insert, nullptr);
    insert->trigger();
    Main->Copy1Click();
    int white = 0;
    for (int y = 0; y < Main->WorkImage.height(); ++y)
        for (int x = 0; x < Main->WorkImage.width(); ++x)
            white += Main->WorkImage.pixelColor(x, y) == QColor(255, 255, 255);
    EXPECT_GT(white, 50);
}

TEST_F(Preferences, AScaleFontKeepsThePixelTextHeightAndEachUpDownStoresItsOwnValue) {
    CreateApplicationWindows({});
    Main->ScaleFont = FontRecord{"DejaVu Sans", 1, 0, 10, 0};
    Main->ScaleTextHeightPx = 20;
    Main->ScaleTextHeightPromil = 40;
    Main->ScaleWidthPx = 3;
    Main->ScaleWidthPromil = 25;
    ScriptedFonts fonts;
    fonts.picked = FontRecord{"DejaVu Serif", 1, 0, 10, StyleBold};
    // Pixels in force: the height stays; a width click changes the width only.
    RunPreferences(1, [] {
        Click(PrefDlg->SelectSMFont);
        EXPECT_EQ(PrefDlg->ScaleTextHeightUpDown->value(), 20);
        EXPECT_EQ(PrefDlg->ScaleFontDemo->font().pixelSize(), 20);
        PrefDlg->ScaleWidthUpDown->stepUp();
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->ScaleTextHeightPx, 20);
    EXPECT_EQ(Main->ScaleTextHeightPromil, 40);
    EXPECT_EQ(Main->ScaleWidthPx, 4);
    EXPECT_EQ(Main->ScaleWidthPromil, 25);
    EXPECT_EQ(Main->ScaleFont.Name, "DejaVu Serif");

    // Per mille in force: the pixel height becomes the preview's height (40 per mille of
    // the 600 pixels used without a work image); the per-mille height stays.
    Main->ScaleAsPercentage = true;
    RunPreferences(1, [] {
        Click(PrefDlg->SelectSMFont);
        EXPECT_EQ(PrefDlg->ScaleTextHeightUpDown->value(), 40);
        EXPECT_EQ(PrefDlg->ScaleTextHeightEdit->text(), "40");
        PrefDlg->ScaleWidthUpDown->stepUp();
        PrefDlg->ScaleMarginUpDown->stepDown();
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->ScaleTextHeightPx, 24);
    EXPECT_EQ(Main->ScaleTextHeightPromil, 40);
    EXPECT_EQ(Main->ScaleWidthPromil, 26);
    EXPECT_EQ(Main->ScaleWidthPx, 4);
}

// The scale font takes the preview's character height at OK, as points at 96 dots per
// inch, so the objective label that uses it follows "Change Text Height".
TEST_F(Preferences, OKGivesTheScaleFontThePreviewsHeightAndTheObjectiveLabelShowsIt) {
    CreateApplicationWindows({});
    Main->ScaleFont = FontRecord{"DejaVu Sans", 1, 0, 10, 0};
    Main->ScaleTextHeightPx = 20;
    Main->ScaleTextHeightPromil = 50;
    const struct {
        bool promil;
        int previewPixels, points;
    } cases[] = {
        {false, 20, 15}, // pixels in force: the text height itself
        {true, 30, 23},  // 50 per mille of the 600 pixels used without a work image
    };
    for (const auto& c : cases) {
        Main->ScaleAsPercentage = c.promil;
        RunPreferences(1, [&c] {
            EXPECT_EQ(PrefDlg->ScaleFontDemo->font().pixelSize(), c.previewPixels);
            Click(PrefDlg->OKBtn);
        });
        EXPECT_EQ(Main->ScaleFont.Size, c.points) << c.promil;
        EXPECT_EQ(Main->ScaleFont.Name, "DejaVu Sans");
    }
    IniFile ini(Folder() + "Quvar.ini");
    EXPECT_EQ(ini.ReadInteger("ScaleFont", "Size", 0), 23);

    // The label of the current objective is drawn in that font, so it grows with the
    // text height chosen.
    Main->ScaleAsPercentage = false;
    Main->OriginalImage = QImage(400, 300, QImage::Format_BGR888);
    Main->OriginalImage.fill(Qt::white);
    Main->WorkImage = Main->OriginalImage.copy();
    const auto labelHeight = [this](int textHeightPx) {
        Main->ScaleTextHeightPx = textHeightPx;
        RunPreferences(1, [] { Click(PrefDlg->OKBtn); });
        Main->InsertLabelClick(6);
        return Main->ImgLabel->height();
    };
    const int small = labelHeight(20);
    const int large = labelHeight(40);
    EXPECT_GE(small, 20);
    EXPECT_GE(large, 2 * small - 4);
}

// The window manager cuts a caption wider than its window: the name box of "Add MC-system"
// is wide enough for its caption in bold beside the title bar's icon and buttons.
TEST_F(Preferences, TheNameBoxOfAddMCSystemShowsItsWholeCaption) {
    CreateApplicationWindows({});
    QtPrompts real;
    SetAppPrompts(&real);
    int width = 0;
    QString caption;
    RunPreferences(0, [&] {
        PrefDlg->Prefs->setCurrentIndex(1);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            width = box->width();
            caption = box->windowTitle();
            box->reject();
        });
        QTimer::singleShot(50, [] {
            // The objective query that follows the name.
            if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                box && box != PrefDlg)
                box->reject();
        });
        Click(PrefDlg->AddMic);
        Click(PrefDlg->CancelBtn);
    });
    SetAppPrompts(&prompts);
    EXPECT_EQ(caption, "Add MCsystem name");
    QFont bold = QApplication::font();
    bold.setBold(true);
    EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance(caption) + 120);
}

TEST_F(Preferences, TheUnitListOffersTheThreeUnitsAndReturnInItDoesNotPressOK) {
    CreateApplicationWindows({});
    RunPreferences(1, [] {
        QComboBox* units = PrefDlg->MeasureUnits;
        EXPECT_FALSE(units->isEditable());
        EXPECT_EQ(Items(units), QStringList({QString::fromUtf8("µm"), "mm", "mil"}));
        Pick(units, 1);
        QTest::keyClick(units, Qt::Key_Return);
        EXPECT_TRUE(PrefDlg->isVisible()) << "Return closed the dialog";
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->LengthUnit, "mm");
}

TEST_F(Preferences, LoadSettingsPutsTheAppearanceInForceAndCancelKeepsIt) {
    CreateApplicationWindows({});
    TMainSettings look = *Main;
    look.LengthUnit = "mil";
    look.CopyrightText = "(c) Pond Lab";
    look.ScaleTextHeightPx = 33;
    look.LabelFont = FontRecord{"DejaVu Serif", 1, 0xFFFFFF, 14, StyleItalic};
    {
        IniFile ini(Folder() + "look.ini");
        WriteMeasuringSettings(ini, look);
        ini.Save();
    }
    const QString photo = Main->PhotoFolder;
    prompts.files = {FileDialogResult{Folder() + "look.ini", 0}};
    RunPreferences(1, [] {
        PrefDlg->PrefixEdit->setText("not applied");
        Click(PrefDlg->LoadSettings);
        EXPECT_EQ(Main->LengthUnit, "mil") << "in force at once";
        EXPECT_EQ(Main->CalLabel->text(), "mil / pixel");
        EXPECT_EQ(PrefDlg->MeasureUnits->currentText(), "mil");
        EXPECT_EQ(PrefDlg->Copyrightstr->text(), "(c) Pond Lab");
        Click(PrefDlg->CancelBtn);
    });
    EXPECT_EQ(Main->LengthUnit, "mil");
    EXPECT_EQ(Main->CopyrightText, "(c) Pond Lab");
    EXPECT_EQ(Main->ScaleTextHeightPx, 33);
    EXPECT_EQ(Main->LabelFont, look.LabelFont);
    EXPECT_NE(Main->SampleName, "not applied") << "the other pages were cancelled";
    EXPECT_EQ(Main->PhotoFolder, photo);
    const QByteArray written = ReadAll(Folder() + "Quvar.ini");
    EXPECT_TRUE(written.contains("Units=mil"));
    EXPECT_TRUE(written.contains("(c) Pond Lab"));
}

TEST_F(Preferences, ARefusedPhotoFolderReadsTheOldFoldersNameBack) {
    CreateApplicationWindows({});
    const QString old = Folder() + "Pond A #52.1N $2024-05-17";
    QDir().mkpath(old);
    Main->PhotoFolder = old;
    Main->PhotoLocation = "Elsewhere";
    Main->PhotoCoordinates = "";
    Main->NewSampleDate = QDate(2020, 1, 1);
    const QString watch = Main->WatchFolder;
    RunPreferences(0, [&] {
        TPrefDlg* d = PrefDlg;
        EXPECT_EQ(d->LocationEdit1->text(), "Elsewhere");
        prompts.folders = {watch};
        Click(d->SelectPhotoDirBtn);
        EXPECT_EQ(prompts.shown.back().text, PhotoFolderIsCameraFolderWarning());
        EXPECT_EQ(d->PhotoDirEdit->text(), old);
        EXPECT_EQ(d->LocationEdit1->text(), "Pond A ");
        EXPECT_EQ(d->LocationEdit2->text(), "52.1N ");
        EXPECT_EQ(d->DateTimePicker->date(), QDate(2024, 5, 17));
        Click(d->CancelBtn);
    });
}

TEST_F(Preferences, TheArrowHeadLengthIsBoundedAtOKAsTheFileReaderBoundsIt) {
    CreateApplicationWindows({});
    RunPreferences(1, [] {
        PrefDlg->ArrowHeadLength->setText("70000");
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->ArrowHeadLength, 65535);
    TMainSettings read;
    ReadMeasuringSettings(IniFile(Folder() + "Quvar.ini"), read);
    EXPECT_EQ(read.ArrowHeadLength, Main->ArrowHeadLength);
}

TEST_F(Preferences, DialogsHaveAFixedBorderWithoutMinimiseAndMaximise) {
    CreateApplicationWindows({});
    const std::pair<const char*, QWidget*> windows[] = {{"Preferences", PrefDlg},
                                                        {"Exposure Correction", BCSForm},
                                                        {"Select Font", SimpleFontDialog},
                                                        {"Measurements", LBForm}};
    for (const auto& [name, window] : windows) {
        ASSERT_NE(window, nullptr) << name;
        const Qt::WindowFlags flags = window->windowFlags();
        // Without the customise hint the platform gives a window every button.
        EXPECT_TRUE(flags & Qt::CustomizeWindowHint) << name;
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint) << name;
        EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint) << name;
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint) << name;
    }
    EXPECT_TRUE(LBForm->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(LBForm->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
}

namespace {

// The widgets of page shown smaller than their content needs: a cut caption, a field
// whose digits or descenders are cut. A widget that ignores its size (the font preview,
// which shows large fonts in part) does not count.
QStringList Clipped(QWidget* page) {
    QStringList clipped;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(page) || w->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
            continue;
        // The parts of a spin box or a list are laid out by it.
        if (qobject_cast<QAbstractSpinBox*>(w->parentWidget()) ||
            qobject_cast<QComboBox*>(w->parentWidget()))
            continue;
        if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) &&
            !qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractSpinBox*>(w) &&
            !qobject_cast<QComboBox*>(w) && !qobject_cast<QGroupBox*>(w))
            continue;
        QSize needed = w->minimumSizeHint();
        // A group's caption may end in blanks; its content is checked through its children.
        if (auto* group = qobject_cast<QGroupBox*>(w))
            needed = {group->fontMetrics().horizontalAdvance(group->title().trimmed()) + 12, 0};
        QString text = w->objectName();
        if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            text = group->title();
        if (w->width() < needed.width() || w->height() < needed.height())
            clipped << QString("%1 (%2x%3 < %4x%5)")
                           .arg(text)
                           .arg(w->width())
                           .arg(w->height())
                           .arg(needed.width())
                           .arg(needed.height());
        // Inside its parent, so no part is cut by the parent's edge.
        if (w->parentWidget() != page && !w->parentWidget()->rect().contains(w->geometry()))
            clipped << text + " (outside its group)";
    }
    return clipped;
}

} // namespace

TEST_F(Preferences, EveryPageShowsEveryControlWholeInPixelsAndInPerMille) {
    CreateApplicationWindows({});
    for (const bool promil : {false, true}) {
        Main->ScaleAsPercentage = promil;
        RunPreferences(1, [promil] {
            for (int i = 0; i < PrefDlg->Prefs->count(); ++i) {
                PrefDlg->Prefs->setCurrentIndex(i);
                QApplication::processEvents();
                EXPECT_EQ(Clipped(PrefDlg->Prefs->widget(i)).join("\n").toStdString(), "")
                    << PrefDlg->Prefs->tabText(i).toStdString() << (promil ? " promil" : "");
            }
            // The unit list opens with all three units in view.
            QComboBox* units = PrefDlg->MeasureUnits;
            units->showPopup();
            QApplication::processEvents();
            EXPECT_GE(units->view()->viewport()->height(), 3 * units->view()->sizeHintForRow(0));
            units->hidePopup();
            Click(PrefDlg->CancelBtn);
        });
    }
}

// What the user reads in the measuring window's menus once OK has taken the unit and the
// dimension over.
TEST_F(Preferences, OKRewritesTheSizeMenusOfTheMeasuringWindow) {
    CreateApplicationWindows({});
    const auto caption = [](const char* name) {
        const QAction* item = Main->findChild<QAction*>(QString::fromLatin1(name));
        return item ? item->text() : QString();
    };
    EXPECT_EQ(caption("U15"), QString::fromUtf8("Width in µm = 15"));
    RunPreferences(1, [] {
        PrefDlg->MeasureUnits->setCurrentIndex(1); // mm
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(caption("U15"), "Width in mm = 1.5");
    EXPECT_EQ(caption("U500"), "Width in mm = 50");
    EXPECT_EQ(caption("W640"), "Width = 640");
    EXPECT_EQ(caption("InsertScale0"), "Insert Scale 0.5 mm");
    EXPECT_EQ(Main->findChild<QMenu*>("CropUnitsMenu")->title(), "Select Crop Area (mm)");

    RunPreferences(0, [] {
        PrefDlg->SetDimensions->button(1)->click(); // heights
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(caption("U15"), "Height in mm = 1.5");
    EXPECT_EQ(caption("W640"), "Height = 640");
    EXPECT_EQ(caption("ImageSize"), "Height of Image ");
}
