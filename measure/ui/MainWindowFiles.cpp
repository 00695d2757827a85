// The measuring window's open and save commands: the dialogs and the order of the steps;
// the rules are in imaging/AutoFileName and measure/ImageFileCommands.

#include "MainWindow.h"
#include "SaveWithOptionsDialog.h"
#include "imaging/AutoFileName.h"
#include "imaging/SaveOptionsNames.h"
#include "measure/DisplaySizes.h"
#include "measure/ImageCalibrationState.h"
#include "measure/ImageFileCommands.h"
#include "measure/WorkImageRebuild.h"
#include "platform/Prompts.h"
#include "settings/SettingsUtilities.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>

namespace {

bool HeldNow(Qt::KeyboardModifier key) {
    // The keys as they are at the moment of the command, not as some event saw them.
    return QGuiApplication::queryKeyboardModifiers().testFlag(key);
}

QString FolderOf(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absolutePath());
}

} // namespace

void TMain::Display(const QString& text) {
    setWindowTitle(text);
}

QString TMain::MakeAutoFileName(int kind) const {
    return ::MakeAutoFileName(*this, kind);
}

void TMain::OpenImageClick(int tag) {
    CancelMode();
    const int choice =
        OpenFolderChoice(tag, HeldNow(Qt::ControlModifier), HeldNow(Qt::AltModifier));
    const QString start = choice == 1   ? SelectedFolder
                          : choice == 2 ? AlternativeFolder
                                        : PhotoFolder;
    FileDialogRequest request;
    request.caption = QStringLiteral("Open");
    request.folder = start;
    request.filters = OpenDialogFilters();
    request.defaultSuffix = OpenedExtension;
    request.imagePreview = true;
    const auto chosen = AppPrompts().OpenFile(request);
    if (!chosen || chosen->path.isEmpty())
        return;
    if (choice == 1)
        SelectedFolder = FolderOf(chosen->path);
    else if (choice == 2)
        AlternativeFolder = FolderOf(chosen->path);
    LoadImageFile(chosen->path);
}

void TMain::LoadImageFile(const QString& path) {
    // Read first: a file that cannot be read leaves the image, its name and its comment
    // as they were, and the error names the file.
    ImageFileContent content = ReadImageFile(path);
    CancelMode();
    if (!BrowsingFolder)
        ListFolderImages(*this, path);
    SetMCLabelWarning(false);
    CommentMemo->clear();
    if (NrOfMCSystems == 0)
        AppPrompts().Message(QStringLiteral("Warning"),
                             QStringLiteral("You have to create at least ONE MCsystem in "
                                            "preferences\n\rand calibrate it for proper "
                                            "operation of QUVAR!"),
                             MessageIcon::Warning);
    TakeOpenedImage(*this, path, std::move(content));
    Display(path);
    DecideImageCalibration(*this, *this);
    const bool fit = BrowsingFolder && OriginalImage.height() > ImageAreaSize().height();
    FotoSize->setCurrentIndex(fit ? FotoSizeFitToWindow : FotoSizeOriginal);
    FormUpdate(RebuildNewImage);
    FinishImageCalibration(*this, *this);
}

void TMain::SaveImageAsClick(int tag) {
    if (OriginalImage.isNull())
        return;
    if (AlternativeFolder.isEmpty())
        AlternativeFolder =
            GetSpecialFolder(SpecialFolderMyPictures, false) + QStringLiteral("/QUVAR");
    const int choice =
        SaveFolderChoice(tag, HeldNow(Qt::ControlModifier), HeldNow(Qt::AltModifier));
    const int kind = NamingKindForChoice(choice);
    if (NeedsNewAutoName(CurrentFileName, ImageState))
        CurrentFileName = MakeAutoFileName(kind);
    const QString proposed =
        ProposedSavePath(choice, ImageState, CurrentFileName, PhotoFolder, SelectedFolder,
                         AlternativeFolder, [this](int k) { return MakeAutoFileName(k); });
    SaveFilterIndex = SaveFilterIndexForExtension(SaveExtension, SaveFilterIndex);

    FileDialogRequest request;
    request.caption = QStringLiteral("Save Image As");
    request.folder = FolderOf(proposed);
    request.fileName = proposed;
    request.filters = SaveDialogFilters();
    request.filterIndex = SaveFilterIndex - 1;
    request.defaultSuffix = SaveExtension;
    request.imagePreview = true;
    request.onFilterChange = [this](const QString& typedName, int filterIndex) {
        return SaveDialogTypeChange(typedName, filterIndex + 1);
    };
    QDir::setCurrent(request.folder);
    const auto chosen = AppPrompts().SaveFile(request);
    if (!chosen || chosen->path.isEmpty())
        return;
    if (chosen->filterIndex >= 0)
        SaveFilterIndex = chosen->filterIndex + 1;

    CancelMode();
    BurnInPendingOverlays();
    CommentMemo->setPlainText(SaveWorkImageAs(*this, chosen->path));
    Display(chosen->path);
    if (choice == 2)
        AlternativeFolder = FolderOf(chosen->path);
}

QString TMain::SaveDialogTypeChange(const QString& typedName, int filterIndex) const {
    // Only the name is written back: the folder stays the one the dialog shows.
    return QFileInfo(NameForSaveFilter(typedName, filterIndex)).fileName();
}

void TMain::SaveUseOptionsClick() {
    if (OriginalImage.isNull() || !SaveWithOptions)
        return;
    TSaveWithOptions& dialog = *SaveWithOptions;
    dialog.setWindowTitle(windowTitle());
    dialog.Directory->setText(dialog.UseOpenDir->isChecked() ? SelectedFolder : PhotoFolder);
    dialog.ImageExtBox->setCurrentIndex(
        dialog.ImageExtBox->findText(OpenedExtension, Qt::MatchFixedString));
    dialog.Rename->setVisible(ImageState > ImageFreshCapture);
    if (dialog.exec() != QDialog::Accepted)
        return;

    QString name = dialog.SugestedFileName->text();
    SanitizeFileName(name);
    dialog.SugestedFileName->setText(name);
    const QString path = QDir::cleanPath(dialog.Directory->text() + u'/' + name) + u'.' +
                         dialog.ImageExtBox->currentText();
    // Before the question and before anything is written: with no type there is nothing
    // to save, and so nothing may be renamed either.
    RefuseUnsavableType(path);
    if (IsExistingFile(path) &&
        AppPrompts().Ask(QStringLiteral("Confirm"),
                         QStringLiteral("The file exists. Do you want to overwrite this file?"),
                         AskButtons::YesNo) != Answer::Yes)
        return;

    CancelMode();
    BurnInPendingOverlays();
    const QStringList memo = dialog.CommentMemo->toPlainText().split(u'\n');
    CommentMemo->setPlainText(SaveWorkImageWithOptions(*this, path, dialog.LocationEdit1->text(),
                                                       dialog.LocationEdit2->text(), memo.value(0),
                                                       memo.value(1)));
    // The old file is the image's own, not the caption, which may show a proposed name.
    if (dialog.RenameTag == 1 &&
        RemoveRenamedOriginal(CurrentFileName, path) == RenameResult::NotRemoved)
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("Could not delete old file. Duplicate with new name "
                                            "is created"),
                             MessageIcon::Warning);
    Display(path);
}
