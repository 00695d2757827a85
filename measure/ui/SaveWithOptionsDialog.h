#pragma once
// Saving an image under a name built from a name database, the sample date, the objective
// label and a free number, with the two location lines of the comment. The dialog builds
// the name; the measuring window saves.

#include "imaging/SaveOptionsNames.h"
#include "platform/ui/WindowOnFirstUse.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
struct TMainFields;

class TSaveWithOptions : public QDialog {
public:
    // main: the measuring window's state, read for folders, locations, dates and the
    // objective, and written for LastUsedDB.
    explicit TSaveWithOptions(TMainFields* main = nullptr, QWidget* parent = nullptr);

    void FormCreate();
    void FormShow();
    void DBSearch(const QString& folder, const QString& mask);
    void LoadDB(const QString& name);
    void SearchClick();
    void InsertComment();
    void AddRecentName(const QString& name);
    void NamesClick();
    void RecentBoxClick();
    void AddToDBClick();
    void DatabaseBoxChange();
    void UseOpenDirClick();
    void UseSearchNameClick();
    void ClearSearchTextClick();
    void SortRecentNamesClick();
    void ClearRecentNamesClick();
    void SaveWithNameClick();
    void RenameClick();

    // The names of the chosen database.
    const QStringList& NameList() const { return names_; }
    const RecentNames& Recent() const { return recent_; }

    QComboBox* DatabaseBox;
    QLineEdit* SearchEdit;
    QPushButton* ClearSearchText;
    QPushButton* UseSearchName;
    QPushButton* AddToDB;
    QListWidget* Names;
    QListWidget* RecentBox;
    QListWidget* RecentBoxSorted;
    QCheckBox* SortRecentNames;
    QPushButton* ClearRecentNames;
    QCheckBox* IncludeDate;
    QCheckBox* IncludeMag;
    QDateEdit* DatePicker;
    QComboBox* ImageExtBox;
    QLineEdit* SugestedFileName;
    QLineEdit* Directory;
    QCheckBox* UseOpenDir;
    QLineEdit* LocationEdit1;
    QLineEdit* LocationEdit2;
    QPlainTextEdit* CommentMemo;
    QPushButton* SaveWithName;
    QPushButton* Rename;
    QPushButton* Cancel;
    int RenameTag = 0; // 1 when the dialog was closed with "Rename original file"

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* VisibleRecentBox() const;
    NameParts PartsFor(const QString& base) const;
    void SetDirectory(const QString& folder);
    void ShowRecent();

    TMainFields* main_;
    QStringList names_;
    bool namesSorted_ = false; // once a name was added, the list stays sorted and unique
    RecentNames recent_;
};

inline TWindowOnFirstUse<TSaveWithOptions> SaveWithOptions;
