#pragma once
// The rules of a recording as plain functions: the settings dialog's item lists, the
// timing of normal video and time lapse, the AVI size, the names of the video and of its
// frame files, and when a recording has reached its duration.

#include "video/RecordingSettings.h"

#include <QDate>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace recording {

// Item lists of the settings dialog; the stored settings hold indexes into them.
QStringList FPSItems();      // normal video, frames per second
QStringList TLFPSItems();    // time lapse playback, frames per second
QStringList IntervalItems(); // time lapse capture interval
QStringList TimeUnitItems(); // unit of the interval
QStringList SizeItems();     // video size
QString NoCompressionItem();

} // namespace recording

struct TRecordingPlan {
    int FrameRate = 0;          // frames per second of the file
    int FrameTimeMs = 0;        // the writer's frame time
    int64_t IntervalMs = 0;     // the timer's period
    int64_t RecordDuration = 0; // seconds
    int64_t PlannedFrames = 0;
};

// Throws std::invalid_argument with a message for the user when an index selects no item or
// the plan would give a timer period of 0 ms or beyond the timer's range.
TRecordingPlan PlanRecording(const TRecordingSettings& settings);

// True once the elapsed time has passed the duration (the tick that sees it stops).
bool RecordingDurationReached(int64_t record_duration_s, int64_t elapsed_ms);

// AVI size by the size item; no selection gives 640 x 640.
QSize AviSizeForIndex(int size_index);

// "Video_" + yyyy-mm-dd + "_" + at least five digits + ".avi".
QString ProposedVideoName(const QDate& date, int avi_nr);
// The counter after a Start: 99999 wraps to 0.
int NextAVINr(int avi_nr);
// The first counter value from avi_nr on (wrapping after 99999) whose proposed name names
// no entry of folder: a recording never replaces an earlier video. avi_nr itself when every
// number is taken.
int FreeAVINr(const QString& folder, const QDate& date, int avi_nr);

// Frame file of a frame-file recording: the video name without its extension + "-" + the
// tick number with at least six digits + ".bmp".
QString FrameFileName(const QString& video_file_name, int tick_count);
// The frame files among file_names (of a folder listing, in any order) in the order of their
// tick numbers; other files are left out.
QStringList FrameFilesInTickOrder(const QStringList& file_names);
