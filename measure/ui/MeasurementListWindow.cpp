#include "MeasurementListWindow.h"

#include "MainWindow.h"
#include "measure/SpreadsheetExport.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "platform/ui/FormHelpers.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString Caption = QStringLiteral("Measurements");

constexpr int RowHeight = 20;
constexpr int NumberColumnWidth = 25;

} // namespace

// The grid below its title row; the title row is the header, so it stays in view while
// the list scrolls.
class MeasurementGridModel : public QAbstractTableModel {
public:
    explicit MeasurementGridModel(const StringGrid& grid, QObject* parent)
        : QAbstractTableModel(parent), grid_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : grid_.RowCount() - 1;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : grid_.ColCount();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return grid_.Cells(index.column(), index.row() + 1);
        if (role == Qt::BackgroundRole && index.column() == 0)
            return QApplication::palette().button();
        if (role == Qt::TextAlignmentRole && index.column() == 0)
            return int(Qt::AlignCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < grid_.ColCount())
            return grid_.Cells(section, 0);
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
    }
    void Changed() {
        beginResetModel();
        endResetModel();
    }

private:
    const StringGrid& grid_;
};

TLBForm::TLBForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LBForm"));
    setWindowTitle(Caption);
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    SetFixedDialogBorder(this);
    setFixedWidth(278);
    setMinimumHeight(546);
    resize(278, 546);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    auto* top = new QGridLayout;
    KolSpin = new QSpinBox;
    KolSpin->setObjectName(QStringLiteral("KolSpin"));
    KolSpin->setRange(1, MaxColumnsPerRow);
    KolSpin->setValue(2);
    // Only the arrows change it: its edit is the read-only SpinEdit.
    SpinEdit = KolSpin->findChild<QLineEdit*>();
    SpinEdit->setObjectName(QStringLiteral("SpinEdit"));
    SpinEdit->setReadOnly(true);
    auto* columnsLabel = new QLabel(QStringLiteral("Columns"));
    CountLabel = new QLabel(QStringLiteral("Next Measurement "));
    CountEdit = new QLineEdit;
    CountEdit->setObjectName(QStringLiteral("CountEdit"));
    CountEdit->setReadOnly(true);
    CountEdit->setMaximumWidth(60);
    top->addWidget(columnsLabel, 0, 0);
    top->addWidget(KolSpin, 0, 1);
    top->addWidget(CountLabel, 1, 0);
    top->addWidget(CountEdit, 1, 1);
    Active = new QCheckBox;
    Active->setObjectName(QStringLiteral("Active"));
    Active->hide();
    ActiveLabel = new QLabel(QStringLiteral("Active"));
    ActiveLabel->setObjectName(QStringLiteral("ActiveLabel"));
    QFont bold = ActiveLabel->font();
    bold.setBold(true);
    ActiveLabel->setFont(bold);
    ActiveLabel->hide();
    top->addWidget(Active, 0, 2);
    top->addWidget(ActiveLabel, 1, 2);
    layout->addLayout(top);

    model_ = new MeasurementGridModel(Grid, this);
    MGrid = new QTableView;
    MGrid->setObjectName(QStringLiteral("MGrid"));
    MGrid->setModel(model_);
    MGrid->setToolTip(QStringLiteral("Click a cell to edit the value"));
    MGrid->verticalHeader()->hide();
    MGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MGrid->verticalHeader()->setDefaultSectionSize(RowHeight);
    MGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MGrid->horizontalHeader()->setFixedHeight(RowHeight);
    MGrid->horizontalHeader()->setSectionsClickable(true);
    MGrid->horizontalHeader()->setHighlightSections(false);
    MGrid->setSelectionMode(QAbstractItemView::NoSelection);
    MGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(MGrid, 1);

    const auto button = [layout](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text));
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        layout->addWidget(b);
        return b;
    };
    Remove = button("Remove", "Remove Last Measurement");
    SaveList = button("SaveList", "Save List as Excel File");
    ClearList = button("ClearList", "Clear List");
    HideListWindow = button("HideListWindow", "Hide List Window");
    CloseListWindow = button("CloseListWindow", "Close List Window");

    connect(Remove, &QPushButton::clicked, this, [this] { RemoveClick(); });
    connect(SaveList, &QPushButton::clicked, this, [this] { SaveListClick(); });
    connect(ClearList, &QPushButton::clicked, this, [this] { ClearListClick(); });
    connect(HideListWindow, &QPushButton::clicked, this, [this] { HideListWindowClick(); });
    connect(CloseListWindow, &QPushButton::clicked, this, [this] { CloseListWindowClick(); });
    connect(KolSpin, &QSpinBox::valueChanged, this, [this] { KolSpinClick(); });
    connect(Active, &QCheckBox::clicked, this, [this] { ActiveClick(); });
    connect(MGrid, &QTableView::pressed, this,
            [this](const QModelIndex& index) { MGridMouseDown(index.column(), index.row() + 1); });
    connect(MGrid->horizontalHeader(), &QHeaderView::sectionPressed, this,
            [this](int column) { MGridMouseDown(column, 0); });

    FormCreate();
}

// The grid view reads the fields, which go before the window's children do.
TLBForm::~TLBForm() {
    delete MGrid;
}

void TLBForm::FormCreate() {
    FillRow = -1;
    FillColumn = 1;
    ColumnsPerRow = KolSpin->value();
    // The layout of the columns without starting the row count.
    SetColumnsPerRow(ColumnsPerRow);
    FillRow = -1;
    SetListActive(false);
    ShowList();
}

void TLBForm::SetListActive(bool active) {
    ListActive = active;
    Active->setChecked(active);
    SetTextRed(ActiveLabel, active);
}

void TLBForm::SetCurrentRow(int row) {
    FillRow = row;
    CountEdit->setText(QString::number(row));
}

void TLBForm::ShowList() {
    model_->Changed();
    CountEdit->setText(FillRow >= 1 ? QString::number(FillRow) : QString());
    ApplyColumnWidths();
}

void TLBForm::ApplyColumnWidths() {
    MGrid->setColumnWidth(0, NumberColumnWidth);
    const int width = (MGrid->width() - 52) / ColumnsPerRow;
    for (int column = 1; column <= ColumnsPerRow; ++column)
        MGrid->setColumnWidth(column, width);
}

void TLBForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyColumnWidths();
}

void TLBForm::AddMeasurement(const QString& value) {
    if (isVisible())
        MGrid->setFocus();
    TLBFormFields::AddMeasurement(value);
    ShowList();
    if (isVisible())
        MGrid->scrollToBottom();
}

void TLBForm::AddMeasurement(const QStringList& values) {
    for (const QString& value : values)
        AddMeasurement(value);
}

std::vector<QStringList> TLBForm::Rows() const {
    std::vector<QStringList> rows;
    for (const auto& values : ValueRows())
        rows.emplace_back(values.begin(), values.end());
    return rows;
}

void TLBForm::RemoveClick() {
    RemoveLastMeasurement();
    ShowList();
}

void TLBForm::ClearListClick() {
    if (AppPrompts().Ask(QStringLiteral("Warning"),
                         QStringLiteral("This will remove ALL entered data. Are you sure?"),
                         AskButtons::OkCancel) != Answer::Yes)
        return;
    ClearMeasurements();
    ShowList();
}

void TLBForm::KolSpinClick() {
    SetColumnsPerRow(KolSpin->value());
    SpinEdit->setText(QString::number(ColumnsPerRow));
    ShowList();
}

void TLBForm::MGridMouseDown(int column, int row) {
    if (column < 0 || column >= Grid.ColCount() || row < 0 || row >= Grid.RowCount())
        return;
    if (row == 0) {
        const auto text = AppPrompts().Input(
            Caption, QStringLiteral("Edit the column titles. Use \";\" as separator"),
            TitlesText());
        if (text)
            SetTitlesFromText(*text);
    } else {
        const auto text =
            AppPrompts().Input(Caption, QStringLiteral("Edit this value"), Grid.Cells(column, row));
        if (text)
            Grid.SetCell(column, row, *text);
    }
    ShowList();
}

void TLBForm::HideListWindowClick() {
    hide();
}

void TLBForm::CloseListWindowClick() {
    SetListActive(false);
    if (Main)
        Main->UpdateListButtonGlyph();
    hide();
}

void TLBForm::SaveListClick() {
    DropEmptyLastRow();
    ShowList();
    SpreadsheetVersion = ExcelVersion();

    const QString proposed = ProposedSpreadsheetExtension(SpreadsheetVersion);
    const QString xlsxFilter = QStringLiteral("Excel Workbook (*.xlsx)");
    const QString xlsFilter = QStringLiteral("Excel 97-2003 Workbook (*.xls)");
    FileDialogRequest request;
    request.caption = QStringLiteral("Save List as Excel File");
    request.fileName = QStringLiteral("Measurements") + proposed;
    request.filters =
        SpreadsheetVersion ? QStringList{xlsxFilter, xlsFilter} : QStringList{xlsFilter};
    request.filterIndex =
        SpreadsheetVersion && proposed == u".xlsx" ? 0 : int(request.filters.size()) - 1;
    request.defaultSuffix = proposed.mid(1);
    request.confirmOverwrite = false; // the list asks its own question
    request.onFilterChange = [filters = request.filters](const QString& typed, int index) {
        const bool xlsx = index >= 0 && index < filters.size() && filters[index].contains(u"xlsx");
        return ReplaceExtension(typed, xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".xls"));
    };
    const auto chosen = AppPrompts().SaveFile(request);
    if (!chosen)
        return;
    const bool xlsxChosen = chosen->filterIndex >= 0 &&
                            chosen->filterIndex < request.filters.size() &&
                            request.filters[chosen->filterIndex] == xlsxFilter;
    const SpreadsheetSaveTarget target =
        SpreadsheetSaveTargetFor(SpreadsheetVersion, chosen->path,
                                 xlsxChosen ? SpreadsheetFormat::Xlsx : SpreadsheetFormat::Biff);
    if (target.Format == SpreadsheetFormat::Biff) {
        SaveGridAsBiff(target.Path);
        return;
    }
    if (QFileInfo::exists(target.Path) &&
        AppPrompts().Ask(Caption,
                         QStringLiteral("A file named: ") + target.Path +
                             QStringLiteral(" already exists. OK to overwrite?"),
                         AskButtons::YesNo) != Answer::Yes)
        return;
    SaveGridViaExcel(QStringLiteral("Measurements"), target.Path);
}

namespace {

void ReportSaveFailure(const QuvarError& error) {
    AppPrompts().Message(Caption,
                         QStringLiteral("Imposible to save as Excel-file") +
                             QStringLiteral("\n\r") + error.message(),
                         MessageIcon::Error);
}

} // namespace

bool TLBForm::SaveGridViaExcel(const QString& sheetName, const QString& fileName) {
    try {
        SaveGridAsXlsxFile(Grid, sheetName, fileName);
        return true;
    } catch (const QuvarError& error) {
        ReportSaveFailure(error);
        return false;
    }
}

bool TLBForm::SaveGridAsBiff(const QString& fileName) {
    if (QFileInfo::exists(fileName) &&
        AppPrompts().Ask(Caption,
                         QStringLiteral("A file named: ") + fileName +
                             QStringLiteral(" already exists. OK to overwrite?"),
                         AskButtons::YesNo) != Answer::Yes)
        return false;
    try {
        SaveGridAsBiffFile(Grid, fileName);
        return true;
    } catch (const QuvarError& error) {
        ReportSaveFailure(error);
        return false;
    }
}

QIcon MakeListGlyph(bool active) {
    // A small sheet with lines of values; red while values go to it.
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(Qt::white);
    painter.drawRect(3, 2, 17, 19);
    painter.setPen(active ? QColor(220, 0, 0) : QColor(110, 110, 110));
    for (int y = 6; y <= 18; y += 4) {
        painter.drawLine(6, y, 9, y);
        painter.drawLine(11, y, 17, y);
    }
    return QIcon(pixmap);
}
