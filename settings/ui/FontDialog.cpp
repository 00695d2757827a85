#include "FontDialog.h"

#include "platform/ui/FormHelpers.h"
#include "settings/FontAndTextDialogs.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int FontItemHeight = 20;
constexpr int StyleItemHeight = 16;
constexpr int ListFontPointSize = 10;
constexpr int PreviewPointSize = 22;

struct NamedColor {
    const char* Name;
    ColorRef Color; // 0x00BBGGRR
};

// The standard and extended colours of a colour drop-down.
constexpr NamedColor Colors[] = {
    {"Black", 0x000000}, {"Maroon", 0x000080},      {"Green", 0x008000},
    {"Olive", 0x008080}, {"Navy", 0x800000},        {"Purple", 0x800080},
    {"Teal", 0x808000},  {"Gray", 0x808080},        {"Silver", 0xC0C0C0},
    {"Red", 0x0000FF},   {"Lime", 0x00FF00},        {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF},     {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF}, {"Money Green", 0xC0DCC0}, {"Sky Blue", 0xF0CAA6},
    {"Cream", 0xF0FBFF}, {"Medium Gray", 0xA4A0A0},
};

QIcon Swatch(ColorRef color) {
    QPixmap pixmap(24, 12);
    pixmap.fill(ToQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

QFont StyledFont(const QFont& base, int styleIndex) {
    QFont font = base;
    font.setItalic(styleIndex & 1);
    font.setBold(styleIndex & 2);
    return font;
}

} // namespace

TSimpleFontDialog::TSimpleFontDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SimpleFontDialog"));
    setWindowTitle(QStringLiteral("QUVAR Select Font"));
    SetFixedDialogBorder(this);

    FontLabel = new QLabel(QStringLiteral("Font"), this);
    StyleLabel = new QLabel(QStringLiteral("Style"), this);
    ColorLabel = new QLabel(QStringLiteral("Color"), this);
    FontName = new QLineEdit(this);
    Style = new QLineEdit(this);
    ColorBox = new QComboBox(this);
    for (const NamedColor& c : Colors)
        ColorBox->addItem(Swatch(c.Color), QString::fromLatin1(c.Name), uint(c.Color));
    ColorBox->setIconSize(QSize(24, 12));

    // Each name in its own typeface, each style in the style it names.
    FontNamesListBox = new QListWidget(this);
    FontNamesListBox->setUniformItemSizes(false);
    for (const QString& family : QFontDatabase::families()) {
        if (family.startsWith(u'@'))
            continue;
        auto* item = new QListWidgetItem(family, FontNamesListBox);
        item->setFont(QFont(family, ListFontPointSize));
        item->setSizeHint(QSize(0, FontItemHeight));
    }
    FontNamesListBox->setFixedSize(220, 8 * FontItemHeight + 4);
    StyleListBox = new QListWidget(this);
    for (int i = 0; i < 4; ++i) {
        auto* item = new QListWidgetItem(StyleName(i), StyleListBox);
        item->setFont(StyledFont(StyleListBox->font(), i));
        item->setSizeHint(QSize(0, StyleItemHeight));
    }
    StyleListBox->setFixedSize(120, 4 * StyleItemHeight + 6);

    ExampleBox = new QGroupBox(QStringLiteral("Example"), this);
    ExampleLabel = new QLabel(QStringLiteral("AaBbYyZz"), ExampleBox);
    ExampleLabel->setAlignment(Qt::AlignCenter);
    ExampleLabel->setMinimumHeight(70);
    auto* exampleLayout = new QVBoxLayout(ExampleBox);
    exampleLayout->addWidget(ExampleLabel);

    OKbtn = new QPushButton(QStringLiteral("OK"), this);
    OKbtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(FontLabel, 0, 0);
    grid->addWidget(StyleLabel, 0, 1);
    grid->addWidget(ColorLabel, 0, 2);
    grid->addWidget(FontName, 1, 0);
    grid->addWidget(Style, 1, 1);
    grid->addWidget(ColorBox, 1, 2);
    grid->addWidget(FontNamesListBox, 2, 0);
    grid->addWidget(StyleListBox, 2, 1, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKbtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(ExampleBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(FontNamesListBox, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            FontName->setText(FontNamesListBox->item(row)->text());
    });
    connect(StyleListBox, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            Style->setText(StyleListBox->item(row)->text());
        UpdatePreview();
    });
    connect(FontName, &QLineEdit::textChanged, this, [this] { UpdatePreview(); });
    connect(Style, &QLineEdit::textChanged, this, [this] { UpdatePreview(); });
    connect(ColorBox, &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
    connect(OKbtn, &QPushButton::clicked, this, [this] { OKbtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    if (FontNamesListBox->count() > 0)
        FontNamesListBox->setCurrentRow(0);
    StyleListBox->setCurrentRow(0);
    SelectedFont.Name = FontLabel->font().family();
}

bool TSimpleFontDialog::Execute(FontRecord& font) {
    SelectedFont = font;
    if (exec() != QDialog::Accepted)
        return false;
    font.Name = SelectedFont.Name;
    font.Style = SelectedFont.Style;
    font.Color = SelectedFont.Color;
    return true;
}

void TSimpleFontDialog::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TSimpleFontDialog::FormShow() {
    // A name that is not installed leaves the list without a selection and stays in the
    // edit, so OK hands it back unchanged.
    const QList<QListWidgetItem*> found =
        FontNamesListBox->findItems(SelectedFont.Name, Qt::MatchFixedString);
    if (found.isEmpty()) {
        FontNamesListBox->setCurrentRow(-1);
        FontName->setText(SelectedFont.Name);
    } else {
        FontNamesListBox->setCurrentItem(found.front());
        FontNamesListBox->scrollToItem(found.front(), QAbstractItemView::PositionAtTop);
        FontName->setText(found.front()->text());
    }
    StyleListBox->setCurrentRow(StyleIndexOf(SelectedFont.Style));
    SelectColor(SelectedFont.Color);
    UpdatePreview();
}

void TSimpleFontDialog::SelectColor(ColorRef color) {
    int index = ColorBox->findData(uint(color));
    if (index < 0) {
        // A colour outside the list is offered as it is, ahead of the others.
        const int custom = ColorBox->findText(QStringLiteral("Custom"));
        if (custom >= 0)
            ColorBox->removeItem(custom);
        ColorBox->insertItem(0, Swatch(color), QStringLiteral("Custom"), uint(color));
        index = 0;
    }
    ColorBox->setCurrentIndex(index);
}

ColorRef TSimpleFontDialog::ChosenColor() const {
    return ColorRef(ColorBox->currentData().toUInt());
}

void TSimpleFontDialog::UpdatePreview() {
    QFont font(FontName->text(), PreviewPointSize);
    font = StyledFont(font, std::max(0, StyleListBox->currentRow()));
    ExampleLabel->setFont(font);
    QPalette palette = ExampleLabel->palette();
    palette.setColor(QPalette::WindowText, ToQColor(ChosenColor()));
    ExampleLabel->setPalette(palette);
}

void TSimpleFontDialog::OKbtnClick() {
    // The preview's typeface, style and colour; what the dialog does not show stays.
    if (!FontName->text().trimmed().isEmpty())
        SelectedFont.Name = FontName->text();
    SelectedFont.Style =
        WithStyleIndex(SelectedFont.Style, std::max(0, StyleListBox->currentRow()));
    SelectedFont.Color = ChosenColor();
    accept();
}
