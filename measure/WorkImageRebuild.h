#pragma once
// Rebuilding the work image from the original image for the display size in use, and the
// whole-image edits that go with it. No widgets: the window passes the size of its image
// area and shows the result.

#include "MainFields.h"

#include <QSize>

// The rebuild modes callers pass; every other value behaves as RebuildPlain.
enum RebuildMode : int {
    RebuildPlain = 1,       // key 1
    RebuildAreaAverage = 2, // key 2: a second, area-averaged pass
    RebuildRedraw = 3,      // clear, size change, rotation, undo of a crop
    RebuildNewImage = 4,    // loading, capture, paste, made permanent: restarts CropHistory
    RebuildAfterCrop = 5,
    RebuildCropCancelled = 8,
    RebuildAfterExposure = 9,
};

// Resamples the original image into a new work image of the size the display-size item
// gives on a box of imageArea, restarts the annotation history with it, and in
// RebuildNewImage mode restarts the crop history with the original. False (and nothing
// changed) when there is no original image; a QuvarError naming the size, with nothing
// changed, when no bitmap can have that size.
bool RebuildWorkImage(TMainFields& main, int mode, int fotoSizeItem, QSize imageArea);

// "Make Current Image Permanent": the work image with its annotations becomes the new
// original, calibrated as it is measured now (calibrationPerPixel, from the effective
// calibration). The caller then rebuilds in RebuildNewImage mode at original size.
void MakeWorkImagePermanent(TMainFields& main, double calibrationPerPixel);

// Steps the work image or the original image back or forward; false when there is
// nothing to undo or redo, and the image is left as it is.
bool UndoAnnotation(TMainFields& main);
bool RedoAnnotation(TMainFields& main);
bool UndoCropOrExposure(TMainFields& main);

// Rotations of the original image; the calibration state is kept.
void RotateOriginalRight(TMainFields& main);
void RotateOriginalLeft(TMainFields& main);
