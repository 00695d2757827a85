#include "measure/ui/MeasurementListWindow.h"
#include "measure/ui/ApplicationWindows.h"
#include "measure/ui/FotoView.h"
#include "measure/ui/MainWindow.h"
#include "platform/ui/QtPrompts.h"
#include "settings/MCSystems.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScopeProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The measuring window with a 400 x 300 image calibrated at 0.5 µm per pixel and the list
// window beside it, driven by the mouse as a user drives them.
class ListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        quvartest::SaveScopeA(program.path(), 400, {{10, QStringLiteral("10 plan"), 0.5}});
        CreateApplicationWindows({});
        QImage image(400, 300, QImage::Format_BGR888);
        image.fill(QColor(200, 210, 190));
        const QString path = program.path() + QStringLiteral("/sample.png");
        ASSERT_TRUE(image.save(path));
        Main->resize(1400, 900);
        Main->LoadImageFile(path);
    }
    void TearDown() override { DestroyApplicationWindows(); }
    // A length of pixels / 2 µm.
    void Measure(int pixels, int y = 100) {
        QTest::mousePress(Main->Foto, Qt::LeftButton, {}, {50, y});
        QTest::mouseMove(Main->Foto, {50 + pixels / 2, y});
        QTest::mouseMove(Main->Foto, {50 + pixels, y});
        QTest::mouseRelease(Main->Foto, Qt::LeftButton, {}, {50 + pixels, y});
    }
    // The grid as the window shows it: the header, then each row, "|" between cells.
    static std::string Shown() {
        const QAbstractItemModel* model = LBForm->MGrid->model();
        QString text;
        for (int column = 0; column < model->columnCount(); ++column)
            text += (column ? QStringLiteral("|") : QString()) +
                    model->headerData(column, Qt::Horizontal).toString();
        for (int row = 0; row < model->rowCount(); ++row) {
            text += u'/';
            for (int column = 0; column < model->columnCount(); ++column)
                text += (column ? QStringLiteral("|") : QString()) +
                        model->index(row, column).data().toString();
        }
        return text.toStdString();
    }
    static void PressCell(int column, int row) {
        QTableView* grid = LBForm->MGrid;
        if (row == 0) {
            QHeaderView* header = grid->horizontalHeader();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              {header->sectionViewportPosition(column) + 5, 10});
        } else {
            const QRect cell = grid->visualRect(grid->model()->index(row - 1, column));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        }
    }
    QString Action() const { return Main->Action->text(); }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(ListWindow, TheListButtonOpensTheListBesideTheMeasuringWindow) {
    EXPECT_FALSE(LBForm->IsListActive());
    const qint64 inactiveGlyph = Main->MakeListButton->icon().cacheKey();
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    EXPECT_EQ(Action(), QStringLiteral("Initialize Measurement List"));
    EXPECT_TRUE(LBForm->IsListActive());
    EXPECT_TRUE(LBForm->isVisible());
    EXPECT_FALSE(Main->MakeListButton->isChecked()) << "released";
    EXPECT_NE(Main->MakeListButton->icon().cacheKey(), inactiveGlyph);
    EXPECT_EQ(LBForm->CountEdit->text(), QStringLiteral("1"));
    EXPECT_EQ(LBForm->windowTitle(), QStringLiteral("Measurements"));
    EXPECT_EQ(LBForm->width(), 278);
    EXPECT_EQ(LBForm->frameGeometry().top(), Main->frameGeometry().top() + 50);
    EXPECT_EQ(LBForm->frameGeometry().right() + 1,
              Main->frameGeometry().left() + Main->frameGeometry().width() - 5);

    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    EXPECT_EQ(Action(), QStringLiteral("Show Measurement List"));
}

TEST_F(ListWindow, FiveLengthsInTwoColumnsThenRemoveAndClear) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    for (int pixels : {20, 40, 60, 80, 100})
        Measure(pixels);
    EXPECT_EQ(LBForm->CountEdit->text(), QStringLiteral("3"));
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|20.0/2|30.0|40.0/3|50.0|");
    EXPECT_EQ(Action(), QStringLiteral("Count: 3"));

    QTest::mouseClick(LBForm->Remove, Qt::LeftButton);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|20.0/2|30.0|40.0/3||");
    Measure(24);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|20.0/2|30.0|40.0/3|12.0|");

    prompts.answers.push_back(Answer::Cancel);
    QTest::mouseClick(LBForm->ClearList, Qt::LeftButton);
    EXPECT_EQ(prompts.Texts().back(),
              QStringLiteral("This will remove ALL entered data. Are you sure?"));
    EXPECT_EQ(LBForm->CountEdit->text(), QStringLiteral("3")) << "cancelled";
    prompts.answers.push_back(Answer::Yes);
    QTest::mouseClick(LBForm->ClearList, Qt::LeftButton);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1||");
    EXPECT_EQ(LBForm->CountEdit->text(), QStringLiteral("1"));

    QTest::mouseClick(LBForm->Remove, Qt::LeftButton); // on the empty list
    Measure(20);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|");
}

TEST_F(ListWindow, HiddenTheListKeepsTakingValuesClosedItStops) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    const qint64 activeGlyph = Main->MakeListButton->icon().cacheKey();
    QTest::mouseClick(LBForm->HideListWindow, Qt::LeftButton);
    EXPECT_FALSE(LBForm->isVisible());
    Measure(20);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|");

    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    QTest::mouseClick(LBForm->CloseListWindow, Qt::LeftButton);
    EXPECT_FALSE(LBForm->isVisible());
    EXPECT_FALSE(LBForm->IsListActive());
    EXPECT_NE(Main->MakeListButton->icon().cacheKey(), activeGlyph);
    Measure(40);
    EXPECT_EQ(Action(), QStringLiteral("Last Distance: 20.0"));
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|") << "nothing added, nothing lost";

    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    Measure(60);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|30.0/2||");
}

TEST_F(ListWindow, CellsAndTitlesAreEditedThroughInputBoxes) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    Measure(20);
    Measure(40);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(LBForm));

    prompts.inputs.push_back(QString::fromUtf8("12.5 µm"));
    PressCell(2, 1);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().kind, QStringLiteral("input"));
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Measurements"));
    EXPECT_EQ(prompts.shown.back().text, QStringLiteral("Edit this value"));
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|12.5 µm/2||");

    prompts.inputs.push_back(QStringLiteral("Length ;Note"));
    PressCell(1, 0);
    EXPECT_EQ(prompts.shown.back().text,
              QStringLiteral("Edit the column titles. Use \";\" as separator"));
    EXPECT_EQ(Shown(), "Nr|Length|Note/1|10.0|12.5 µm/2||");

    prompts.inputs.push_back(std::nullopt); // cancelled
    PressCell(1, 1);
    EXPECT_EQ(Shown(), "Nr|Length|Note/1|10.0|12.5 µm/2||");
}

TEST_F(ListWindow, ColumnsPerRowStartsANewList) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    Measure(20);
    LBForm->KolSpin->stepUp();
    EXPECT_EQ(LBForm->SpinEdit->text(), QStringLiteral("3"));
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2|Col 3/1|||");
    for (int pixels : {20, 40, 60, 80})
        Measure(pixels);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2|Col 3/1|10.0|20.0|30.0/2|40.0||");
    LBForm->KolSpin->setValue(9);
    EXPECT_EQ(LBForm->ColumnsPerRow, 5) << "1 to 5";
}

TEST_F(ListWindow, SavingAsXlsAndXlsxWithTheOverwriteQuestion) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    for (int pixels : {20, 40, 60, 80})
        Measure(pixels); // rows 1 and 2 full, row 3 empty
    QTemporaryDir folder;
    const QString xls = folder.filePath("list.xls");

    prompts.files.push_back(FileDialogResult{xls, 1});
    QTest::mouseClick(LBForm->SaveList, Qt::LeftButton);
    const FileDialogRequest& request = prompts.shown.back().request;
    EXPECT_EQ(request.fileName, QStringLiteral("Measurements.xlsx"));
    EXPECT_EQ(request.filters.size(), 2);
    EXPECT_EQ(request.filterIndex, 0);
    EXPECT_FALSE(request.confirmOverwrite) << "the list asks its own question";
    ASSERT_TRUE(request.onFilterChange);
    EXPECT_EQ(request.onFilterChange(QStringLiteral("Measurements.xlsx"), 1),
              QStringLiteral("Measurements.xls"));
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|20.0/2|30.0|40.0") << "the empty last row dropped";
    const QByteArray saved = ReadAll(xls);
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_EQ(saved.left(4), QByteArray::fromHex("09080800"));
    // BOF, CODEPAGE, six numbers (two row numbers, four values), the labels "Nr", "Col 1",
    // "Col 2", EOF.
    EXPECT_EQ(saved.size(), 12 + 6 + 6 * 18 + (12 + 2) + 2 * (12 + 5) + 4);

    // Refused overwrite: nothing written, no message.
    Measure(100);
    prompts.files.push_back(FileDialogResult{xls, 1});
    prompts.answers.push_back(Answer::No);
    const size_t before = prompts.shown.size();
    QTest::mouseClick(LBForm->SaveList, Qt::LeftButton);
    ASSERT_EQ(prompts.shown.size(), before + 2);
    EXPECT_EQ(prompts.shown.back().text, QStringLiteral("A file named: ") + xls +
                                             QStringLiteral(" already exists. OK to overwrite?"));
    EXPECT_EQ(ReadAll(xls), saved);
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|20.0/2|30.0|40.0/3|50.0|")
        << "the value after the save got its row";

    // The workbook, with the name's extension following the filter chosen.
    prompts.files.push_back(FileDialogResult{folder.filePath("list"), 0});
    QTest::mouseClick(LBForm->SaveList, Qt::LeftButton);
    EXPECT_TRUE(ReadAll(folder.filePath("list.xlsx")).startsWith("PK\x03\x04"));
}

// Through the toolkit's own file dialog and message boxes: a name that exists gets one
// question, the list's, whichever format is written.
TEST_F(ListWindow, SavingOverAFileAsksOnlyTheListsQuestion) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    Measure(20);
    QTemporaryDir folder;
    QtPrompts real;
    for (const char* name : {"list.xls", "list.xlsx"}) {
        SCOPED_TRACE(name);
        const QString path = folder.filePath(QString::fromLatin1(name));
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        QStringList questions;
        int ticks = 0;
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (++ticks > 500 && modal) { // never hang on a window nobody expected
                ADD_FAILURE() << "left open: " << modal->metaObject()->className();
                QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                // Typed into the name box, as a user types a full name.
                auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                ASSERT_NE(nameBox, nullptr);
                nameBox->setText(path);
                // Its own question would run a loop of its own inside this timer's call.
                QTimer::singleShot(0, dialog,
                                   [dialog] { static_cast<QDialog*>(dialog)->accept(); });
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                questions << box->text();
                QAbstractButton* yes = box->button(QMessageBox::Yes);
                (yes ? yes : box->button(QMessageBox::Ok))->click();
            }
        });
        SetAppPrompts(&real);
        answer.start();
        QTest::mouseClick(LBForm->SaveList, Qt::LeftButton);
        answer.stop();
        SetAppPrompts(&prompts);
        EXPECT_EQ(questions, QStringList(QStringLiteral("A file named: ") + path +
                                         QStringLiteral(" already exists. OK to overwrite?")))
            << questions.join(u'|').toStdString();
        EXPECT_NE(ReadAll(path), "old") << "written after the one question";
    }
}

TEST_F(ListWindow, AFailedSaveSaysSoAndKeepsTheList) {
    QTest::mouseClick(Main->MakeListButton, Qt::LeftButton);
    Measure(20);
    QTemporaryDir folder;
    for (const char* name : {"in the way.xlsx", "in the way.xls"}) {
        const QString blocked = folder.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QDir().mkdir(blocked));
        prompts.files.push_back(FileDialogResult{blocked, blocked.endsWith(u"x") ? 0 : 1});
        prompts.answers.push_back(Answer::Yes); // overwrite
        QTest::mouseClick(LBForm->SaveList, Qt::LeftButton);
        ASSERT_FALSE(prompts.shown.empty());
        EXPECT_EQ(prompts.shown.back().kind, QStringLiteral("message"));
        EXPECT_TRUE(prompts.shown.back().text.startsWith(
            QStringLiteral("Imposible to save as Excel-file")));
        EXPECT_TRUE(prompts.shown.back().text.contains(blocked)) << "names the file";
    }
    EXPECT_EQ(Shown(), "Nr|Col 1|Col 2/1|10.0|");
}
