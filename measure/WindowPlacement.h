#pragma once
// Where the measuring window opens: the placement kept in the settings file, moved onto a
// screen that is there now when it would open mostly off-screen.

#include "settings/MainSettingsFields.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

// frameTopLeft and size: the window's outer position and size as stored (any int values).
// screens: the available rectangles of the screens, the primary first. The size is first
// bounded to minimum .. WindowCoordinateLimit. A window whose top edge (its title bar) lies
// on the screen that shows most of it, and of which that screen shows at least half, stays
// where it is. Any other is moved onto that screen (onto the primary when no screen shows
// any of it), no larger than the screen unless minimum is. Without screens the values are
// only bounded.
QRect KeepOnScreen(QPoint frameTopLeft, QSize size, const std::vector<QRect>& screens,
                   QSize minimum);
