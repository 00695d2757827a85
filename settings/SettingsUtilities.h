#pragma once
// Small routines shared by the settings code and the windows: file and folder tests,
// listings, special folders, the folder chooser, the silenceable warning, the float parser
// that takes either decimal separator, the byte clamp and time-stamp names.
//
// Folder listings hold files only (never a directory, whatever its attributes) and come
// sorted by name without regard to case, so their order is the same on every file system.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Shell folder numbers the program asks for.
constexpr int SpecialFolderMyPictures = 39;
constexpr int SpecialFolderMyVideos = 14;

// 255 above 255, 0 below 0, else v.
uint8_t ClampByte(int v);

// True when path names an entry that is not a directory.
bool IsExistingFile(const QString& path);

// Replaces each of " * / : < > ? \ | and each control character by "_" in a file name
// (without its folder), so the name is valid on every file system the pictures may be
// copied to.
void SanitizeFileName(QString& fileName);

// The "QUVAR Warning" box with "Don't show this window again": true only when closed
// with OK while the box was ticked.
bool WarnWithDontShowAgain(const QString& text);

// Appends folder + name for every file of folder whose name ends in ".jpg", ".bmp",
// ".png", ".tif" or ".tiff" (any case). folder may end with "/" or not.
void ListImageFiles(const QString& folder, QStringList& list);

// The path of My Pictures or My Videos; with create set the folder is created when
// missing. Empty for any other number, or when the folder cannot be created.
QString GetSpecialFolder(int folderNumber, bool create);

// Parses "2.5" and "2,5" alike; a text with neither separator parses with ".". Throws
// QuvarError for a text that is not a number, also for one holding both separators.
double StrToFloatAnySeparator(const QString& text);

// The folder chooser, opened on startFolder when that is not empty. Empty when cancelled
// or when the choice is not an existing folder.
QString BrowseForFolder(const QString& title, const QString& startFolder, bool allowNewFolder);

// Number of files of folder (hidden ones included); 0 for a missing folder.
int CountFiles(const QString& folder);

// Appends the name (not the path) of every file of folder.
void ListFileNames(const QString& folder, QStringList& list);

// The name of the last file of folder, in listing order, that is not empty; empty text
// when there is none.
QString LastNonEmptyFileName(const QString& folder);

// "yyyymmdd_hhmmss" of the given local time, e.g. 20240517_143005.
QString TimeStampName(const QDateTime& now);

// A folder that emptying the camera folder must never touch, with the words that name it
// in a message ("your Documents folder").
struct ProtectedFolder {
    QString Path;
    QString Description;
};

// The user's home and standard folders (Desktop, Documents, Downloads, Music, Pictures,
// Videos), the photo folder and the program folder; empty paths are left out.
std::vector<ProtectedFolder> ProtectedFolders(const QString& photoFolder,
                                              const QString& programFolder);

// Why folder must not be emptied, as a sentence for the user, or empty text when it may
// be: it is, or contains, one of the protected folders. Paths are compared as the file
// system resolves them (links, "..", a trailing "/").
QString WatchFolderPurgeRefusal(const QString& folder,
                                const std::vector<ProtectedFolder>& protectedFolders);

struct WatchFolderPurge {
    int Deleted = 0;
    QString Refusal; // not empty when the folder was left alone on purpose
};

// Deletes the image files (the types the capture hand-off takes: ".jpg", ".tif", ".tiff",
// ".bmp", ".png", any case) at the top level of the watched camera folder; a symbolic link
// is removed itself, never followed, and every other entry stays. It stops at the first
// file that cannot be deleted. Nothing is deleted when folder is missing or when
// WatchFolderPurgeRefusal refuses it for ProtectedFolders: a watch folder set to one of
// the user's folders by mistake must not cost the user their files.
WatchFolderPurge EmptyWatchFolder(const QString& folder, const QString& photoFolder,
                                  const QString& programFolder);
