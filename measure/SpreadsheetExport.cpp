#include "SpreadsheetExport.h"

#include "XlsxWriterLibrary.h"
#include "platform/Errors.h"
#include "platform/NumberFormat.h"
#include "platform/SafeFile.h"
#include "platform/TextCodec.h"

#include <QFile>
#include <QFileInfo>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

bool IsAsciiDigit(QChar ch) {
    return ch >= u'0' && ch <= u'9';
}

// The text after an optional leading "-".
QStringView Unsigned(const QString& text) {
    QStringView view(text);
    return view.startsWith(u'-') ? view.sliced(1) : view;
}

void AppendWord(QByteArray& stream, int value) {
    const auto word = uint16_t(value);
    stream.append(char(word & 0xFF));
    stream.append(char(word >> 8));
}

void AppendDouble(QByteArray& stream, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        stream.append(char((bits >> (8 * i)) & 0xFF));
}

// Windows-1252 by character: a character beyond the 16-bit range is one "?" too.
QByteArray LabelBytes(const QString& text) {
    QString chars;
    chars.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            chars += u'?';
            ++i;
        } else {
            chars += text[i];
        }
    }
    return EncodeWindows1252(chars);
}

// Office Open XML cells hold at most this many characters.
constexpr qsizetype XlsxMaxTextLength = 32767;

QByteArray XlsxText(const QString& text) {
    if (text.size() <= XlsxMaxTextLength)
        return text.toUtf8();
    // Counted in characters; a pair of surrogates is one.
    qsizetype units = 0;
    for (qsizetype chars = 0; chars < XlsxMaxTextLength && units < text.size(); ++chars)
        units += text[units].isHighSurrogate() && units + 1 < text.size() ? 2 : 1;
    return text.left(units).toUtf8();
}

struct WorkbookCloser {
    void operator()(lxw_workbook* workbook) const { XlsxWriter()->workbook_close(workbook); }
};

} // namespace

bool IsIntegerText(const QString& text) {
    const QStringView digits = Unsigned(text);
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), IsAsciiDigit);
}

bool IsDecimalText(const QString& text) {
    const QStringView body = Unsigned(text);
    if (body.isEmpty())
        return false;
    int separators = 0;
    for (QChar ch : body) {
        if (ch == u',' || ch == u'.')
            ++separators;
        else if (!IsAsciiDigit(ch))
            return false;
    }
    return separators <= 1;
}

std::optional<double> CellNumber(const QString& text) {
    if (!IsIntegerText(text) && !IsDecimalText(text))
        return std::nullopt;
    // A lone separator, or a "," (not our decimal sign), is no number: written as the
    // text the user sees rather than as a number it might not mean.
    return ParseFloat(text, u'.');
}

QString ExcelCellName(int row, int column) {
    QString letters;
    for (int n = column; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters + QString::number(row);
}

void WriteBiffNumber(QByteArray& stream, int column, int row, double value) {
    AppendWord(stream, 0x0203);
    AppendWord(stream, 14);
    AppendWord(stream, row);
    AppendWord(stream, column);
    AppendWord(stream, 0);
    AppendDouble(stream, value);
}

void WriteBiffLabel(QByteArray& stream, int column, int row, const QString& value) {
    constexpr qsizetype MaxLabelBytes = 255;
    const QByteArray bytes = LabelBytes(value).left(MaxLabelBytes);
    AppendWord(stream, 0x0204);
    AppendWord(stream, int(bytes.size()) + 8);
    AppendWord(stream, row);
    AppendWord(stream, column);
    AppendWord(stream, 0);
    AppendWord(stream, int(bytes.size()));
    stream.append(bytes);
}

QByteArray BiffWorksheet(const StringGrid& grid) {
    if (grid.RowCount() > BiffMaxRows)
        throw QuvarError(QStringLiteral("An .xls file holds at most %1 rows; this list has %2. "
                                        "Save it as an .xlsx file.")
                             .arg(BiffMaxRows)
                             .arg(grid.RowCount()));
    QByteArray stream;
    stream.reserve(22 + qsizetype(grid.RowCount()) * grid.ColCount() * 20);
    static const char bof[] = {0x09, 0x08, 0x08, 0x00, 0x00, 0x00,
                               0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
    stream.append(bof, sizeof bof);
    // CODEPAGE 1252 (every BIFF version has it, before the cells): the labels are
    // Windows-1252 bytes, and a reader that does not guess fails on "µ" without it.
    static const char codepage[] = {0x42, 0x00, 0x02, 0x00, char(0xE4), 0x04};
    stream.append(codepage, sizeof codepage);
    for (int column = 0; column < grid.ColCount(); ++column)
        for (int row = 0; row < grid.RowCount(); ++row) {
            const QString& text = grid.Cells(column, row);
            if (const auto number = CellNumber(text))
                WriteBiffNumber(stream, column, row, *number);
            else
                WriteBiffLabel(stream, column, row, text);
        }
    static const char eof[] = {0x0A, 0x00, 0x00, 0x00};
    stream.append(eof, sizeof eof);
    return stream;
}

void SaveGridAsBiffFile(const StringGrid& grid, const QString& path) {
    WriteFileSafely(path, BiffWorksheet(grid));
}

void SaveGridAsXlsxFile(const StringGrid& grid, const QString& sheetName, const QString& path) {
    const XlsxWriterCalls* xlsx = XlsxWriter();
    if (!xlsx)
        throw QuvarError(UnableToWriteMessage(path) +
                         QStringLiteral(": the library that writes .xlsx files (libxlsxwriter) "
                                        "is not installed. Save it as an .xls file."));
    SafeFileReplace replace(path);
    const QByteArray temp = QFile::encodeName(replace.tempPath());
    std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(xlsx->workbook_new(temp.constData()));
    if (!workbook)
        throw QuvarError(UnableToWriteMessage(path));
    lxw_worksheet* sheet =
        xlsx->workbook_add_worksheet(workbook.get(), sheetName.toUtf8().constData());
    if (!sheet)
        throw QuvarError(UnableToWriteMessage(path));
    for (int row = 0; row < grid.RowCount(); ++row)
        for (int column = 0; column < grid.ColCount(); ++column) {
            const QString& text = grid.Cells(column, row);
            lxw_error error = LXW_NO_ERROR;
            if (const auto number = CellNumber(text))
                error = xlsx->worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(column),
                                                     *number, nullptr);
            else if (!text.isEmpty())
                error = xlsx->worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column),
                                                     XlsxText(text).constData(), nullptr);
            if (error != LXW_NO_ERROR)
                throw QuvarError(UnableToWriteMessage(path) + QStringLiteral(": ") +
                                 QString::fromUtf8(xlsx->lxw_strerror(error)));
        }
    const lxw_error closed = xlsx->workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR)
        throw QuvarError(UnableToWriteMessage(path) + QStringLiteral(": ") +
                         QString::fromUtf8(xlsx->lxw_strerror(closed)));
    replace.commit();
}

int ExcelVersion() {
    return 12;
}

QString ProposedSpreadsheetExtension(int version) {
    return version > 11 ? QStringLiteral(".xlsx") : QStringLiteral(".xls");
}

QString ReplaceExtension(const QString& name, const QString& extension) {
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot > slash ? name.left(dot) : name) + extension;
}

SpreadsheetSaveTarget SpreadsheetSaveTargetFor(int version, const QString& chosen,
                                               SpreadsheetFormat chosenFilter) {
    const QString xls = QStringLiteral(".xls");
    const QString xlsx = QStringLiteral(".xlsx");
    if (version == 0)
        return {SpreadsheetFormat::Biff, ReplaceExtension(chosen, xls)};
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    SpreadsheetFormat format = chosenFilter;
    if (suffix == u"xls")
        format = SpreadsheetFormat::Biff;
    else if (suffix == u"xlsx")
        format = SpreadsheetFormat::Xlsx;
    return {format, ReplaceExtension(chosen, format == SpreadsheetFormat::Biff ? xls : xlsx)};
}
