#include "settings/ui/PreferencesDialog.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "settings/MCSystems.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
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
    void SetUp() override { qputenv("QUVAR_PROGRAM_FOLDER", QFile::encodeName(program.path())); }
    void TearDown() override {
        DestroyApplicationWindows();
        qunsetenv("QUVAR_PROGRAM_FOLDER");
    }
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
