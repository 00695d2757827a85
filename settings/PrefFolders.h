#pragma once
// The folder rules of the Preferences dialog: the photo folder's name built from the
// sample's location, coordinates and date and read back from a chosen folder, where the
// folder choosers start, and the checks that keep the camera folder (whose pictures the
// DSLR hand-off deletes) apart from the photo folder.

#include <QDate>
#include <QString>

#include <optional>

// The location, then " #" and the coordinates when there are any, then " $" and the date
// (yyyy-mm-dd) unless ignoreDate. The result is one folder name: characters that no file
// system takes in a name ("/" among them) become "_", and line breaks blanks.
QString BuildPhotoFolderName(const QString& location, const QString& coordinates, const QDate& date,
                             bool ignoreDate);

// What a photo folder's last name component says about the sample.
struct PhotoFolderNameParts {
    QString Location;
    QString Coordinates;
    bool HasDate = false;      // the name holds a "$"
    QString DateText;          // the text after the first "$"
    std::optional<QDate> Date; // that text as a date, when it is one
    bool operator==(const PhotoFolderNameParts&) const = default;
};

// The text after the first "$" is the date and the name is cut before it; then the text
// before the first "#" is the location and the text after it the coordinates, or, without
// "#", the whole name is the location. Parts are taken as they stand, blanks included.
PhotoFolderNameParts ParsePhotoFolderName(const QString& folder);

// The message for a "$" text that is not a date.
QString NotADateMessage(const QString& text);

// True when photo names the camera folder or a folder inside it, as the file system
// resolves them (links, "..", a trailing "/"): the camera folder is emptied, so pictures
// kept there would be lost. A camera folder inside the photo folder is harmless, as the
// emptying goes no deeper than the camera folder's own files. Empty paths never match.
bool PhotoFolderInCameraFolder(const QString& photo, const QString& camera);

// The warnings of the folder choosers.
QString PhotoFolderIsCameraFolderWarning();
QString CameraFolderNotEmptyWarning();

// Where the photo-folder chooser opens: photoFolder when it exists, otherwise "QUVAR" under
// My Pictures, created with its parents.
QString PhotoFolderBrowseStart(const QString& photoFolder);
// Where the camera-folder chooser opens: watchFolder when it exists, otherwise My Pictures.
QString CameraFolderBrowseStart(const QString& watchFolder);

// True when a camera folder may be taken: it holds no file (subfolders do not count).
bool CameraFolderIsEmpty(const QString& folder);

// The folder CreatePhotoFolder makes: name made a valid folder name, inside parent.
QString NewFolderPath(const QString& parent, const QString& name);

// Creates name inside parent (with any missing parents) and gives the new folder's path;
// nothing when it cannot be created. An empty name gives parent itself.
std::optional<QString> CreatePhotoFolder(const QString& parent, const QString& name);
