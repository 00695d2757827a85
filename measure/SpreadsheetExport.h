#pragma once
// The measurement grid as a spreadsheet file: ".xlsx" through libxlsxwriter, or ".xls" as
// a minimal BIFF worksheet of our own (BOF, CODEPAGE, NUMBER and LABEL records, EOF). Both
// writers put every cell where the grid has it, numbers as numbers and other texts as texts,
// and replace the file only once the new one is complete.

#include "MeasurementList.h"

#include <QByteArray>
#include <QString>

#include <optional>

// An optional "-" followed by one or more digits, nothing else.
bool IsIntegerText(const QString& text);
// An optional "-", then one or more digits, "," or ".", with at most one "," or ".".
bool IsDecimalText(const QString& text);
// The number a cell is written as; nothing for a text cell. A text that passes the decimal
// test but is no number with "." as decimal sign ("1,5", ".", "-.") stays a text.
std::optional<double> CellNumber(const QString& text);

// "A1" for (1, 1): the column letters (1 = A, 27 = AA) followed by the row number.
QString ExcelCellName(int row, int column);

// The BIFF records of one cell; labels in Windows-1252 ("?" for other characters), cut at
// BIFF's 255 bytes.
void WriteBiffNumber(QByteArray& stream, int column, int row, double value);
void WriteBiffLabel(QByteArray& stream, int column, int row, const QString& value);

// The rows a BIFF worksheet can address.
constexpr int BiffMaxRows = 65536;
// The whole BIFF file: BOF, CODEPAGE (Windows-1252), every cell column by column, EOF.
// Throws a QuvarError when the grid has more rows than BIFF can address.
QByteArray BiffWorksheet(const StringGrid& grid);

// Write the grid to path; throw a QuvarError naming the file on any failure, leaving an
// old file as it was.
void SaveGridAsBiffFile(const StringGrid& grid, const QString& path);
void SaveGridAsXlsxFile(const StringGrid& grid, const QString& sheetName, const QString& path);

// The major version of the spreadsheet writer: 12 (the Office Open XML workbook of Excel
// 2007 and later), as libxlsxwriter is always there.
int ExcelVersion();

enum class SpreadsheetFormat { Xlsx, Biff };

struct SpreadsheetSaveTarget {
    SpreadsheetFormat Format;
    QString Path; // with the extension of its format
};

// The extension the save dialog proposes: ".xlsx" when version is above 11, else ".xls".
QString ProposedSpreadsheetExtension(int version);
// Where and how a name chosen in the save dialog is written. Without a spreadsheet writer
// (version 0) always as BIFF with ".xls"; otherwise an ".xls" or ".xlsx" name keeps its
// type, and any other name takes the type of the filter chosen.
SpreadsheetSaveTarget SpreadsheetSaveTargetFor(int version, const QString& chosen,
                                               SpreadsheetFormat chosenFilter);
// name with its extension (if any, after the last "/") replaced by extension.
QString ReplaceExtension(const QString& name, const QString& extension);
