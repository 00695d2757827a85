#include "measure/ui/SaveWithOptionsDialog.h"
#include "imaging/ImageFiles.h"
#include "imaging/SaveOptionsNames.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/MainWindow.h"
#include "platform/Errors.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

namespace {

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SaveOptions : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(program.path()).mkpath("Databases");
        WriteFile(program.filePath("Databases/bacteria.csv"),
                  "Bacillus subtilis\r\nBacillus cereus\r\nsub bac\r\n");
        WriteFile(program.filePath("Databases/algae.csv"), "Chlorella\r\n");
        QDir(photos.path()).mkpath("Pond A#52.1N 4.3E");
        CreateApplicationWindows({});
        Main->PhotoFolder = photos.path();
        Main->SelectedFolder = photos.filePath("Pond A#52.1N 4.3E");
        Main->PhotoLocation = "Lab";
        Main->PhotoCoordinates = "Bench 2";
        Main->NewSampleDate = QDate(2024, 5, 17);
    }
    void TearDown() override { DestroyApplicationWindows(); }
    static void WriteFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // An image file of its own, loaded as the user opens one.
    QString LoadImage(const QString& name) {
        const QString path = photos.filePath(name);
        QImage image(64, 48, QImage::Format_BGR888);
        image.fill(QColor(10, 120, 200));
        SaveImageWithComment(image, path, {}, false);
        Main->LoadImageFile(path);
        // The system in use, whatever the loading decided for an image without comment.
        Main->NrOfMCSystems = 1;
        Main->MCSystems[0].Name = "Axio";
        Main->MCSystems[0].NrOfObjectives = 1;
        Main->MCSystems[0].Objectives[0] = {40, "40 plan", 0.25};
        Main->MCSystems[0].CurrentObjective = 0;
        Main->CurrentMCSystem = 0;
        Main->CurrentCalibration = 0.25;
        prompts.shown.clear();
        return path;
    }
    // Runs the command; whileShown runs inside the dialog and closes it.
    void RunSave(std::function<void()> whileShown) {
        QTimer::singleShot(0, SaveWithOptions, [whileShown] {
            EXPECT_TRUE(SaveWithOptions->isVisible());
            whileShown();
            if (SaveWithOptions->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                SaveWithOptions->reject();
            }
        });
        Main->SaveUseOptionsClick();
    }
    // A check box takes a click on its box or text only, not on the empty rest of its row.
    static void Click(QAbstractButton* button) {
        const bool box = qobject_cast<QCheckBox*>(button);
        QTest::mouseClick(button, Qt::LeftButton, {},
                          box ? QPoint(6, button->height() / 2) : button->rect().center());
    }
    static void PressItem(QListWidget* list, int row) {
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
    static QStringList Items(const QListWidget* list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items.append(list->item(i)->text());
        return items;
    }
    static QStringList MemoLines() {
        return SaveWithOptions->CommentMemo->toPlainText().split(u'\n');
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir photos;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(SaveOptions, DatabasesFilterAndNames) {
    LoadImage("first.jpg");
    Main->ImageState = ImageAssumed;
    RunSave([this] {
        TSaveWithOptions& d = *SaveWithOptions;
        EXPECT_EQ(d.windowTitle(), photos.filePath("first.jpg"));
        EXPECT_EQ(d.DatabaseBox->currentText(), "algae.csv") << "the first, by name";
        EXPECT_FALSE(d.Rename->isVisible()) << "image state below 3";
        EXPECT_EQ(d.Directory->text(), photos.path());
        EXPECT_EQ(d.ImageExtBox->currentText(), "jpg");
        EXPECT_EQ(MemoLines(), QStringList({"Lab", "Bench 2", "SampleDate = 2024-05-17",
                                            "Axio;  Obj: 40 X;  um/pixel: 0.250000"}));

        d.DatabaseBox->setCurrentIndex(1);
        emit d.DatabaseBox->activated(1);
        EXPECT_EQ(Main->LastUsedDB, "bacteria.csv");
        EXPECT_EQ(Items(d.Names), QStringList({"Bacillus cereus", "Bacillus subtilis", "sub bac"}));
        QTest::keyClicks(d.SearchEdit, "bac sub");
        EXPECT_EQ(Items(d.Names), QStringList({"Bacillus subtilis"}));
        PressItem(d.Names, 0);
        // One file in the folder: the first free number is 2.
        EXPECT_EQ(d.SugestedFileName->text(), "Bacillus subtilis_2024-05-17_40 plan_0002");
        PressItem(d.Names, 0);
        EXPECT_EQ(Items(d.RecentBox), QStringList({"Bacillus subtilis"})) << "once";

        Click(d.IncludeDate);
        Click(d.IncludeMag);
        EXPECT_EQ(d.SugestedFileName->text().toStdString(), "Bacillus subtilis_0002");
        Click(d.IncludeDate);
        Click(d.IncludeMag);

        Click(d.ClearSearchText);
        QTest::keyClicks(d.SearchEdit, "Zea");
        Click(d.UseSearchName);
        EXPECT_EQ(d.SugestedFileName->text(), "Zea_2024-05-17_40 plan_0002");
        EXPECT_EQ(Items(d.RecentBox), QStringList({"Zea", "Bacillus subtilis"}));
        Click(d.SortRecentNames);
        EXPECT_TRUE(d.RecentBoxSorted->isVisible());
        EXPECT_FALSE(d.RecentBox->isVisible());
        EXPECT_EQ(Items(d.RecentBoxSorted), QStringList({"Bacillus subtilis", "Zea"}));
        PressItem(d.RecentBoxSorted, 0);
        EXPECT_EQ(d.SearchEdit->text(), "Bacillus subtilis");
        EXPECT_EQ(d.SugestedFileName->text(), "Bacillus subtilis_40 plan_2024-05-17_0002");
        Click(d.ClearRecentNames);
        EXPECT_TRUE(Items(d.RecentBox).isEmpty());
        d.RecentBoxSorted->setCurrentItem(nullptr);
        d.RecentBoxClick();
        EXPECT_TRUE(d.SugestedFileName->text().startsWith("_")) << "no recent name selected";
        Click(d.Cancel);
    });
    EXPECT_EQ(Main->windowTitle(), photos.filePath("first.jpg"));
}

TEST_F(SaveOptions, AddToDatabaseSortedWithoutDuplicatesAndAFailedWrite) {
    LoadImage("first.jpg");
    RunSave([this] {
        TSaveWithOptions& d = *SaveWithOptions;
        d.DatabaseBox->setCurrentIndex(1);
        emit d.DatabaseBox->activated(1);
        QTest::keyClicks(d.SearchEdit, "Aspergillus");
        Click(d.AddToDB);
        Click(d.AddToDB);
        EXPECT_EQ(ReadBytes(program.filePath("Databases/bacteria.csv")),
                  "Aspergillus\r\nBacillus cereus\r\nBacillus subtilis\r\nsub bac\r\n");
        EXPECT_EQ(Items(d.Names), QStringList({"Aspergillus"}));

        // The folder is gone: the write is reported and the list keeps the added name.
        QStringList expected = d.NameList();
        expected.append("Zea");
        QDir(program.filePath("Databases")).removeRecursively();
        d.SearchEdit->setText("Zea");
        Click(d.AddToDB);
        ASSERT_FALSE(prompts.shown.empty());
        EXPECT_TRUE(prompts.shown.back().text.contains("bacteria.csv"))
            << prompts.shown.back().text.toStdString();
        EXPECT_EQ(d.NameList(), expected);
        EXPECT_EQ(Items(d.Names), QStringList({"Zea"}));
        Click(d.Cancel);
    });
}

TEST_F(SaveOptions, InvalidFilenameKeepsTheDialogOpen) {
    LoadImage("first.jpg");
    RunSave([this] {
        Click(SaveWithOptions->SaveWithName);
        EXPECT_TRUE(SaveWithOptions->isVisible());
        EXPECT_EQ(prompts.Texts(), QStringList({"Invalid filename"}));
        Main->ImageState = ImageFromComment;
        Click(SaveWithOptions->Cancel);
    });
    RunSave([this] {
        Click(SaveWithOptions->Rename);
        EXPECT_TRUE(SaveWithOptions->isVisible());
        EXPECT_EQ(SaveWithOptions->RenameTag, 0);
        EXPECT_EQ(prompts.Texts().size(), 2);
        Click(SaveWithOptions->Cancel);
    });
}

TEST_F(SaveOptions, SelectedFolderGivesTheLocationLines) {
    LoadImage("first.jpg");
    Main->ImageState = ImageFromComment;
    RunSave([this] {
        TSaveWithOptions& d = *SaveWithOptions;
        EXPECT_TRUE(d.Rename->isVisible());
        Click(d.UseOpenDir);
        EXPECT_EQ(d.Directory->text(), Main->SelectedFolder);
        EXPECT_EQ(d.LocationEdit1->text(), "Pond A");
        EXPECT_EQ(d.LocationEdit2->text(), "52.1N 4.3E");
        EXPECT_EQ(MemoLines().mid(0, 2), QStringList({"Pond A", "52.1N 4.3E"}));
        QTest::keyClicks(d.SearchEdit, "Chlorella");
        Click(d.UseSearchName);
        EXPECT_EQ(d.SugestedFileName->text(), "Chlorella_2024-05-17_40 plan_0001");
        Click(d.SaveWithName);
    });
    const QString saved = Main->SelectedFolder + "/Chlorella_2024-05-17_40 plan_0001.jpg";
    EXPECT_EQ(Main->windowTitle(), saved);
    EXPECT_EQ(Main->ImageLocation, "Pond A");
    QImage image;
    QStringList comment;
    LoadImageWithComment(image, saved, comment);
    const qsizetype location = comment.indexOf("Pond A");
    ASSERT_GE(location, 0) << comment.join("|").toStdString();
    EXPECT_EQ(comment.value(location + 1), "52.1N 4.3E");
    EXPECT_TRUE(QFile::exists(photos.filePath("first.jpg")));
}

TEST_F(SaveOptions, RenameRemovesTheOriginalOnlyAfterANewFile) {
    const QString old = LoadImage("first.jpg");
    Main->ImageState = ImageFromComment;
    const int counter = Main->FileCounter;
    RunSave([] {
        QTest::keyClicks(SaveWithOptions->SearchEdit, "Chlorella");
        Click(SaveWithOptions->UseSearchName);
        Click(SaveWithOptions->Rename);
    });
    const QString renamed = photos.filePath("Chlorella_2024-05-17_40 plan_0002.jpg");
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_EQ(Main->FileCounter, counter);
    EXPECT_EQ(Main->CurrentFileName, old) << "the command keeps the current file name";
}

TEST_F(SaveOptions, RenameToTheSameFileKeepsIt) {
    const QString old = LoadImage("first.jpg");
    Main->ImageState = ImageFromComment;
    prompts.answers.push_back(Answer::Yes); // overwrite
    RunSave([] {
        SaveWithOptions->SugestedFileName->setText("first");
        Click(SaveWithOptions->Rename);
    });
    EXPECT_EQ(prompts.Texts(),
              QStringList({"The file exists. Do you want to overwrite this file?"}));
    EXPECT_TRUE(QFile::exists(old));
}

TEST_F(SaveOptions, AnExtensionThatCannotBeWrittenKeepsTheOldFile) {
    // Opened as .jpeg: the type box has no such item and shows none.
    const QString old = LoadImage("first.jpeg");
    Main->ImageState = ImageFromComment;
    const QByteArray bytes = ReadBytes(old);
    QTimer::singleShot(0, SaveWithOptions, [] {
        EXPECT_EQ(SaveWithOptions->ImageExtBox->currentIndex(), -1);
        QTest::keyClicks(SaveWithOptions->SearchEdit, "Chlorella");
        Click(SaveWithOptions->UseSearchName);
        Click(SaveWithOptions->Rename);
    });
    EXPECT_THROW(Main->SaveUseOptionsClick(), QuvarError);
    EXPECT_EQ(ReadBytes(old), bytes);
    EXPECT_EQ(QDir(photos.path()).entryList(QDir::Files), QStringList({"first.jpeg"}));
    EXPECT_EQ(Main->windowTitle(), old);
}

TEST_F(SaveOptions, OverwriteAnsweredNoSavesNothing) {
    LoadImage("first.jpg");
    WriteFile(photos.filePath("x.jpg"), "keep");
    RunSave([] {
        SaveWithOptions->SugestedFileName->setText("x");
        Click(SaveWithOptions->SaveWithName);
    });
    EXPECT_EQ(ReadBytes(photos.filePath("x.jpg")), "keep");
}
