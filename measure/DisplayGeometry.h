#pragma once
// The size of the work image for a display-size item: the original size, the largest
// rectangle of the image's shape that fits the image area, or a fixed width or height.

#include <QSize>

// The largest rectangle of the original's shape inside the box (before the 4-pixel
// margin that "Fit to Window" leaves).
QSize FitRectangle(QSize original, QSize box);

// The work image's size for item (0 original, 1 fit to window, 2.. the fixed lengths)
// with lengths taken as widths when useWidth is true, else as heights. Never below
// 1 x 1, whatever the box or the image's shape.
QSize WorkImageSize(int item, QSize original, QSize box, bool useWidth);
