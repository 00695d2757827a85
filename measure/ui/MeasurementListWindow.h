#pragma once
// The measurement list window ("Measurements"): shows the list the measuring tools fill
// while it is active, lets the user edit values and column titles, take back the last
// value, clear the list and save it as a spreadsheet file.

#include "measure/MeasurementList.h"
#include "platform/ui/WindowOnFirstUse.h"

#include <QDialog>
#include <QIcon>
#include <QStringList>

#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class MeasurementGridModel;

class TLBForm : public QDialog, public TLBFormFields {
public:
    explicit TLBForm(QWidget* parent = nullptr);
    ~TLBForm() override;

    bool IsListActive() const { return ListActive; }
    // Also ticks the check box and colours the label.
    void SetListActive(bool active);
    int CurrentRow() const { return FillRow; }
    // Also shows it in CountEdit.
    void SetCurrentRow(int row);
    // One value, already formatted.
    void AddMeasurement(const QString& value);
    // The values of one measurement, in order.
    void AddMeasurement(const QStringList& values);
    // The value rows of the grid, without the row numbers.
    std::vector<QStringList> Rows() const;

    void FormCreate();
    void RemoveClick();
    void ClearListClick();
    void SaveListClick();
    void HideListWindowClick();
    void CloseListWindowClick();
    void KolSpinClick();
    // A press on the cell (column, row); row 0 is the title row.
    void MGridMouseDown(int column, int row);
    void ActiveClick() {}
    void ActiveLabelClick() {}

    // The grid as a workbook of one sheet; false after the failure message.
    bool SaveGridViaExcel(const QString& sheetName, const QString& fileName);
    // The grid as a BIFF worksheet, after the overwrite question; false when not saved.
    bool SaveGridAsBiff(const QString& fileName);

    QTableView* MGrid;
    QSpinBox* KolSpin;
    QLineEdit* SpinEdit;
    QLabel* CountLabel;
    QLineEdit* CountEdit;
    QCheckBox* Active;
    QLabel* ActiveLabel;
    QPushButton* Remove;
    QPushButton* SaveList;
    QPushButton* ClearList;
    QPushButton* HideListWindow;
    QPushButton* CloseListWindow;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The grid, the row count and the column widths as the fields have them.
    void ShowList();
    void ApplyColumnWidths();

    MeasurementGridModel* model_;
};

inline TWindowOnFirstUse<TLBForm> LBForm;

// The major version of the spreadsheet writer found at the last save; 0 when none.
inline int SpreadsheetVersion = 0;

// The glyph of the measuring window's list button.
QIcon MakeListGlyph(bool active);
