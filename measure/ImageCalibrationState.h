#pragma once
// The image comment against the measuring window's state: filling the two sections from
// the system in use, reading a loaded comment into the image's own record (-1), and the
// decision, on every load, whether the calibration comes from the comment, is assumed
// from the image's width, or is unknown.

#include "measure/MainFields.h"
#include "measure/ObjectivePanel.h"

// Section 1 into SystemCommentLines, from the system in use, CurrentCalibration and
// SampleDate, with the two location lines given.
void FillSystemComment(TMainFields& Main, const QString& line1, const QString& line2);
// Section 2 into MCSystemCommentLines.
void FillMCSystemComment(TMainFields& Main);
// CommentLines := the two sections as stored; returns the comment text for `CommentMemo`.
QString AssembleCommentLines(TMainFields& Main);

// Reads the MC-system section of CommentLines. Only a section read whole is taken: record
// -1, ImageObjective and ImageCalibration are replaced, record -1 becomes the system in use
// and its panel is laid out. Otherwise nothing changes and the result is false.
bool ReadMCSystemSection(TMainFields& Main, McPanelView& view);

enum class CommentReading {
    Corrupt,       // a line of the system section is missing or its date malformed
    NoCalibration, // the system section was read, the MC-system section was not
    Calibration,   // both sections were read
};
// Reads a comment of the current layout: the optional user comment, the system section
// (locations and sample date), then the MC-system section.
CommentReading ReadCommentList(TMainFields& Main, McPanelView& view);

// Recognises the layout of CommentLines and reads it. A corrupt comment shows "QUVAR
// information in image is corrupt.\n\rSelect an MC-system manually." True only when the
// image's calibration was taken from the comment.
bool ParseImageComment(TMainFields& Main, McPanelView& view);

// Record -1 becomes a one-objective "Unknown" system for the image on display (state 3);
// the window shows the panel returned.
ObjectivePanel MakeSimpleSystem(TMainFields& Main);

// Run right after OriginalImage and CommentLines were loaded: calibration from the
// comment (state 3), else assumed from a configured system of the image's width (state 2,
// the first in table order; the label turns red when several match), else unknown (4).
void DecideImageCalibration(TMainFields& Main, McPanelView& view);

// Run after the work image was rebuilt for display: the warning on an assumed system,
// the switch to "Unknown" for an unknown one, the label colour.
void FinishImageCalibration(TMainFields& Main, McPanelView& view);
