#pragma once
// The rules of "Save With Options": name databases (plain text files, one name per line, in
// the folder "Databases" of the program folder), the search filter, the recent names, the
// two name layouts, the comment preview and the removal of a renamed original. No widgets:
// the dialog only shows what these compute.

#include "settings/MCSystems.h"

#include <QDate>
#include <QString>
#include <QStringList>

// The folder of the name databases, with "/" at its end.
QString DatabaseFolder(const QString& programFolder);

// The search filter, ASCII letters compared ignoring case:
//   empty search          every non-empty name passes;
//   search without blank  the name contains the search text;
//   "w rest"              the name starts with w and " rest" (from the first blank on)
//                         first occurs in it at an index of 2 or more.
bool NamePassesSearch(const QString& name, const QString& search);
// The names that pass, sorted alphabetically ignoring case.
QStringList FilterNames(const QStringList& names, const QString& search);

// names sorted alphabetically ignoring case, a name equal to an earlier one (ignoring case)
// left out: the order and content of a database once a name was added to it.
QStringList SortedNames(const QStringList& names);
// names with name added, sorted and without duplicates.
QStringList AddNameSorted(const QStringList& names, const QString& name);

// The file names (without folder) of the "*.csv" files of folder, folders left out, by
// name ignoring case.
QStringList FindDatabases(const QString& folder);
// The database to select: the one named lastUsed (compared exactly), else the first; -1
// when there is none.
int ChooseDatabase(const QStringList& databases, const QString& lastUsed);

// The lines of a database file, each read as UTF-8 when valid, else as Windows-1252; a line
// break at the end starts no further line. Throws a QuvarError naming the file when it
// cannot be read.
QStringList ReadNameDatabase(const QString& path);
// Writes every name followed by CR LF (Windows-1252 when every character fits, else UTF-8)
// through a temporary file; throws "Unable to write to <path>", the old file unchanged (also
// when the old file is marked read-only).
void WriteNameDatabase(const QString& path, const QStringList& names);

// The names used recently while the program runs, in two orders.
struct RecentNames {
    QStringList Newest; // newest first
    QStringList Sorted; // alphabetically, ignoring case
    // A name already among them (compared exactly) changes nothing.
    void Add(const QString& name);
    void Clear();
};

// What a suggested file name is built from.
struct NameParts {
    QString Base;
    bool IncludeDate = true;
    QDate Date; // an invalid date is written as 1899-12-30, as in the comment
    bool IncludeMag = true;
    QString ObjectiveLabel;
    int Number = 1; // written with at least four digits
};
// A name picked from the database: base_date_label_nnnn.
QString NameFromDatabase(const NameParts& parts);
// A recent name: base_label_date_nnnn.
QString NameFromRecent(const NameParts& parts);

// The four preview lines of the comment: the two location lines, "SampleDate = " with the
// date, and the system line of the comment's first section.
QStringList SaveOptionsPreview(const TMCsystem& system, int objective, double micrometresPerPixel,
                               const QDate& date, const QString& location1,
                               const QString& location2);

enum class RenameResult {
    Removed,    // the old file is gone, the new one is in its place
    SameFile,   // the new path names the old file: nothing to remove
    NoOldFile,  // there was no old file
    NotRemoved, // the old file could not be removed: both exist
    NoNewFile,  // the new file is missing or empty: the old file is kept
};
// Removes oldPath after a save to newPath, only when newPath is a complete file and is not
// the same file as oldPath (compared as canonical paths, so "a/../b.jpg" or a link to the
// old file count as the same).
RenameResult RemoveRenamedOriginal(const QString& oldPath, const QString& newPath);
