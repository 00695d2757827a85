#pragma once
// Opening and saving images against the measuring window's state: automatic names from the
// system in use, taking a file's image and comment in, and writing the work image with a
// comment regenerated from the state. No widgets: the window runs the dialogs.

#include "measure/MainFields.h"

#include <QImage>
#include <QString>
#include <QStringList>

// The full path for a new image by the current naming scheme, in the folder of the
// naming kind (0 photo, 2 selected, 3 alternative folder).
QString MakeAutoFileName(const TMainFields& Main, int kind);

// An image file read whole, before anything of the state changes.
struct ImageFileContent {
    QImage Image; // 24-bit
    QStringList Comment;
};
// Throws a QuvarError naming the file when it is missing, unreadable or no picture.
ImageFileContent ReadImageFile(const QString& path);

// The image of a file read becomes the image on display: file name and extensions, the
// image in both sizes, the comment as loaded (the sections it is read into are emptied),
// the sample date of new photos and the location lines from the selected folder's name
// (My Pictures + "/QUVAR/FromCamera", created, when that folder is missing); a comment
// read afterwards overrides the date and the locations.
void TakeOpenedImage(TMainFields& Main, const QString& path, ImageFileContent content);

// The image files of path's folder, by name, and the index of path among them (case
// ignored; -1 when absent), for browsing with Space and Backspace.
void ListFolderImages(TMainFields& Main, const QString& path);

// Writes the work image to path with the comment regenerated from the state now (the
// image's own locations once it has a calibration of its own, else those of new photos)
// and counts the file counter up. Returns the comment text. A path of a type that no
// writer handles is refused before anything changes; a failed write changes nothing but
// the comment lists. Throws a QuvarError that names the file.
QString SaveWorkImageAs(TMainFields& Main, const QString& path);

// Throws a QuvarError naming path when no writer handles its type, before anything is
// written or changed.
void RefuseUnsavableType(const QString& path);

// Save With Options: the typed locations become the image's own (image state above 2) or
// those of new photos; then the work image is written to path with the comment
// regenerated from the state, its location lines commentLine1 and commentLine2. The file
// counter stays. Refused as RefuseUnsavableType; a failed write throws a QuvarError that
// names the file. Returns the comment text.
QString SaveWorkImageWithOptions(TMainFields& Main, const QString& path, const QString& location,
                                 const QString& coordinates, const QString& commentLine1,
                                 const QString& commentLine2);

// The comment lists filled from the state and assembled for storing; returns its text.
QString FillCommentForSaving(TMainFields& Main, const QString& line1, const QString& line2);
