#include "settings/ui/PreferencesDialog.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "measure/ui/SaveWithOptionsDialog.h"
#include "platform/IniFile.h"
#include "settings/FontAndTextDialogs.h"
#include "settings/MCSystems.h"
#include "settings/MainSettings.h"
#include "settings/PrefFolders.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
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

#include <functional>

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
        d->FromCameraEdit->setText(photo + "/inner");
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

    // Back to the defaults, then the file loaded into the pages.
    ReadMeasuringSettings(IniFile(Folder() + "missing.ini"), *Main);
    prompts.files = {FileDialogResult{file, 0}};
    RunPreferences(1, [&] {
        EXPECT_EQ(PrefDlg->MeasureUnits->currentText(), QString::fromUtf8("µm"));
        Click(PrefDlg->LoadSettings);
        const PrefPageValues loaded = PrefDlg->PageValues();
        // The appearance fields are the ones saved; the other pages stay as they were.
        PrefPageValues expected = loaded;
        TakeAppearanceFrom(*Main, expected);
        EXPECT_NE(loaded, expected) << "the pages show the file, not the settings";
        expected = saved;
        expected.PhotoFolder = loaded.PhotoFolder;
        expected.Location = loaded.Location;
        expected.Prefix = loaded.Prefix;
        expected.CheckedScheme = loaded.CheckedScheme;
        expected.SaveExtension = loaded.SaveExtension;
        expected.UseWidth = loaded.UseWidth;
        expected.WarningOnResize = loaded.WarningOnResize;
        expected.CounterText = loaded.CounterText;
        EXPECT_EQ(loaded, expected);
        EXPECT_EQ(loaded.Sizes, saved.Sizes);
        EXPECT_EQ(loaded.ScaleFont, saved.ScaleFont);
        EXPECT_EQ(loaded.LabelFont, saved.LabelFont);
        EXPECT_EQ(loaded.CopyrightText, saved.CopyrightText);
        EXPECT_EQ(loaded.ScaleDivisions, saved.ScaleDivisions);
        EXPECT_EQ(loaded.ArrowHeadText, saved.ArrowHeadText);
        EXPECT_EQ(loaded.WrapText, saved.WrapText);
        EXPECT_EQ(loaded.ScaleType2, saved.ScaleType2);
        EXPECT_EQ(loaded.CopyrightPosition, saved.CopyrightPosition);
        Click(PrefDlg->OKBtn);
    });
    EXPECT_EQ(Main->LengthUnit, "mil");
    EXPECT_EQ(Main->CopyrightText, "(c) Lab");
}
