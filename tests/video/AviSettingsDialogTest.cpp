#include "video/ui/AviSettingsDialog.h"
#include "support/ScriptedPrompts.h"
#include "video/AviWriter.h"
#include "video/RecordingSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class AviSettingsDialog : public ::testing::Test {
protected:
    AviSettingsDialog() {
        fields.AVIDir = folder.path();
        dialog.Fields = &fields;
        dialog.AVIWriter = &writer;
        TAVIDialog::Today = [] { return QDate(2031, 12, 31); };
    }
    ~AviSettingsDialog() override {
        TAVIDialog::Today = [] { return QDate::currentDate(); };
    }
    void Show() {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
    void ClickStart() { QTest::mouseClick(dialog.Startbtn, Qt::LeftButton); }

    QTemporaryDir folder;
    ScriptedPrompts prompts;
    TRecordingSettings fields;
    TAviWriter_2 writer;
    TAVIDialog dialog;
};

TEST_F(AviSettingsDialog, ItemListsAndTexts) {
    EXPECT_EQ(dialog.windowTitle(), "AVI -Capture Settings ");
    auto items = [](const QComboBox* box) {
        QStringList list;
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    };
    EXPECT_EQ(items(dialog.FPSBox), QStringList({"4", "6", "8", "10", "12", "15", "20"}));
    EXPECT_EQ(items(dialog.TLFPSBox), QStringList({"5", "10", "15", "20", "25"}));
    EXPECT_EQ(items(dialog.IntervalBox).size(), 18);
    EXPECT_EQ(items(dialog.TimeBox), QStringList({"seconds", "minutes", "hours"}));
    EXPECT_EQ(items(dialog.SizeBox),
              QStringList({"  640 x 480", "  800 x 600", "1024 x 768", "2048 x 1536"}));
    EXPECT_EQ(dialog.VideoMode->tabText(0), "Normal Video");
    EXPECT_EQ(dialog.VideoMode->tabText(1), "Time Lapse");
    EXPECT_EQ(dialog.Startbtn->text(), "Start Capturing");
    EXPECT_EQ(dialog.OnTheFlyCB->text(), "On-the-fly Compression");
}

TEST_F(AviSettingsDialog, ShowsTheStoredSettingsAndStartWritesThemBack) {
    fields.UseNormalVideo = false;
    fields.TimeUnits = 1;
    fields.TLInterval = 5;
    fields.TLFPS = 4;
    fields.TLTimeLimit = 4000;
    fields.VideoSize = 3;
    fields.AVINr = 99999;
    Show();
    EXPECT_EQ(dialog.VideoMode->currentWidget(), dialog.TimeLapse);
    EXPECT_EQ(dialog.IntervalBox->currentText(), "2");
    EXPECT_EQ(dialog.TimeBox->currentText(), "minutes");
    EXPECT_EQ(dialog.TLTimeLimit->text(), "4000");
    EXPECT_EQ(dialog.FileNameEdit->text(), "Video_2031-12-31_99999.avi");

    dialog.StartStopTag = 0;
    ClickStart();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.StartStopTag, 1);
    EXPECT_FALSE(fields.UseNormalVideo);
    EXPECT_EQ(fields.TLInterval, 5);
    EXPECT_EQ(fields.TimeUnits, 1);
    EXPECT_EQ(fields.TLTimeLimit, 4000);
    EXPECT_EQ(dialog.AVIWidth, 2048);
    EXPECT_EQ(dialog.AVIHeight, 1536);
    EXPECT_EQ(fields.AVINr, 0);
    Show();
    EXPECT_EQ(dialog.FileNameEdit->text(), "Video_2031-12-31_00000.avi");
}

TEST_F(AviSettingsDialog, KeepsItsSizeAcrossPagesAndShowsTheFolder) {
    fields.UseNormalVideo = true;
    fields.AVIDir = "/home/someone/Videos/QUVAR Videos/Sessions 2026";
    Show();
    const QSize first = dialog.size();
    for (QWidget* page : {dialog.TimeLapse, dialog.NormalVideo, dialog.TimeLapse}) {
        dialog.VideoMode->setCurrentWidget(page);
        QCoreApplication::processEvents();
        EXPECT_EQ(dialog.size(), first);
    }
    // The folder, from its start, whole.
    const QLineEdit* edit = dialog.AVIDirEdit;
    EXPECT_EQ(edit->cursorPosition(), 0);
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(fields.AVIDir),
              edit->contentsRect().width() - 8);
    dialog.reject();
}

TEST_F(AviSettingsDialog, ASizeTypedOverRecordsSquare) {
    Show();
    dialog.SizeBox->lineEdit()->setText("1000 x 1000");
    ClickStart();
    EXPECT_EQ(fields.VideoSize, -1);
    EXPECT_EQ(dialog.AVIWidth, 640);
    EXPECT_EQ(dialog.AVIHeight, 640);
}

TEST_F(AviSettingsDialog, CancelForgetsTheChanges) {
    fields.NVFPS = 3;
    Show();
    dialog.FPSBox->setCurrentIndex(6);
    dialog.NVTimeLimit->setText("99");
    dialog.StartStopTag = 1;
    QTest::mouseClick(dialog.Cancelbtn, Qt::LeftButton);
    EXPECT_EQ(dialog.StartStopTag, 0);
    EXPECT_EQ(fields.NVFPS, 3);
    Show();
    EXPECT_EQ(dialog.FPSBox->currentText(), "10");
    EXPECT_EQ(dialog.NVTimeLimit->text(), QString::number(fields.NVTimeLimit));
}

TEST_F(AviSettingsDialog, ANonNumberKeepsTheDialogOpen) {
    fields.NVFPS = 0;
    fields.AVINr = 7;
    Show();
    dialog.FPSBox->setCurrentIndex(2);
    dialog.TLTimeLimit->setText("ten");
    ClickStart();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "'ten' is not a valid integer value");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.StartStopTag, 0);
    EXPECT_EQ(fields.NVFPS, 2) << "written before the bad number";
    EXPECT_EQ(fields.AVINr, 7);
    dialog.reject();
}

TEST_F(AviSettingsDialog, ATimeLimitOrFrameCountBelowOneKeepsTheDialogOpen) {
    for (const char* text : {"0", "-5"})
        for (const bool lapse : {false, true}) {
            Show();
            dialog.NVTimeLimit->setText(lapse ? "20" : text);
            dialog.TLTimeLimit->setText(lapse ? text : "20");
            prompts.shown.clear();
            ClickStart();
            ASSERT_EQ(prompts.shown.size(), 1u) << text;
            EXPECT_EQ(prompts.shown[0].text,
                      QStringLiteral("'%1' is too small: enter 1 or more").arg(text));
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.StartStopTag, 0);
            dialog.reject();
        }
}

TEST_F(AviSettingsDialog, AnEmptyFolderFallsBackToTheDefault) {
    Show();
    dialog.AVIDirEdit->clear();
    ClickStart();
    EXPECT_EQ(dialog.StartStopTag, 1);
    EXPECT_TRUE(fields.AVIDir.endsWith("QUVAR Videos")) << fields.AVIDir.toStdString();
}

} // namespace
