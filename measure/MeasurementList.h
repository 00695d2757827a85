#pragma once
// The measurement list: a grid of texts with a fixed title row and a fixed column of row
// numbers, filled value by value, a fixed number of values per row. The list window only
// shows it.

#include <QString>

#include <vector>

// A grid of texts addressed as Cells(column, row), row 0 and column 0 included.
class StringGrid {
public:
    StringGrid(int columns = 1, int rows = 1);

    int ColCount() const { return columns_; }
    int RowCount() const { return int(rows_.size()); }
    // New columns and rows are empty; dropped ones are gone.
    void SetColCount(int columns);
    void SetRowCount(int rows);

    const QString& Cells(int column, int row) const;
    void SetCell(int column, int row, const QString& text);

private:
    int columns_;
    std::vector<std::vector<QString>> rows_;
};

class TLBFormFields {
public:
    TLBFormFields();

    static constexpr int MaxColumnsPerRow = 5;

    // Measurements go to the list.
    bool ListActive = false;
    // The row being filled: -1 until the list is first opened, then at least 1.
    int FillRow = -1;
    // The column for the next value, 1 to ColumnsPerRow.
    int FillColumn = 1;
    int ColumnsPerRow = 2;
    StringGrid Grid;

    // A new layout of columnsPerRow (1 to 5) value columns titled "Col n"; every value and
    // every title the user gave is lost.
    void SetColumnsPerRow(int columnsPerRow);
    // Every value emptied, the titles kept; the list starts again at row 1.
    void ClearMeasurements();
    // The value goes to the cell being filled; the next cell follows, in the next row
    // after the last column.
    void AddMeasurement(const QString& value);
    // Takes back the last value; nothing when the list is empty.
    void RemoveLastMeasurement();
    bool IsEmpty() const { return FillRow <= 1 && FillColumn == 1; }

    // The column titles, each followed by " ; ", as the title edit offers them.
    QString TitlesText() const;
    // The titles from text split on ";", blanks trimmed, in column order; columns left
    // without a part get an empty title.
    void SetTitlesFromText(const QString& text);

    // Before a save: a last row without a value in column 1 is not written.
    void DropEmptyLastRow();

    // The values as rows (rows 1 up to the last one that holds a value), without the row
    // numbers.
    std::vector<std::vector<QString>> ValueRows() const;

private:
    // The grid holds row FillRow, numbered.
    void EnsureFillRow();
};
