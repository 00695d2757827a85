#pragma once
// The measurement list window. The measuring tools send their values here while the list
// is active: one row per measurement, its cells in order.

#include <QDialog>
#include <QStringList>

#include <vector>

class TLBForm : public QDialog {
public:
    explicit TLBForm(QWidget* parent = nullptr);

    // Whether measured values go to the list.
    bool IsListActive() const { return active_; }
    void SetListActive(bool active) { active_ = active; }
    // The number of the row the next measurement fills, from 1.
    int CurrentRow() const { return int(rows_.size()) + 1; }
    // Adds a row with the cells given (values already formatted).
    void AddMeasurement(const QStringList& cells) { rows_.push_back(cells); }
    const std::vector<QStringList>& Rows() const { return rows_; }

private:
    bool active_ = false;
    std::vector<QStringList> rows_;
};

inline TLBForm* LBForm = nullptr;
