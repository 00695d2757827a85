#include "SaveWithOptionsDialog.h"

#include "imaging/AutoFileName.h"
#include "measure/MainFields.h"
#include "measure/McSystemAccess.h"
#include "platform/Errors.h"
#include "platform/Prompts.h"
#include "settings/MainSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QPushButton* MakeButton(const char* text) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    // Enter in the search text or a list must not close the dialog.
    button->setAutoDefault(false);
    return button;
}

void ShowError(const QString& text) {
    AppPrompts().Message(QStringLiteral("QUVAR"), text, MessageIcon::Error);
}

void FillList(QListWidget* list, const QStringList& items) {
    list->clear();
    for (const QString& text : items) {
        auto* item = new QListWidgetItem(text, list);
        item->setToolTip(text);
    }
}

QString SelectedText(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

} // namespace

TSaveWithOptions::TSaveWithOptions(TMainFields* main, QWidget* parent)
    : QDialog(parent), main_(main) {
    setObjectName(QStringLiteral("SaveWithOptions"));
    setWindowTitle(QStringLiteral("QUVAR Save With Options"));

    DatabaseBox = new QComboBox;
    SearchEdit = new QLineEdit;
    ClearSearchText = MakeButton("Clear Search Text");
    UseSearchName = MakeButton("Use Search Text in Filename");
    AddToDB = MakeButton("Add Search Name to Database");
    Names = new QListWidget;
    RecentBox = new QListWidget;
    RecentBoxSorted = new QListWidget;
    SortRecentNames = new QCheckBox(QStringLiteral("Sort Recent Names"));
    ClearRecentNames = MakeButton("Clear Recent Names");
    IncludeDate = new QCheckBox(QStringLiteral("Include Sample Date"));
    IncludeDate->setChecked(true);
    IncludeMag = new QCheckBox(QStringLiteral("Incude Magnification"));
    IncludeMag->setChecked(true);
    DatePicker = new QDateEdit;
    DatePicker->setCalendarPopup(true);
    DatePicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    ImageExtBox = new QComboBox;
    ImageExtBox->addItems({QStringLiteral("bmp"), QStringLiteral("jpg"), QStringLiteral("png"),
                           QStringLiteral("tif"), QStringLiteral("tiff")});
    SugestedFileName = new QLineEdit;
    SugestedFileName->setReadOnly(true);
    Directory = new QLineEdit;
    Directory->setReadOnly(true);
    UseOpenDir = new QCheckBox(QStringLiteral("Save Image in Selected Folder"));
    LocationEdit1 = new QLineEdit;
    LocationEdit2 = new QLineEdit;
    CommentMemo = new QPlainTextEdit;
    CommentMemo->setReadOnly(true);
    CommentMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    CommentMemo->setFixedHeight(CommentMemo->fontMetrics().lineSpacing() * 4 + 14);
    SaveWithName = MakeButton("Save with this name");
    Rename = MakeButton("Rename original file");
    Cancel = MakeButton("Cancel");
    RecentBoxSorted->hide();

    // Names: database, search and the names found.
    auto* namesBox = new QGroupBox(QStringLiteral("Name Database"));
    auto* namesLayout = new QVBoxLayout(namesBox);
    namesLayout->addWidget(DatabaseBox);
    namesLayout->addWidget(new QLabel(QStringLiteral("Search")));
    namesLayout->addWidget(SearchEdit);
    namesLayout->addWidget(ClearSearchText);
    namesLayout->addWidget(UseSearchName);
    namesLayout->addWidget(AddToDB);
    namesLayout->addWidget(Names, 1);

    auto* recentBox = new QGroupBox(QStringLiteral("Recent Names"));
    auto* recentLayout = new QVBoxLayout(recentBox);
    recentLayout->addWidget(RecentBox, 1);
    recentLayout->addWidget(RecentBoxSorted, 1);
    recentLayout->addWidget(SortRecentNames);
    recentLayout->addWidget(ClearRecentNames);

    auto* fileBox = new QGroupBox(QStringLiteral("File"));
    auto* fileLayout = new QGridLayout(fileBox);
    fileLayout->addWidget(IncludeDate, 0, 0, 1, 2);
    fileLayout->addWidget(IncludeMag, 1, 0, 1, 2);
    fileLayout->addWidget(new QLabel(QStringLiteral("Sample Date")), 2, 0);
    fileLayout->addWidget(DatePicker, 2, 1);
    fileLayout->addWidget(new QLabel(QStringLiteral("File Type")), 3, 0);
    fileLayout->addWidget(ImageExtBox, 3, 1);
    fileLayout->addWidget(new QLabel(QStringLiteral("Filename")), 4, 0);
    fileLayout->addWidget(SugestedFileName, 4, 1);
    fileLayout->addWidget(new QLabel(QStringLiteral("Folder")), 5, 0);
    fileLayout->addWidget(Directory, 5, 1);
    fileLayout->addWidget(UseOpenDir, 6, 0, 1, 2);
    fileLayout->addWidget(new QLabel(QStringLiteral("Location")), 7, 0);
    fileLayout->addWidget(LocationEdit1, 7, 1);
    fileLayout->addWidget(new QLabel(QStringLiteral("Coordinates")), 8, 0);
    fileLayout->addWidget(LocationEdit2, 8, 1);
    fileLayout->addWidget(CommentMemo, 9, 0, 1, 2);
    fileLayout->setColumnStretch(1, 1);
    fileLayout->setRowStretch(10, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveWithName);
    buttons->addWidget(Rename);
    buttons->addWidget(Cancel);

    auto* columns = new QHBoxLayout;
    columns->addWidget(namesBox, 3);
    columns->addWidget(recentBox, 2);
    columns->addWidget(fileBox, 4);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
    resize(960, 520);

    connect(DatabaseBox, &QComboBox::activated, this, [this] { DatabaseBoxChange(); });
    connect(SearchEdit, &QLineEdit::textChanged, this, [this] { SearchClick(); });
    connect(ClearSearchText, &QPushButton::clicked, this, [this] { ClearSearchTextClick(); });
    connect(UseSearchName, &QPushButton::clicked, this, [this] { UseSearchNameClick(); });
    connect(AddToDB, &QPushButton::clicked, this, [this] { AddToDBClick(); });
    connect(Names, &QListWidget::itemPressed, this, [this] { NamesClick(); });
    connect(RecentBox, &QListWidget::itemClicked, this, [this] { RecentBoxClick(); });
    connect(RecentBoxSorted, &QListWidget::itemClicked, this, [this] { RecentBoxClick(); });
    connect(SortRecentNames, &QCheckBox::clicked, this, [this] { SortRecentNamesClick(); });
    connect(ClearRecentNames, &QPushButton::clicked, this, [this] { ClearRecentNamesClick(); });
    connect(IncludeDate, &QCheckBox::clicked, this, [this] { NamesClick(); });
    connect(IncludeMag, &QCheckBox::clicked, this, [this] { NamesClick(); });
    connect(ImageExtBox, &QComboBox::activated, this, [this] { NamesClick(); });
    connect(DatePicker, &QDateEdit::dateChanged, this, [this] { NamesClick(); });
    connect(UseOpenDir, &QCheckBox::clicked, this, [this] { UseOpenDirClick(); });
    connect(LocationEdit1, &QLineEdit::textChanged, this, [this] { InsertComment(); });
    connect(LocationEdit2, &QLineEdit::textChanged, this, [this] { InsertComment(); });
    connect(LocationEdit1, &QLineEdit::editingFinished, this, [this] { InsertComment(); });
    connect(LocationEdit2, &QLineEdit::editingFinished, this, [this] { InsertComment(); });
    connect(SaveWithName, &QPushButton::clicked, this, [this] { SaveWithNameClick(); });
    connect(Rename, &QPushButton::clicked, this, [this] { RenameClick(); });
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QListWidget* list : {Names, RecentBox, RecentBoxSorted})
        list->installEventFilter(this);

    FormCreate();
}

void TSaveWithOptions::FormCreate() {
    DatabaseBox->clear();
    if (main_)
        DBSearch(DatabaseFolder(main_->ProgramFolder), QStringLiteral("*.csv"));
    LoadDB(DatabaseBox->currentText());
    SearchEdit->clear();
    SearchClick();
}

void TSaveWithOptions::DBSearch(const QString& folder, const QString& mask) {
    const QStringList found =
        QDir(folder).entryList({mask}, QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    DatabaseBox->addItems(found);
    const QStringList items = [this] {
        QStringList all;
        for (int i = 0; i < DatabaseBox->count(); ++i)
            all.append(DatabaseBox->itemText(i));
        return all;
    }();
    DatabaseBox->setCurrentIndex(ChooseDatabase(items, main_ ? main_->LastUsedDB : QString()));
}

void TSaveWithOptions::LoadDB(const QString& name) {
    if (name.isEmpty() || !main_)
        return;
    try {
        const QStringList lines = ReadNameDatabase(DatabaseFolder(main_->ProgramFolder) + name);
        names_ = namesSorted_ ? SortedNames(lines) : lines;
    } catch (const QuvarError& error) {
        names_.clear();
        ShowError(error.message());
    }
}

void TSaveWithOptions::SearchClick() {
    FillList(Names, FilterNames(names_, SearchEdit->text()));
}

void TSaveWithOptions::InsertComment() {
    static const TMCsystem none;
    const TMCsystem* system = main_ ? CurrentSystem(*main_) : nullptr;
    const TMCsystem& shown = system ? *system : none;
    const QStringList lines =
        SaveOptionsPreview(shown, shown.CurrentObjective, main_ ? main_->CurrentCalibration : 0.0,
                           DatePicker->date(), LocationEdit1->text(), LocationEdit2->text());
    CommentMemo->setPlainText(lines.join(u'\n'));
}

void TSaveWithOptions::AddRecentName(const QString& name) {
    recent_.Add(name);
    ShowRecent();
}

void TSaveWithOptions::ShowRecent() {
    FillList(RecentBox, recent_.Newest);
    FillList(RecentBoxSorted, recent_.Sorted);
}

NameParts TSaveWithOptions::PartsFor(const QString& base) const {
    NameParts parts;
    parts.Base = base;
    parts.IncludeDate = IncludeDate->isChecked();
    parts.Date = DatePicker->date();
    parts.IncludeMag = IncludeMag->isChecked();
    if (const TMCsystem* system = main_ ? CurrentSystem(*main_) : nullptr;
        system && ObjectiveInUse(*system, system->CurrentObjective))
        parts.ObjectiveLabel = system->Objectives[size_t(system->CurrentObjective)].ObjStr;
    parts.Number = NextFreeFileNumber(Directory->text());
    return parts;
}

void TSaveWithOptions::NamesClick() {
    const QString selected = SelectedText(Names);
    const QString base = selected.isEmpty() ? SearchEdit->text() : selected;
    AddRecentName(base);
    SugestedFileName->setText(NameFromDatabase(PartsFor(base)));
    InsertComment();
}

void TSaveWithOptions::RecentBoxClick() {
    const QString base = SelectedText(VisibleRecentBox());
    SearchEdit->setText(base); // filters the database names by it
    SugestedFileName->setText(NameFromRecent(PartsFor(base)));
    InsertComment();
}

void TSaveWithOptions::AddToDBClick() {
    if (!main_)
        return;
    const QString name = DatabaseBox->currentText();
    if (name.isEmpty()) {
        ShowError(QStringLiteral("There is no name database to add to: put a .csv file into "
                                 "%1")
                      .arg(QDir::toNativeSeparators(DatabaseFolder(main_->ProgramFolder))));
        return;
    }
    // The list keeps the added name even when the file cannot take it, so the name can
    // still be picked and a later add writes it with the next one.
    names_ = AddNameSorted(names_, SearchEdit->text());
    namesSorted_ = true;
    SearchClick();
    try {
        WriteNameDatabase(DatabaseFolder(main_->ProgramFolder) + name, names_);
    } catch (const QuvarError& error) {
        ShowError(error.message());
    }
}

void TSaveWithOptions::DatabaseBoxChange() {
    LoadDB(DatabaseBox->currentText());
    SearchEdit->clear();
    SearchClick();
    if (main_)
        main_->LastUsedDB = DatabaseBox->currentText();
}

void TSaveWithOptions::SetDirectory(const QString& folder) {
    Directory->setText(folder);
    Directory->setToolTip(folder);
}

void TSaveWithOptions::UseOpenDirClick() {
    if (!main_)
        return;
    SetDirectory(UseOpenDir->isChecked() ? main_->SelectedFolder : main_->PhotoFolder);
    const FolderLocation location = SplitFolderLocation(Directory->text());
    LocationEdit1->setText(location.Location);
    LocationEdit2->setText(location.Coordinates);
    InsertComment();
}

void TSaveWithOptions::UseSearchNameClick() {
    Names->clearSelection();
    Names->setCurrentItem(nullptr);
    NamesClick();
}

void TSaveWithOptions::ClearSearchTextClick() {
    SearchEdit->clear();
    SearchClick();
}

QListWidget* TSaveWithOptions::VisibleRecentBox() const {
    return SortRecentNames->isChecked() ? RecentBoxSorted : RecentBox;
}

void TSaveWithOptions::SortRecentNamesClick() {
    RecentBox->setVisible(!SortRecentNames->isChecked());
    RecentBoxSorted->setVisible(SortRecentNames->isChecked());
}

void TSaveWithOptions::ClearRecentNamesClick() {
    recent_.Clear();
    ShowRecent();
}

void TSaveWithOptions::SaveWithNameClick() {
    if (SugestedFileName->text().isEmpty()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Invalid filename"),
                             MessageIcon::Warning);
        return;
    }
    accept();
}

void TSaveWithOptions::RenameClick() {
    RenameTag = 1;
    if (SugestedFileName->text().isEmpty()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Invalid filename"),
                             MessageIcon::Warning);
        RenameTag = 0;
        return;
    }
    accept();
}

void TSaveWithOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSaveWithOptions::FormShow() {
    SugestedFileName->clear();
    Rename->hide();
    RenameTag = 0;
    if (main_) {
        SetDirectory(main_->PhotoFolder);
        if (main_->ImageState < ImageFromComment) {
            LocationEdit1->setText(main_->PhotoLocation);
            LocationEdit2->setText(main_->PhotoCoordinates);
        } else {
            Rename->show();
            LocationEdit1->setText(main_->ImageLocation);
            LocationEdit2->setText(main_->ImageCoordinates);
            if (UseOpenDir->isChecked())
                SetDirectory(main_->SelectedFolder);
        }
        const QSignalBlocker quiet(DatePicker);
        DatePicker->setDate(main_->NewSampleDate.isValid() ? main_->NewSampleDate
                                                           : QDate::currentDate());
    }
    InsertComment();
    SearchEdit->setFocus();
}

bool TSaveWithOptions::eventFilter(QObject* watched, QEvent* event) {
    auto* list = qobject_cast<QListWidget*>(watched);
    if (!list)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn && list->count() > 0) {
        list->setCurrentRow(0);
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (list == Names)
                NamesClick();
            else
                RecentBoxClick();
            SaveWithName->setFocus();
            return true;
        }
        if (key == Qt::Key_Tab && list == Names) {
            VisibleRecentBox()->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
