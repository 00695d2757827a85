#include "measure/WindowPlacement.h"

#include <climits>
#include <gtest/gtest.h>

TEST(KeepOnScreen, StoredPlacementsOnTheScreensOfNow) {
    const QSize minimum(1146, 768);
    const QRect full(0, 0, 1920, 1080);
    const QRect right(1920, 0, 2560, 1440);
    const QRect leftOfPrimary(-1280, 0, 1280, 1024);
    const QRect belowPanel(0, 32, 1920, 1048);
    struct Case {
        const char* what;
        QRect stored; // as x, y, width, height; extremes go through QPoint and QSize below
        std::vector<QRect> screens;
        QRect expected;
    };
    const Case cases[] = {
        {"on screen: stays", {100, 80, 1200, 800}, {full}, {100, 80, 1200, 800}},
        {"first start: frame at the corner, minimum size",
         {0, 0, 815, 655},
         {full},
         {0, 0, 1146, 768}},
        {"title bar above the screen: moved down",
         {300, -20, 1200, 800},
         {full},
         {300, 0, 1200, 800}},
        {"title bar under a top panel: moved below it",
         {0, 0, 1200, 800},
         {belowPanel},
         {0, 32, 1200, 800}},
        {"title bar at the bottom edge: moved up",
         {100, 1070, 1200, 800},
         {full},
         {100, 280, 1200, 800}},
        {"mostly beyond the right edge: moved in",
         {1800, 100, 1200, 800},
         {full},
         {720, 100, 1200, 800}},
        {"half beyond the right edge: stays",
         {1320, 100, 1200, 800},
         {full},
         {1320, 100, 1200, 800}},
        {"on a second screen that is there: stays",
         {2000, 100, 1200, 800},
         {full, right},
         {2000, 100, 1200, 800}},
        {"on a screen left of the primary: stays",
         {-1200, 100, 1146, 768},
         {full, leftOfPrimary},
         {-1200, 100, 1146, 768}},
        {"on a screen no longer there: onto the primary",
         {5000, 3000, 1200, 800},
         {full, right},
         {720, 280, 1200, 800}},
        {"larger than the screen, half shown: stays",
         {0, 0, 1146, 768},
         {{0, 0, 800, 600}},
         {0, 0, 1146, 768}},
        {"larger than the screen, mostly off: at its corner, minimum size",
         {200, 100, 1146, 768},
         {{0, 0, 800, 600}},
         {0, 0, 1146, 768}},
        {"no screens: only bounded", {100, 80, 1200, 800}, {}, {100, 80, 1200, 800}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeepOnScreen(c.stored.topLeft(), c.stored.size(), c.screens, minimum), c.expected)
            << c.what;
}

TEST(KeepOnScreen, ExtremeStoredValuesGiveAWindowOnTheScreen) {
    const QSize minimum(1146, 768);
    const std::vector<QRect> screens = {{0, 0, 1920, 1080}};
    struct Case {
        QPoint topLeft;
        QSize size;
        QRect expected;
    };
    const Case cases[] = {
        {{INT_MAX, 0}, {1200, 800}, {720, 0, 1200, 800}},
        {{0, 0}, {INT_MAX, INT_MAX}, {0, 0, 1920, 1080}},
        {{INT_MAX, INT_MAX}, {INT_MAX, INT_MAX}, {0, 0, 1920, 1080}},
        {{INT_MIN, INT_MIN}, {1200, 800}, {0, 0, 1200, 800}},
        {{-2147483647, 5}, {INT_MIN, INT_MIN}, {0, 5, 1146, 768}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeepOnScreen(c.topLeft, c.size, screens, minimum), c.expected)
            << c.topLeft.x() << "," << c.topLeft.y() << " " << c.size.width() << "x"
            << c.size.height();
    // Without screens the values are bounded to what a window system takes.
    EXPECT_EQ(KeepOnScreen({INT_MAX, INT_MIN}, {INT_MAX, 10}, {}, minimum),
              QRect(WindowCoordinateLimit, -WindowCoordinateLimit, WindowCoordinateLimit, 768));
}
