#pragma once
// Automatic names for new images, the folder a command starts in, the path the save dialog
// proposes and the dialogs' filters: the rules of opening and saving, without any widget,
// so the measuring window only asks and shows.
//
// Folder choice: 0 photo folder, 1 selected folder, 2 alternative folder.
// Naming kind: 0 photo folder, 2 selected folder, 3 alternative folder (the selected
// folder when the alternative one is empty).
// Folders are written with "/" and without a trailing separator.

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

// The first number from the folder's file count + 1 on that no file name holds as "_"
// followed by the number written with at least four digits ("_0007", "_10000"). A missing
// folder counts as empty, so its first number is 1. Never returns a taken number, also
// above 9999.
int NextFreeFileNumber(const QString& folder);

// What an automatic name is made of; the window fills it from its current state.
struct AutoNameInputs {
    int NamingScheme = 0;     // 0 to 4; anything else counts as 0
    QString Folder;           // the folder of the naming kind
    QDate SampleDate;         // an invalid date is written as 1899-12-30, as in the comment
    double Magnification = 0; // of the current objective
    QString ObjectiveLabel;   // of the current objective, as typed
    QString SampleName;
    int FileCounter = 0; // below 0 counts as 0
    QString Extension;   // without the dot, in its own case
};

// The full path of a new image, with nnnn the next free number of the folder and cccc the
// file counter, both with at least four digits:
//   0  Folder/2024-05-17_40X_nnnn.ext          3  Folder/SampleName_cccc.ext
//   1  Folder/2024-05-17_nnnn.ext              4  Folder/SampleName_label_cccc.ext
//   2  Folder/cccc.ext
// Each part taken from user text is passed through SanitizeFileName, so a sample name or a
// label such as "40x/0.65" stays inside the folder.
QString MakeAutoFileName(const AutoNameInputs& inputs);

// The file counter after a saved image: one up, and 0 after the largest int, so a counter
// read from a settings file at the top of its range wraps as the snapshot counter does
// instead of overflowing. A counter below 0 starts again at 1.
int NextFileCounter(int counter);

// The open command: the menu item's Tag before the held keys, Ctrl before Alt.
int OpenFolderChoice(int tag, bool ctrl, bool alt);
// The save command: the menu item's Tag over the held keys, Alt over Ctrl.
int SaveFolderChoice(int tag, bool ctrl, bool alt);
// The naming kind that belongs to a folder choice.
int NamingKindForChoice(int choice);
// The folder a naming kind names its files in.
QString NamingFolder(int kind, const QString& photoFolder, const QString& selectedFolder,
                     const QString& alternativeFolder);

// Save As gives the current image a new automatic name first when it has none yet or is a
// new picture (image state 1).
bool NeedsNewAutoName(const QString& currentFileName, int imageState);

// What Save As proposes: a new automatic name of a naming kind, or a folder followed by
// the file-name part of the current file name.
enum class ProposalKind { AutoName, FolderAndName };
struct SaveProposal {
    ProposalKind Kind = ProposalKind::AutoName;
    int NamingKind = 0; // with AutoName
    QString Folder;     // with FolderAndName
};

//   choice            image state 3 or 4          image state 0 to 2
//   0 photo           auto name, kind 0           photo folder / name
//   1 selected        selected folder / name      selected folder / name
//   2 alternative     alternative folder / name   auto name, kind 3
// Any other choice counts as 0.
SaveProposal ProposeSave(int choice, int imageState, const QString& photoFolder,
                         const QString& selectedFolder, const QString& alternativeFolder);

// The proposal as a path; makeAutoName gives the automatic name of a naming kind.
QString ProposedSavePath(int choice, int imageState, const QString& currentFileName,
                         const QString& photoFolder, const QString& selectedFolder,
                         const QString& alternativeFolder,
                         const std::function<QString(int kind)>& makeAutoName);

// The dialogs' filters in Qt's "Caption (pattern pattern)" form; save filter indices
// below count from 1: 1 All Files, 2 bmp, 3 jpg, 4 png, 5 tif, 6 tiff.
QStringList OpenDialogFilters();
QStringList SaveDialogFilters();

// The save filter of an extension, compared exactly ("JPG" is none of them); current when
// there is none.
int SaveFilterIndexForExtension(const QString& extension, int current);

// name (a path or a file name) with the extension of save filter 2 to 6 in place of its
// own, or added when it has none; any other filter leaves name as it is. A dot in a folder
// name or at the start of the file name does not begin an extension.
QString NameForSaveFilter(const QString& name, int filterIndex);
