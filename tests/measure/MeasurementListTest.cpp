#include "measure/MeasurementList.h"
#include "measure/SpreadsheetExport.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The list of the usual morning: two values per row, five lengths.
TLBFormFields FiveLengthsInTwoColumns() {
    TLBFormFields list;
    list.FillRow = 1; // opened
    for (const char* value : {"10.5", "20", "30.25", "40", "50"})
        list.AddMeasurement(QString::fromLatin1(value));
    return list;
}

// Every cell of the grid, row by row, "|" between cells and "/" after each row.
QString Layout(const StringGrid& grid) {
    QString text;
    for (int row = 0; row < grid.RowCount(); ++row) {
        for (int column = 0; column < grid.ColCount(); ++column)
            text += (column ? QStringLiteral("|") : QString()) + grid.Cells(column, row);
        text += u'/';
    }
    return text;
}

// One BIFF record as read back from the bytes.
struct Record {
    int Type;
    QByteArray Body;
};

int Word(const QByteArray& bytes, qsizetype at) {
    return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8;
}

std::vector<Record> Records(const QByteArray& bytes) {
    std::vector<Record> records;
    qsizetype at = 0;
    while (at + 4 <= bytes.size()) {
        const int type = Word(bytes, at);
        const int length = Word(bytes, at + 2);
        EXPECT_LE(at + 4 + length, bytes.size()) << "record " << records.size() << " cut off";
        records.push_back({type, bytes.mid(at + 4, length)});
        at += 4 + length;
    }
    EXPECT_EQ(at, bytes.size()) << "bytes after the last record";
    return records;
}

double Double(const QByteArray& body, qsizetype at) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | uint8_t(body[at + i]);
    return std::bit_cast<double>(bits);
}

// A cell record as "row,column:N=value" or "row,column:L=text" (text as Latin-1 bytes).
std::string CellOf(const Record& record) {
    const int row = Word(record.Body, 0);
    const int column = Word(record.Body, 2);
    EXPECT_EQ(Word(record.Body, 4), 0) << "format index";
    std::string text = std::to_string(row) + "," + std::to_string(column) + ":";
    if (record.Type == 0x0203) {
        EXPECT_EQ(record.Body.size(), 14);
        return text + "N=" + QString::number(Double(record.Body, 6), 'g', 17).toStdString();
    }
    EXPECT_EQ(record.Type, 0x0204);
    const int n = Word(record.Body, 6);
    EXPECT_EQ(record.Body.size(), n + 8);
    return text + "L=" + record.Body.mid(8).toStdString();
}

} // namespace

TEST(MeasurementText, IntegerAndDecimalTestsAndTheNumberWritten) {
    struct Case {
        const char* text;
        bool integer;
        bool decimal;
        std::optional<double> number;
    };
    const Case cases[] = {
        {"12", true, true, 12},
        {"-3", true, true, -3},
        {"12.5", false, true, 12.5},
        {"-0.25", false, true, -0.25},
        {".5", false, true, 0.5},
        {"5.", false, true, 5},
        {"1,5", false, true, std::nullopt}, // "," is not our decimal sign
        {".", false, true, std::nullopt},   // passes the test, is no number
        {"-.", false, true, std::nullopt},
        {"-", false, false, std::nullopt},
        {"", false, false, std::nullopt},
        {"1.2.3", false, false, std::nullopt},
        {"1.5,2", false, false, std::nullopt},
        {"12.5 µm", false, false, std::nullopt},
        {" 12", false, false, std::nullopt}, // blanks make it a text
        {"+12", false, false, std::nullopt},
        {"1E5", false, false, std::nullopt},
        {"XX", false, false, std::nullopt},
        {"١٢", false, false, std::nullopt}, // digits of another script
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsIntegerText(text), c.integer);
        EXPECT_EQ(IsDecimalText(text), c.decimal);
        EXPECT_EQ(CellNumber(text), c.number);
    }
    // Too many digits for a double: a text, never infinity.
    EXPECT_EQ(CellNumber(QString(400, u'9')), std::nullopt);
}

TEST(MeasurementText, ExcelCellNames) {
    struct Case {
        int row, column;
        const char* name;
    };
    for (const Case& c : std::initializer_list<Case>{
             {1, 1, "A1"}, {4, 3, "C4"}, {10000, 6, "F10000"}, {2, 26, "Z2"}, {3, 27, "AA3"}})
        EXPECT_EQ(ExcelCellName(c.row, c.column), QString::fromLatin1(c.name));
}

TEST(MeasurementList, FiveLengthsInTwoColumnsRemoveAndAddAgain) {
    TLBFormFields list = FiveLengthsInTwoColumns();
    EXPECT_EQ(list.FillRow, 3);
    EXPECT_EQ(list.FillColumn, 2);
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1|Col 2/1|10.5|20/2|30.25|40/3|50|/"));

    list.RemoveLastMeasurement();
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1|Col 2/1|10.5|20/2|30.25|40/3||/"));
    EXPECT_EQ(list.FillColumn, 1);
    list.AddMeasurement(QStringLiteral("55"));
    EXPECT_EQ(list.Grid.Cells(1, 3), QStringLiteral("55"));

    // Back over a row boundary: the emptied row goes, the last column of the row before
    // is the next cell.
    list.RemoveLastMeasurement(); // 55
    list.RemoveLastMeasurement(); // 40
    EXPECT_EQ(list.FillRow, 2);
    EXPECT_EQ(list.FillColumn, 2);
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1|Col 2/1|10.5|20/2|30.25|/"));
}

TEST(MeasurementList, RemoveOnAnEmptyListAndWithOneColumn) {
    TLBFormFields list;
    list.FillRow = 1;
    list.RemoveLastMeasurement();
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1|Col 2/1||/"));
    list.AddMeasurement(QStringLiteral("7"));
    EXPECT_EQ(list.Grid.Cells(1, 1), QStringLiteral("7"));

    list.SetColumnsPerRow(1);
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1/1|/"));
    for (const char* value : {"1", "2", "3"})
        list.AddMeasurement(QString::fromLatin1(value));
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1/1|1/2|2/3|3/4|/"));
    list.RemoveLastMeasurement();
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1/1|1/2|2/3|/"));
    EXPECT_EQ(list.FillRow, 3);
    for (int i = 0; i < 4; ++i)
        list.RemoveLastMeasurement();
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1/1|/"));
    EXPECT_EQ(list.FillRow, 1);
}

TEST(MeasurementList, ClearKeepsTheTitlesAndColumnsPerRowResetsThem) {
    TLBFormFields list = FiveLengthsInTwoColumns();
    list.SetTitlesFromText(QStringLiteral("Length ; Width"));
    list.ClearMeasurements();
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Length|Width/1||/"));
    EXPECT_EQ(list.FillRow, 1);
    EXPECT_EQ(list.FillColumn, 1);

    list.AddMeasurement(QStringLiteral("1"));
    list.SetColumnsPerRow(3);
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1|Col 2|Col 3/1|||/"));
    EXPECT_EQ(list.ColumnsPerRow, 3);
    EXPECT_EQ(list.FillRow, 1);
}

TEST(MeasurementList, ANewListStartsAtRowOneWhateverOpenedIt) {
    TLBFormFields list;
    EXPECT_EQ(list.FillRow, -1) << "not opened yet";
    EXPECT_EQ(Layout(list.Grid), QStringLiteral("Nr|Col 1|Col 2/1||/"));
    list.AddMeasurement(QStringLiteral("4"));
    EXPECT_EQ(list.Grid.Cells(1, 1), QStringLiteral("4"));
    EXPECT_EQ(list.FillRow, 1);
}

TEST(MeasurementList, TitlesSplitOnSemicolons) {
    struct Case {
        const char* text;
        const char* titles; // "|" between the three titles
    };
    const Case cases[] = {
        {"Col 1 ; Col 2 ; Col 3 ; ", "Col 1|Col 2|Col 3"},
        {"Length;Width;Angle", "Length|Width|Angle"},
        {"  a  ;b", "a|b|"},
        {"", "||"},
        {"a;b;c;d;e", "a|b|c"},
        {";;x", "||x"},
    };
    for (const Case& c : cases) {
        TLBFormFields list;
        list.SetColumnsPerRow(3);
        EXPECT_EQ(list.TitlesText(), QStringLiteral("Col 1 ; Col 2 ; Col 3 ; "));
        list.SetTitlesFromText(QString::fromLatin1(c.text));
        EXPECT_EQ(list.Grid.Cells(1, 0) + u'|' + list.Grid.Cells(2, 0) + u'|' +
                      list.Grid.Cells(3, 0),
                  QString::fromLatin1(c.titles))
            << c.text;
    }
}

// A save drops the empty last row; the next value must still get a row of its own.
TEST(MeasurementList, AfterASaveDroppedTheLastRowTheNextValueGrowsTheGrid) {
    TLBFormFields list = FiveLengthsInTwoColumns();
    list.AddMeasurement(QStringLiteral("60")); // row 3 complete, row 4 empty
    list.DropEmptyLastRow();
    EXPECT_EQ(list.Grid.RowCount(), 4);
    list.AddMeasurement(QStringLiteral("70"));
    EXPECT_EQ(Layout(list.Grid),
              QStringLiteral("Nr|Col 1|Col 2/1|10.5|20/2|30.25|40/3|50|60/4|70|/"));

    // A row with a value only in a later column is not empty.
    list.Grid.SetCell(1, 4, QString());
    list.Grid.SetCell(2, 4, QStringLiteral("typed"));
    list.DropEmptyLastRow();
    EXPECT_EQ(list.Grid.RowCount(), 5);
}

TEST(Biff, TheFileOfAListByteByByte) {
    TLBFormFields list = FiveLengthsInTwoColumns();
    list.Grid.SetCell(2, 2, QString::fromUtf8("12.5 µm")); // edited by the user
    list.DropEmptyLastRow();
    const QByteArray bytes = BiffWorksheet(list.Grid);

    EXPECT_EQ(bytes.left(12), QByteArray::fromHex("090808000000100000000000"));
    // CODEPAGE: Windows-1252, the labels' bytes.
    EXPECT_EQ(bytes.mid(12, 6), QByteArray::fromHex("42000200e404"));
    EXPECT_EQ(bytes.right(4), QByteArray::fromHex("0a000000"));
    const std::vector<Record> records = Records(bytes);
    ASSERT_EQ(records.size(), 2 + 4 * 3 + 1u);
    std::vector<std::string> cells;
    for (size_t i = 2; i + 1 < records.size(); ++i)
        cells.push_back(CellOf(records[i]));
    const std::vector<std::string> expected = {
        "0,0:L=Nr",    "1,0:N=1",    "2,0:N=2",          "3,0:N=3",  // column-major
        "0,1:L=Col 1", "1,1:N=10.5", "2,1:N=30.25",      "3,1:N=50", //
        "0,2:L=Col 2", "1,2:N=20",   "2,2:L=12.5 \xB5m", "3,2:L=",
    };
    EXPECT_EQ(cells, expected);
}

TEST(Biff, LabelsThatAreNoNumbersLongLabelsAndOtherCharacters) {
    StringGrid grid(1, 8);
    const QString texts[] = {QStringLiteral("."),      QStringLiteral("-."), QStringLiteral("1,5"),
                             QStringLiteral("-"),      QStringLiteral("XX"), QString(300, u'a'),
                             QString::fromUtf8("α😀€"), QStringLiteral("-3")};
    for (int row = 0; row < 8; ++row)
        grid.SetCell(0, row, texts[row]);
    const std::vector<Record> records = Records(BiffWorksheet(grid));
    ASSERT_EQ(records.size(), 11u);
    EXPECT_EQ(CellOf(records[2]), "0,0:L=.");
    EXPECT_EQ(CellOf(records[3]), "1,0:L=-.");
    EXPECT_EQ(CellOf(records[4]), "2,0:L=1,5");
    EXPECT_EQ(CellOf(records[5]), "3,0:L=-");
    EXPECT_EQ(CellOf(records[6]), "4,0:L=XX");
    EXPECT_EQ(CellOf(records[7]), "5,0:L=" + std::string(255, 'a')) << "cut at BIFF's limit";
    EXPECT_EQ(CellOf(records[8]), "6,0:L=??\x80") << "one ? per character, € is 80";
    EXPECT_EQ(CellOf(records[9]), "7,0:N=-3");
}

TEST(Biff, RowsBeyondWhatBiffAddressesAreRefused) {
    StringGrid grid(2, BiffMaxRows);
    EXPECT_NO_THROW(BiffWorksheet(grid));
    grid.SetRowCount(BiffMaxRows + 1);
    try {
        BiffWorksheet(grid);
        FAIL() << "no error";
    } catch (const QuvarError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("65536"))) << error.what();
    }
}

TEST(SpreadsheetFiles, AFailedSaveLeavesTheOldFileAndNamesTheFile) {
    QTemporaryDir folder;
    StringGrid grid(2, 2);
    grid.SetCell(0, 0, QStringLiteral("Nr"));
    for (const bool xlsx : {false, true}) {
        SCOPED_TRACE(xlsx ? "xlsx" : "xls");
        // A folder in the way: the rename over it fails.
        const QString blocked = folder.filePath(xlsx ? "blocked.xlsx" : "blocked.xls");
        ASSERT_TRUE(QDir().mkdir(blocked));
        ASSERT_TRUE(WriteFile(blocked + QStringLiteral("/inside"), "kept"));
        try {
            if (xlsx)
                SaveGridAsXlsxFile(grid, QStringLiteral("Measurements"), blocked);
            else
                SaveGridAsBiffFile(grid, blocked);
            FAIL() << "no error";
        } catch (const QuvarError& error) {
            EXPECT_TRUE(error.message().contains(blocked)) << error.what();
        }
        EXPECT_TRUE(QFile::exists(blocked + QStringLiteral("/inside")));
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList())
            << "no temporary file left";

        // A folder that does not exist.
        const QString nowhere = folder.filePath("none/list.xls");
        EXPECT_THROW(xlsx ? SaveGridAsXlsxFile(grid, QStringLiteral("Measurements"), nowhere)
                          : SaveGridAsBiffFile(grid, nowhere),
                     QuvarError);
    }

    // An old file is replaced whole.
    const QString old = folder.filePath("old.xls");
    ASSERT_TRUE(WriteFile(old, QByteArray(5000, 'x')));
    SaveGridAsBiffFile(grid, old);
    QFile written(old);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), BiffWorksheet(grid));
}

// The workbook as another program reads it: Python's zip reader and the sheet's XML.
TEST(SpreadsheetFiles, TheXlsxAsPythonReadsIt) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed: the .xlsx is not read back";
    QTemporaryDir folder;
    TLBFormFields list = FiveLengthsInTwoColumns();
    list.SetTitlesFromText(QString::fromUtf8("Länge ; Breite"));
    list.Grid.SetCell(2, 2, QString::fromUtf8("12.5 µm"));
    list.Grid.SetCell(1, 2, QStringLiteral("."));
    list.DropEmptyLastRow();
    const QString path = folder.filePath("Measurements.xlsx");
    SaveGridAsXlsxFile(list.Grid, QStringLiteral("Measurements"), path);

    // Prints the sheet names, then each cell as "A1 n 1" (number) or "A1 s text".
    const char* script = R"(
import sys, zipfile, xml.etree.ElementTree as ET
ns = {'m': 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'}
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
wb = ET.fromstring(z.read('xl/workbook.xml'))
print('sheets', ','.join(s.get('name') for s in wb.find('m:sheets', ns)))
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    for si in ET.fromstring(z.read('xl/sharedStrings.xml')).findall('m:si', ns):
        shared.append(''.join(t.text or '' for t in si.iter('{%s}t' % ns['m'])))
sheet = ET.fromstring(z.read('xl/worksheets/sheet1.xml'))
for c in sheet.iter('{%s}c' % ns['m']):
    t = c.get('t')
    if t == 's':
        print(c.get('r'), 's', shared[int(c.find('m:v', ns).text)])
    elif t == 'inlineStr':
        print(c.get('r'), 's', ''.join(x.text or '' for x in c.iter('{%s}t' % ns['m'])))
    else:
        print(c.get('r'), 'n', repr(float(c.find('m:v', ns).text)))
)";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromUtf8(script), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.readAllStandardError(), QByteArray()) << "no warning";
    const QString expected = QString::fromUtf8("sheets Measurements\n"
                                               "A1 s Nr\nB1 s Länge\nC1 s Breite\n"
                                               "A2 n 1.0\nB2 n 10.5\nC2 n 20.0\n"
                                               "A3 n 2.0\nB3 s .\nC3 s 12.5 µm\n"
                                               "A4 n 3.0\nB4 n 50.0\n");
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), expected);
}

namespace {

// The .xls of the list used by the two outside readers below: titles and a label with
// characters beyond ASCII, a "." that stays a label, an empty cell.
QString SavedBiffList(const QTemporaryDir& folder) {
    TLBFormFields list = FiveLengthsInTwoColumns();
    list.SetTitlesFromText(QString::fromUtf8("Länge ; Breite"));
    list.Grid.SetCell(2, 2, QString::fromUtf8("12.5 µm"));
    list.Grid.SetCell(1, 2, QStringLiteral("."));
    list.DropEmptyLastRow();
    const QString path = folder.filePath("Measurements.xls");
    SaveGridAsBiffFile(list.Grid, path);
    return path;
}

} // namespace

// xlrd takes the labels' code page from the file and guesses nothing.
TEST(SpreadsheetFiles, TheXlsAsXlrdReadsIt) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QProcess probe;
    if (!python.isEmpty())
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import xlrd")});
    if (python.isEmpty() || !probe.waitForFinished(30000) || probe.exitCode() != 0)
        GTEST_SKIP() << "python3 with xlrd (python3-xlrd) is not installed: the .xls is not "
                        "read back";
    QTemporaryDir folder;
    const QString path = SavedBiffList(folder);
    // Prints the encoding, then each cell as "A1 n 1.0" (number) or "A1 s text".
    const char* script = R"(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
print('encoding', book.encoding)
sheet = book.sheet_by_index(0)
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        name = 'ABCDEF'[c] + str(r + 1)
        if cell.ctype == xlrd.XL_CELL_NUMBER:
            print(name, 'n', repr(cell.value))
        else:
            print(name, 's', cell.value)
)";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromUtf8(script), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QString expected = QString::fromUtf8("encoding cp1252\n"
                                               "A1 s Nr\nB1 s Länge\nC1 s Breite\n"
                                               "A2 n 1.0\nB2 n 10.5\nC2 n 20.0\n"
                                               "A3 n 2.0\nB3 s .\nC3 s 12.5 µm\n"
                                               "A4 n 3.0\nB4 n 50.0\nC4 s \n");
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), expected);
}

// LibreOffice converts the worksheet to UTF-8 text.
TEST(SpreadsheetFiles, TheXlsAsLibreOfficeReadsIt) {
    QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed: the .xls is not converted";
    QTemporaryDir folder;
    const QString path = SavedBiffList(folder);
    QProcess process;
    // A profile of its own: no first-start dialogs, no lock on the user's.
    process.start(office, {QStringLiteral("-env:UserInstallation=file://") + folder.path() +
                               QStringLiteral("/profile"),
                           QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                           QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                           QStringLiteral("--outdir"), folder.path(), path});
    ASSERT_TRUE(process.waitForFinished(180000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QFile csv(folder.filePath("Measurements.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << process.readAllStandardOutput().toStdString();
    EXPECT_EQ(QString::fromUtf8(csv.readAll()),
              QString::fromUtf8("Nr,Länge,Breite\n1,10.5,20\n2,.,12.5 µm\n3,50,\n"));
}

TEST(SpreadsheetFiles, TheDialogsProposalAndTheFormatOfTheNameChosen) {
    EXPECT_EQ(ProposedSpreadsheetExtension(0), QStringLiteral(".xls"));
    EXPECT_EQ(ProposedSpreadsheetExtension(11), QStringLiteral(".xls"));
    EXPECT_EQ(ProposedSpreadsheetExtension(12), QStringLiteral(".xlsx"));
    EXPECT_EQ(ProposedSpreadsheetExtension(ExcelVersion()), QStringLiteral(".xlsx"));

    using F = SpreadsheetFormat;
    struct Case {
        int version;
        const char* chosen;
        F filter;
        F format;
        const char* path;
    };
    const Case cases[] = {
        {0, "/d/Measurements.xlsx", F::Xlsx, F::Biff, "/d/Measurements.xls"},
        {0, "/d/list", F::Xlsx, F::Biff, "/d/list.xls"},
        {12, "/d/list.xls", F::Xlsx, F::Biff, "/d/list.xls"},
        {12, "/d/list.XLSX", F::Biff, F::Xlsx, "/d/list.xlsx"},
        {12, "/d/list", F::Xlsx, F::Xlsx, "/d/list.xlsx"},
        {12, "/d/list.csv", F::Biff, F::Biff, "/d/list.xls"},
        {12, "/d.x/list", F::Biff, F::Biff, "/d.x/list.xls"},
    };
    for (const Case& c : cases) {
        const auto target =
            SpreadsheetSaveTargetFor(c.version, QString::fromLatin1(c.chosen), c.filter);
        EXPECT_EQ(target.Format, c.format) << c.chosen;
        EXPECT_EQ(target.Path, QString::fromLatin1(c.path)) << c.chosen;
    }
}
