#include "MeasurementList.h"

#include <algorithm>
#include <cassert>

StringGrid::StringGrid(int columns, int rows) : columns_(std::max(columns, 1)) {
    SetRowCount(rows);
}

void StringGrid::SetColCount(int columns) {
    columns_ = std::max(columns, 1);
    for (auto& row : rows_)
        row.resize(size_t(columns_));
}

void StringGrid::SetRowCount(int rows) {
    rows_.resize(size_t(std::max(rows, 1)), std::vector<QString>(size_t(columns_)));
}

const QString& StringGrid::Cells(int column, int row) const {
    assert(column >= 0 && column < columns_ && row >= 0 && row < RowCount());
    return rows_[size_t(row)][size_t(column)];
}

void StringGrid::SetCell(int column, int row, const QString& text) {
    assert(column >= 0 && column < columns_ && row >= 0 && row < RowCount());
    rows_[size_t(row)][size_t(column)] = text;
}

namespace {

QString ColumnTitle(int column) {
    return QStringLiteral("Col %1").arg(column);
}

} // namespace

TLBFormFields::TLBFormFields() {
    // The layout of a new list, without starting its row count.
    const int fillRow = FillRow;
    SetColumnsPerRow(ColumnsPerRow);
    FillRow = fillRow;
}

void TLBFormFields::SetColumnsPerRow(int columnsPerRow) {
    ClearMeasurements();
    ColumnsPerRow = std::clamp(columnsPerRow, 1, MaxColumnsPerRow);
    Grid.SetColCount(ColumnsPerRow + 1);
    for (int column = 1; column <= ColumnsPerRow; ++column)
        Grid.SetCell(column, 0, ColumnTitle(column));
    Grid.SetRowCount(2);
    Grid.SetCell(0, 0, QStringLiteral("Nr"));
    Grid.SetCell(0, 1, QStringLiteral("1"));
}

void TLBFormFields::ClearMeasurements() {
    Grid.SetRowCount(2);
    for (int column = 1; column < Grid.ColCount(); ++column)
        Grid.SetCell(column, 1, QString());
    Grid.SetCell(0, 1, QStringLiteral("1"));
    FillColumn = 1;
    FillRow = 1;
}

void TLBFormFields::EnsureFillRow() {
    // A list that was never opened starts at row 1; a save may have dropped the row being
    // filled.
    FillRow = std::max(FillRow, 1);
    if (Grid.RowCount() <= FillRow)
        Grid.SetRowCount(FillRow + 1);
    Grid.SetCell(0, FillRow, QString::number(FillRow));
}

void TLBFormFields::AddMeasurement(const QString& value) {
    EnsureFillRow();
    Grid.SetCell(FillColumn, FillRow, value);
    if (++FillColumn > ColumnsPerRow) {
        FillColumn = 1;
        ++FillRow;
    }
    Grid.SetRowCount(FillRow + 1);
    Grid.SetCell(0, FillRow, QString::number(FillRow));
}

void TLBFormFields::RemoveLastMeasurement() {
    if (IsEmpty())
        return;
    if (ColumnsPerRow == 1) {
        FillRow = std::max(FillRow - 1, 1);
        Grid.SetRowCount(FillRow + 1);
        Grid.SetCell(1, FillRow, QString());
    } else if (FillColumn == 1) {
        --FillRow;
        Grid.SetRowCount(FillRow + 1);
        Grid.SetCell(ColumnsPerRow, FillRow, QString());
        FillColumn = ColumnsPerRow;
    } else {
        EnsureFillRow();
        --FillColumn;
        Grid.SetCell(FillColumn, FillRow, QString());
    }
}

QString TLBFormFields::TitlesText() const {
    QString text;
    for (int column = 1; column < Grid.ColCount(); ++column)
        text += Grid.Cells(column, 0) + QStringLiteral(" ; ");
    return text;
}

void TLBFormFields::SetTitlesFromText(const QString& text) {
    QString rest = text;
    for (int column = 1; column < Grid.ColCount(); ++column) {
        if (!rest.endsWith(u';'))
            rest += u';';
        const qsizetype end = rest.indexOf(u';');
        Grid.SetCell(column, 0, rest.left(end).trimmed());
        rest.remove(0, end + 1);
    }
}

void TLBFormFields::DropEmptyLastRow() {
    // Only a row without any value: a value the user typed into a later column of a row
    // whose first cell is empty still reaches the file.
    const int last = Grid.RowCount() - 1;
    if (last < 1)
        return;
    for (int column = 1; column < Grid.ColCount(); ++column)
        if (!Grid.Cells(column, last).isEmpty())
            return;
    Grid.SetRowCount(last);
}

std::vector<std::vector<QString>> TLBFormFields::ValueRows() const {
    std::vector<std::vector<QString>> rows;
    int last = 0;
    for (int row = 1; row < Grid.RowCount(); ++row)
        for (int column = 1; column < Grid.ColCount(); ++column)
            if (!Grid.Cells(column, row).isEmpty())
                last = row;
    for (int row = 1; row <= last; ++row) {
        std::vector<QString> values;
        for (int column = 1; column < Grid.ColCount(); ++column)
            values.push_back(Grid.Cells(column, row));
        rows.push_back(values);
    }
    return rows;
}
