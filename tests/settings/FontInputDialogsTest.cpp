#include "measure/ui/ApplicationWindows.h"
#include "settings/FontAndTextDialogs.h"
#include "settings/ui/FontDialog.h"
#include "settings/ui/InputDialog.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

class SmallDialogs : public ::testing::Test {
protected:
    void SetUp() override { CreateApplicationWindows({}); }
    void TearDown() override { DestroyApplicationWindows(); }
    // Runs whileShown once the dialog is up, inside its modal loop.
    static void WhenShown(QDialog* dialog, std::function<void()> whileShown) {
        QTimer::singleShot(0, dialog, [dialog, whileShown] {
            EXPECT_TRUE(dialog->isVisible());
            whileShown();
        });
    }

    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    ScriptedPrompts prompts;
};

FontRecord Font(const QString& name, int style, ColorRef color = 0x0000FF, int size = 14) {
    FontRecord font;
    font.Name = name;
    font.Style = style;
    font.Color = color;
    font.Size = size;
    return font;
}

} // namespace

TEST(FontStyleIndex, BoldAndItalicOnly) {
    struct Case {
        int bits;
        int index;
        const char* name;
    } cases[] = {
        {0, 0, "Regular"},
        {StyleItalic, 1, "Italic"},
        {StyleBold, 2, "Bold"},
        {StyleBold | StyleItalic, 3, "Bold Italic"},
        {StyleUnderline, 0, "Regular"},
        {StyleBold | StyleItalic | StyleUnderline | StyleStrikeOut, 3, "Bold Italic"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StyleIndexOf(c.bits), c.index) << c.bits;
        EXPECT_EQ(StyleName(c.index), c.name);
        EXPECT_EQ(WithStyleIndex(c.bits, c.index), c.bits) << "the other bits stay";
    }
    EXPECT_EQ(WithStyleIndex(StyleUnderline | StyleBold, 1), StyleUnderline | StyleItalic);
}

TEST_F(SmallDialogs, TheFontDialogOpensOnTheFontsStyle) {
    ASSERT_NE(SimpleFontDialog, nullptr);
    EXPECT_EQ(SimpleFontDialog->windowTitle(), "QUVAR Select Font");
    for (int i = 0; i < SimpleFontDialog->FontNamesListBox->count(); ++i)
        EXPECT_FALSE(SimpleFontDialog->FontNamesListBox->item(i)->text().startsWith('@'));
    const QString family = QFontDatabase::families().value(0);
    ASSERT_FALSE(family.isEmpty()) << "no font installed";

    struct Case {
        int style;
        QString shown;
    } cases[] = {{StyleBold | StyleItalic, "Bold Italic"},
                 {StyleUnderline, "Regular"},
                 {StyleItalic | StyleStrikeOut, "Italic"}};
    for (const Case& c : cases) {
        FontRecord font = Font(family.toUpper(), c.style);
        const FontRecord before = font;
        WhenShown(SimpleFontDialog, [&] {
            EXPECT_EQ(SimpleFontDialog->Style->text(), c.shown);
            EXPECT_EQ(SimpleFontDialog->StyleListBox->currentItem()->text(), c.shown);
            EXPECT_EQ(SimpleFontDialog->FontName->text(), family) << "found without regard to case";
            EXPECT_EQ(SimpleFontDialog->FontNamesListBox->currentItem()->text(), family);
            EXPECT_EQ(SimpleFontDialog->ExampleLabel->text(), "AaBbYyZz");
            EXPECT_EQ(SimpleFontDialog->ExampleLabel->font().bold(), bool(c.style & StyleBold));
            EXPECT_EQ(SimpleFontDialog->ExampleLabel->font().underline(), false);
            EXPECT_EQ(SimpleFontDialog->ExampleLabel->palette().color(QPalette::WindowText),
                      QColor(Qt::red));
            QTest::mouseClick(SimpleFontDialog->CancelBtn, Qt::LeftButton);
        });
        EXPECT_FALSE(AppFontAndTextDialogs().SelectFont(font));
        EXPECT_EQ(font, before) << "cancel changes nothing";
    }
}

TEST_F(SmallDialogs, ATypedFontNameIsPreviewedAndHandedBack) {
    FontRecord font = Font(QFontDatabase::families().value(0), StyleUnderline, 0x00FF00, 17);
    WhenShown(SimpleFontDialog, [] {
        QLineEdit* name = SimpleFontDialog->FontName;
        name->selectAll();
        QTest::keyClicks(name, "No Such Typeface");
        EXPECT_EQ(SimpleFontDialog->ExampleLabel->font().family(), "No Such Typeface");
        QListWidget* styles = SimpleFontDialog->StyleListBox;
        QTest::mouseClick(styles->viewport(), Qt::LeftButton, {},
                          styles->visualItemRect(styles->item(2)).center());
        EXPECT_EQ(SimpleFontDialog->Style->text(), "Bold");
        EXPECT_TRUE(SimpleFontDialog->ExampleLabel->font().bold());
        SimpleFontDialog->ColorBox->setCurrentIndex(SimpleFontDialog->ColorBox->findText("Navy"));
        EXPECT_EQ(SimpleFontDialog->ExampleLabel->palette().color(QPalette::WindowText),
                  QColor(0, 0, 128));
        QTest::mouseClick(SimpleFontDialog->OKbtn, Qt::LeftButton);
    });
    ASSERT_TRUE(AppFontAndTextDialogs().SelectFont(font));
    EXPECT_EQ(font.Name, "No Such Typeface");
    EXPECT_EQ(font.Style, StyleBold | StyleUnderline) << "underline is not the dialog's to drop";
    EXPECT_EQ(font.Color, 0x800000u);
    EXPECT_EQ(font.Size, 17) << "the dialog never sets the size";

    // A name not installed opens with no list selection and is handed back as it was.
    WhenShown(SimpleFontDialog, [] {
        EXPECT_EQ(SimpleFontDialog->FontNamesListBox->currentRow(), -1);
        EXPECT_EQ(SimpleFontDialog->FontName->text(), "No Such Typeface");
        EXPECT_EQ(SimpleFontDialog->ColorBox->currentText(), "Navy");
        QTest::mouseClick(SimpleFontDialog->OKbtn, Qt::LeftButton);
    });
    ASSERT_TRUE(AppFontAndTextDialogs().SelectFont(font));
    EXPECT_EQ(font.Name, "No Such Typeface");

    // A colour outside the list is kept as it is.
    font.Color = 0x123456;
    WhenShown(SimpleFontDialog, [] { QTest::mouseClick(SimpleFontDialog->OKbtn, Qt::LeftButton); });
    ASSERT_TRUE(AppFontAndTextDialogs().SelectFont(font));
    EXPECT_EQ(font.Color, 0x123456u);
}

TEST_F(SmallDialogs, TheInputDialogsWrapFieldTakesDigitsOnly) {
    ASSERT_NE(InputDialog, nullptr);
    QString text = "Old label";
    QString wrap = "40";
    WhenShown(InputDialog, [] {
        EXPECT_EQ(InputDialog->windowTitle(), "QUVAR Label");
        EXPECT_EQ(InputDialog->InfoLabel->text(), "Enter (Modify) the Label text:");
        EXPECT_EQ(InputDialog->InputText->text(), "Old label");
        EXPECT_EQ(InputDialog->Label2->text(),
                  "Wrap text after this amount of characters. 0 means no wrap.");
        InputDialog->InputText->selectAll();
        QTest::keyClicks(InputDialog->InputText, "New label");
        InputDialog->WordWrap->selectAll();
        QTest::keyClicks(InputDialog->WordWrap, "-1a2b.3");
        EXPECT_EQ(InputDialog->WordWrap->text(), "123");
        QTest::mouseClick(InputDialog->Cancelbtn, Qt::LeftButton);
    });
    EXPECT_FALSE(AppFontAndTextDialogs().InputTextAndWrap(
        "QUVAR Label", "Enter (Modify) the Label text:", text, wrap));
    EXPECT_EQ(text, "Old label");
    EXPECT_EQ(wrap, "40");

    WhenShown(InputDialog, [] {
        InputDialog->InputText->selectAll();
        QTest::keyClicks(InputDialog->InputText, "Sample 7");
        InputDialog->WordWrap->selectAll();
        QTest::keyClicks(InputDialog->WordWrap, "0");
        QTest::mouseClick(InputDialog->OKbtn, Qt::LeftButton);
    });
    EXPECT_TRUE(AppFontAndTextDialogs().InputTextAndWrap(
        "QUVAR Label", "Enter (Modify) the Label text:", text, wrap));
    EXPECT_EQ(text, "Sample 7");
    EXPECT_EQ(wrap, "0");
}

TEST(FontAndTextDialogsWithoutWindows, EveryRequestIsCancelled) {
    FontRecord font;
    QString text = "a", wrap = "1";
    EXPECT_FALSE(AppFontAndTextDialogs().SelectFont(font));
    EXPECT_FALSE(AppFontAndTextDialogs().InputTextAndWrap("c", "p", text, wrap));
    EXPECT_EQ(text, "a");
}
