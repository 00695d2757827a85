#pragma once
// The rules by which the measuring window takes over a capture that arrived in the watched
// camera folder: which reports and files count, which file to take, the name it gets in
// "Unprocessed", and a move that never loses it.

#include <QDateTime>
#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>

// A change that brings a file into the folder: "New" and "New name".
bool IsArrivalAction(uint8_t action);

// ".jpg", ".tif", ".tiff", ".bmp" or ".png" in any case (not ".jpeg", not ".gif").
bool IsCaptureFileName(const QString& fileName);

// Whether the file at path, reported as arrived, is a capture to take: a capture file name,
// and after following a link a regular file that is not empty. Another file beside it (a
// camera's RAW file, a text file) is never taken in its place.
bool IsArrivedCapture(const QString& path);

// "YYYYMMDD_HHMMSS-<system>-<objective label>-<arrived name>"; the system name and the
// label are made safe as file-name parts, so a "/" in a label cannot send the file elsewhere.
QString CapturedFileName(const QDateTime& now, const QString& systemName,
                         const QString& objectiveLabel, const QString& arrivedName);

// name, cut to the longest name folder's file system takes (keeping the extension), when
// folder holds no entry of that name; else with "_2", "_3", ... before its extension: two
// captures in one second must not overwrite each other.
QString FreeFileName(const QString& folder, const QString& name);

// The subfolder of the camera folder that keeps a capture which could not be moved on: the
// purges of the camera folder delete only its own files.
inline constexpr const char* NotMovedFolderName = "Not moved";

struct CaptureMove {
    QString Target; // the path the file now has in folder; empty when it was not moved
    QString Error;  // why not, and where the capture is kept, for the user
};

// Moves source into folder (created with its parents) under FreeFileName(folder, name); a
// copy across file systems is complete before the source goes, and a link's content becomes
// a new file. A capture that cannot be moved is kept in the "Not moved" subfolder of its own
// folder under its own name (or, when even that fails, where it was).
CaptureMove MoveCaptureInto(const QString& source, const QString& folder, const QString& name);

// Writes the comment into a moved capture as its type keeps one: a JPEG's COM segment
// rewritten in place, a PNG's text chunk, a TIFF's description, a BMP's side file (PNG, TIFF
// and BMP are written anew from bitmap, losslessly). Throws a QuvarError naming the file.
void WriteCaptureComment(const QString& fileName, const QImage& bitmap,
                         const QStringList& commentLines);

// The filters of the dialog that searches "Unprocessed", "All" first.
QStringList GrabbedImageDialogFilters();

// Capture width / image width, and 1 when the system has no capture width (or the image
// no width).
double CaptureWidthRatioOf(int captureWidth, int imageWidth);
// The system label warns of a capture of another width than the system's, but not for
// the "Unknown" system; a system without capture width warns too.
bool CaptureWidthWarning(int captureWidth, int imageWidth, const QString& systemName);
