#pragma once
// The AVI of a frame-file recording: the frame files of the folder "temp" assembled in the
// order of their tick numbers (a folder listing's order is no order on most file systems),
// and the emptying of that folder before the next recording.

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class TAviWriter_2;

// Deletes every file of folder, leaving subfolders. Refuses (false, nothing deleted) a
// folder that is a symbolic link or not a folder; true also when some file could not go.
bool DeleteFolderFiles(const QString& folder);

// A frame file's frame for the writer: as it is (24 bits) when its width is the AVI width,
// whatever its height; else resized bilinearly to the AVI size.
QImage FrameFileAtAviSize(const QImage& frame, QSize avi_size);

// Sets the writer up as a recording does (the compressor is the caller's), adds every frame
// file of folder in tick order and finishes the file; progress gets the number of frames
// added so far. Returns that number: 0 when the folder holds no frame file, and then no file
// is written. A frame file that does not load throws, after the frames before it have been
// finished into the file.
int BuildAVIFromFrames(TAviWriter_2& writer, const QString& folder, QSize avi_size,
                       int frame_time_ms, const QString& file_name,
                       const std::function<void(int frames)>& progress = {});

// A frame-file recording is marked unfinished in its folder (a hidden file named after it)
// from its start until its AVI has been assembled; a crash leaves the mark, and the frames
// of a finished recording, kept until the next one starts, have none. name is the frame
// files' common name: the video name without its extension.
bool MarkRecordingUnfinished(const QString& folder, const QString& name);
void MarkRecordingFinished(const QString& folder, const QString& name);

// The recordings marked unfinished whose frame files folder holds, in name order.
QStringList UnfinishedRecordings(const QString& folder);

// The AVI that the frames of an unfinished recording become: name + ".avi" in avi_folder,
// or when a file of that name exists, name + " (2).avi", " (3)" and so on: never a file
// that exists.
QString RecoveredVideoName(const QString& avi_folder, const QString& name);

// Assembles the frame files of every unfinished recording in folder into its own AVI in
// avi_folder (RecoveredVideoName), as BuildAVIFromFrames does, and marks it finished; the
// frame files stay. Returns the files written. Throws as BuildAVIFromFrames, the recording
// then still marked unfinished.
QStringList RecoverUnfinishedRecordings(TAviWriter_2& writer, const QString& folder,
                                        const QString& avi_folder, QSize avi_size,
                                        int frame_time_ms);
