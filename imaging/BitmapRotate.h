#pragma once
// Rotations of a bitmap by quarter turns, in place: the bitmap is replaced by its rotated
// self. Bitmap24Format and Bitmap32Format keep their format; any other format becomes a
// 24-bit bitmap. A bitmap without pixels is left alone.
// `threads`: 0 chooses by image size, 1 runs on the calling thread.

#include <QImage>

// Counter-clockwise: source pixel (x, y) goes to row W - 1 - x, column y.
void RotateLeft90(QImage& bitmap, int threads = 0);

// Clockwise: source pixel (x, y) goes to row x, column H - 1 - y.
void RotateRight90(QImage& bitmap, int threads = 0);

// Half turn: source pixel (x, y) goes to row H - 1 - y, column W - 1 - x. Needs no
// second image.
void Rotate180(QImage& bitmap, int threads = 0);
