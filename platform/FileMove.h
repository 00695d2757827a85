#pragma once
// Moving a file that must not be lost on the way, possibly to another file system: no file
// leaves its folder before its copy is complete, nothing is replaced at the target, and a
// symbolic link is never written through.

#include <QString>

// Moves source to target; an existing target is never replaced. Within one file system this
// is a rename. Across file systems, and always for a symbolic link (neither the link nor the
// file it points to goes anywhere: its content becomes a new regular file), the content is
// copied to a temporary file in target's folder, flushed, and then given target's name; only
// then is source removed. Anything but a regular file (after following a link) is refused.
// On failure no partial copy is left and source stays; throws a QuvarError
// "Cannot move <source> to <target>: <reason>".
void MoveFileSafely(const QString& source, const QString& target);

// The longest file name folder's file system takes, in bytes of the file-name encoding.
int FileNameLimit(const QString& folder);

// name cut to at most limitBytes bytes of the file-name encoding, keeping its extension (the
// part from the last ".") and whole characters; name itself when it fits.
QString FitFileName(const QString& name, int limitBytes);
