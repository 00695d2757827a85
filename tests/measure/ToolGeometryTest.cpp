#include "measure/ToolGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

namespace {

std::string Text(QPoint p) {
    std::ostringstream text;
    text << '(' << p.x() << ',' << p.y() << ')';
    return text.str();
}

// Positive on one side of the line through a and b, negative on the other.
double SideOf(QPoint a, QPoint b, QPointF p) {
    return double(b.x() - a.x()) * (p.y() - a.y()) - double(b.y() - a.y()) * (p.x() - a.x());
}

QPointF OnCircle(const CurvatureResult& r, int angle16) {
    const double radians = angle16 / 16.0 * std::numbers::pi / 180.0;
    // QPainter's angles run counter-clockwise on screen, where y grows downward.
    return {r.Centre.x() + r.RadiusPx * std::cos(radians),
            r.Centre.y() - r.RadiusPx * std::sin(radians)};
}

double DistanceF(QPointF a, QPoint b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

TEST(SnapToAxis, AlmostLevelOrUprightDragsSnap) {
    struct Case {
        QPoint end, expected;
    };
    const QPoint start(100, 100);
    const Case cases[] = {
        {{200, 110}, {200, 100}},                           // level within 20 pixels
        {{200, 125}, {200, 125}},                           // |dY| = 25: left alone
        {{0, 81}, {0, 100}},                                // leftward and up
        {{110, 200}, {100, 200}},                           // upright within 20 pixels
        {{81, 0}, {100, 0}},      {{130, 110}, {130, 110}}, // |dX| = 30 is not above 30
        {{131, 119}, {131, 100}}, {{131, 120}, {131, 120}}, // |dY| = 20 is not below 20
        {{110, 110}, {110, 110}},                           // short drags stay
    };
    for (const auto& c : cases)
        EXPECT_EQ(SnapToAxis(start, c.end), c.expected) << Text(c.end);
}

TEST(ArrowGeometry, HeadBaseAndCorners) {
    struct Case {
        QPoint tip, tail;
        int headLength;
        QPoint base, corner1, corner2;
    };
    const Case cases[] = {
        // Automatic: a fifth of 100; 36 above 180 pixels; 18 below 90.
        {{0, 0}, {100, 0}, 0, {20, 0}, {20, 6}, {20, -6}}, // -20 / 3 truncates to -6
        {{100, 100}, {0, 100}, 0, {80, 100}, {80, 94}, {80, 106}},
        {{0, 0}, {60, 80}, 0, {12, 16}, {7, 20}, {17, 12}},
        {{0, 0}, {200, 0}, 0, {36, 0}, {36, 12}, {36, -12}},
        {{0, 0}, {0, 60}, 0, {0, 18}, {-6, 18}, {6, 18}},
        {{0, 0}, {180, 0}, 0, {36, 0}, {36, 12}, {36, -12}},
        {{0, 0}, {90, 0}, 0, {18, 0}, {18, 6}, {18, -6}},
        // 18 / round(L): 10 * 18 / 72 = 2.5 rounds to even.
        {{0, 0}, {10, 71}, 0, {2, 18}, {-4, 18}, {8, 18}},
        // Fixed head length, whatever the arrow's length.
        {{0, 0}, {100, 0}, 15, {15, 0}, {15, 5}, {15, -5}},
        {{0, 0}, {200, 0}, 15, {15, 0}, {15, 5}, {15, -5}},
        {{0, 0}, {0, -60}, 15, {0, -15}, {5, -15}, {-5, -15}},
        {{0, 0}, {6, 8}, 15, {9, 12}, {5, 15}, {13, 9}}, // beyond a short tail
    };
    for (const auto& c : cases) {
        const auto arrow = ArrowGeometry(c.tip, c.tail, c.headLength);
        ASSERT_TRUE(arrow) << Text(c.tail);
        EXPECT_EQ(arrow->Tip, c.tip);
        EXPECT_EQ(arrow->Tail, c.tail);
        EXPECT_EQ(arrow->Base, c.base) << Text(c.tail) << " head " << c.headLength;
        EXPECT_EQ(arrow->Corner1, c.corner1) << Text(c.tail) << " head " << c.headLength;
        EXPECT_EQ(arrow->Corner2, c.corner2) << Text(c.tail) << " head " << c.headLength;
    }
}

TEST(ArrowGeometry, HeadLengthsOfTheAutomaticAndFixedHead) {
    struct Case {
        int length, headLength;
        double expectedHead;
    };
    const Case cases[] = {{100, 0, 20},  {200, 0, 36}, {60, 0, 18},  {100, 15, 15},
                          {200, 15, 15}, {60, 15, 15}, {500, 15, 15}};
    // Along a 3-4-5 diagonal, so that both coordinates are scaled (and rounded).
    for (const auto& c : cases) {
        const QPoint tail(c.length * 3 / 5, c.length * 4 / 5);
        const auto arrow = ArrowGeometry({0, 0}, tail, c.headLength);
        ASSERT_TRUE(arrow) << c.length;
        EXPECT_NEAR(Distance(arrow->Tip, arrow->Base), c.expectedHead, 0.5)
            << c.length << " head " << c.headLength;
    }
}

TEST(ArrowGeometry, NothingWithoutLength) {
    EXPECT_FALSE(ArrowGeometry({5, 5}, {5, 5}, 15));
    EXPECT_FALSE(ArrowGeometry({5, 5}, {5, 5}, 0));
    EXPECT_FALSE(ArrowGeometry({5, 5}, {7, 6}, 0)); // round(2.24) < 3
    EXPECT_TRUE(ArrowGeometry({5, 5}, {8, 5}, 0));
}

TEST(ChordBisectorOf, MidpointSlopeLineAndHalfChord) {
    struct Case {
        QPoint p1, p2;
        int width;
        QPoint mid;
        bool vertical;
        double slope;
        QLine line;
        int halfChord;
    };
    const Case cases[] = {
        {{100, 100}, {200, 100}, 640, {150, 100}, true, 1e6, {{150, 740}, {150, -540}}, 50},
        {{0, 0}, {10, 20}, 100, {5, 10}, false, -0.5, {{105, -40}, {-95, 60}}, 11},
        // Halves truncate toward zero: 10 + (-5) / 2 = 8, not 7.
        {{10, 10}, {5, 3}, 100, {8, 7}, false, -5.0 / 7, {{108, -64}, {-92, 78}}, 4},
        // Vertical chord: level bisector.
        {{100, 100}, {100, 200}, 100, {100, 150}, false, 0, {{200, 150}, {0, 150}}, 50},
        // Half of 101 and of 103 round to even.
        {{0, 0}, {101, 0}, 10, {50, 0}, true, 1e6, {{50, 10}, {50, -10}}, 50},
        {{0, 0}, {103, 0}, 10, {51, 0}, true, 1e6, {{51, 10}, {51, -10}}, 52},
    };
    for (const auto& c : cases) {
        const ChordBisector b = ChordBisectorOf(c.p1, c.p2, c.width);
        const std::string name = Text(c.p1) + "-" + Text(c.p2);
        EXPECT_EQ(b.End1, c.p1) << name;
        EXPECT_EQ(b.End2, c.p2) << name;
        EXPECT_EQ(b.Mid, c.mid) << name;
        EXPECT_EQ(b.Vertical, c.vertical) << name;
        EXPECT_DOUBLE_EQ(b.Slope, c.slope) << name;
        EXPECT_EQ(b.Line, c.line) << name;
        EXPECT_EQ(b.HalfChord, c.halfChord) << name;
    }
}

TEST(ChordBisectorOf, NearlyLevelBisectorOnAWideImageStaysInRange) {
    const ChordBisector b = ChordBisectorOf({0, 100}, {65000, 101}, 65536);
    EXPECT_LT(b.Line.p1().y(), -(1 << 29));
    EXPECT_GT(b.Line.p2().y(), 1 << 29);
}

TEST(MeasureCurvatureGeometry, RadiusAngleAndCentre) {
    struct Case {
        QPoint p1, p2, third;
        double radius;
        int radiusPx, degrees;
        QPoint centre;
    };
    const Case cases[] = {
        // Chord of 100: a point 50 away closes half a circle.
        {{100, 100}, {200, 100}, {150, 150}, 50, 50, 180, {150, 100}},
        {{100, 100}, {200, 100}, {150, 50}, 50, 50, 180, {150, 100}},
        // 20 away: R = 72.5 (rounded to even 72), centre 52.5 beyond the chord.
        {{100, 100}, {200, 100}, {150, 120}, 72.5, 72, 87, {150, 48}},
        {{100, 100}, {200, 100}, {150, 80}, 72.5, 72, 87, {150, 152}},
        {{100, 100}, {100, 200}, {120, 150}, 72.5, 72, 87, {48, 150}},
        {{100, 100}, {100, 200}, {80, 150}, 72.5, 72, 87, {152, 150}},
        // More than half a circle: the centre is on the point's side.
        {{100, 100}, {200, 100}, {150, 170}, 7400.0 / 140, 53, 218, {150, 117}},
        // Diagonal chord (0,0)-(60,80), midpoint (30,40), normal (-0.8, 0.6).
        {{0, 0}, {60, 80}, {14, 52}, 72.5, 72, 87, {72, 8}},
    };
    for (const auto& c : cases) {
        const auto r = MeasureCurvatureGeometry(ChordBisectorOf(c.p1, c.p2, 640), c.third);
        const std::string name = Text(c.p1) + "-" + Text(c.p2) + " " + Text(c.third);
        ASSERT_TRUE(r) << name;
        EXPECT_DOUBLE_EQ(r->Radius, c.radius) << name;
        EXPECT_EQ(r->RadiusPx, c.radiusPx) << name;
        EXPECT_EQ(r->AngleDegrees, c.degrees) << name;
        EXPECT_EQ(r->Centre, c.centre) << name;
    }
}

TEST(MeasureCurvatureGeometry, NearlyLevelChordPutsTheCentreOppositeThePoint) {
    // The bisector of this chord is steep but not vertical; the centre must still move to
    // whichever side of the chord the point is not on.
    const ChordBisector b = ChordBisectorOf({100, 100}, {200, 101}, 640);
    ASSERT_FALSE(b.Vertical);
    for (const QPoint third : {QPoint(160, 130), QPoint(140, 130), QPoint(150, 130),
                               QPoint(160, 70), QPoint(140, 70), QPoint(150, 70)}) {
        const auto r = MeasureCurvatureGeometry(b, third);
        ASSERT_TRUE(r) << Text(third);
        const double pointSide = SideOf(b.End1, b.End2, third);
        const double centreSide = SideOf(b.End1, b.End2, r->Centre);
        EXPECT_LT(pointSide * centreSide, 0) << Text(third) << " centre " << Text(r->Centre);
    }
}

TEST(MeasureCurvatureGeometry, ArcJoinsTheChordEndsOnThePointsSide) {
    struct Case {
        QPoint p1, p2, third;
    };
    const Case cases[] = {
        {{100, 100}, {200, 100}, {150, 120}}, {{200, 100}, {100, 100}, {150, 120}},
        {{100, 100}, {200, 100}, {150, 80}},  {{100, 100}, {200, 100}, {150, 170}},
        {{100, 100}, {200, 100}, {150, 30}},  {{100, 100}, {100, 200}, {120, 150}},
        {{100, 200}, {100, 100}, {80, 150}},  {{100, 100}, {200, 101}, {160, 130}},
        {{100, 100}, {200, 101}, {140, 70}},  {{0, 0}, {60, 80}, {14, 52}},
        {{60, 80}, {0, 0}, {50, 25}},         {{0, 0}, {60, 80}, {90, -20}},
        {{300, 50}, {20, 250}, {100, 80}},    {{300, 50}, {20, 250}, {250, 250}},
    };
    for (const auto& c : cases) {
        const std::string name = Text(c.p1) + "-" + Text(c.p2) + " " + Text(c.third);
        const auto r = MeasureCurvatureGeometry(ChordBisectorOf(c.p1, c.p2, 640), c.third);
        ASSERT_TRUE(r) << name;
        ASSERT_GT(r->SpanAngle16, 0) << name;
        ASSERT_LT(r->SpanAngle16, 360 * 16) << name;
        const QPointF start = OnCircle(*r, r->StartAngle16);
        const QPointF end = OnCircle(*r, r->StartAngle16 + r->SpanAngle16);
        const bool forward = DistanceF(start, c.p1) < DistanceF(start, c.p2);
        EXPECT_LT(DistanceF(start, forward ? c.p1 : c.p2), 2.0) << name;
        EXPECT_LT(DistanceF(end, forward ? c.p2 : c.p1), 2.0) << name;
        const QPointF middle = OnCircle(*r, r->StartAngle16 + r->SpanAngle16 / 2);
        EXPECT_GT(SideOf(c.p1, c.p2, middle) * SideOf(c.p1, c.p2, c.third), 0) << name;
        EXPECT_NEAR(r->SpanAngle16 / 16.0, r->AngleDegrees, 2.0) << name;
    }
}

TEST(MeasureCurvatureGeometry, PointOnTheMidpointHasNoRadius) {
    EXPECT_FALSE(
        MeasureCurvatureGeometry(ChordBisectorOf({100, 100}, {200, 100}, 640), {150, 100}));
    EXPECT_FALSE(MeasureCurvatureGeometry(ChordBisectorOf({0, 0}, {61, 81}, 640), {30, 40}));
}

TEST(LabelPosition, BesideTheEndByDragDirection) {
    struct Case {
        TRubberBand band;
        QPoint live, result;
    };
    const QSize label(40, 10);
    const QSize image(1000, 800);
    const Case cases[] = {
        {{100, 100, 200, 150}, {203, 137}, {203, 153}}, // right and down
        {{100, 100, 50, 150}, {7, 153}, {7, 153}},      // left and down
        {{100, 100, 200, 50}, {203, 37}, {203, 37}},    // right and up
        {{100, 100, 50, 50}, {7, 37}, {7, 37}},         // left and up
        {{100, 100, 100, 100}, {103, 87}, {103, 103}},  // not moved: right and down
        // Kept inside: the right and bottom edges first, then the left and top.
        {{900, 700, 990, 795}, {960, 782}, {960, 790}},
        {{100, 100, 20, 5}, {0, 0}, {0, 0}},
    };
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.band.X2) + "," + std::to_string(c.band.Y2);
        EXPECT_EQ(LiveLabelPosition(c.band, label, image, false), c.live) << name;
        EXPECT_EQ(ResultLabelPosition(c.band, label, image, false), c.result) << name;
    }
}

TEST(LabelPosition, CentredOnTheStartForCircles) {
    const QSize image(1000, 800);
    const TRubberBand band{500, 400, 900, 10};
    EXPECT_EQ(LiveLabelPosition(band, {41, 11}, image, true), QPoint(480, 395));
    EXPECT_EQ(ResultLabelPosition(band, {41, 11}, image, true), QPoint(480, 395));
    EXPECT_EQ(ResultLabelPosition({5, 795, 0, 0}, {40, 10}, image, true), QPoint(0, 790));
    // A label larger than the image keeps its top-left corner in the image.
    EXPECT_EQ(LiveLabelPosition(band, {2000, 10}, image, true), QPoint(0, 395));
}

TEST(EllipseBounds, CentredOnTheStart) {
    EXPECT_EQ(EllipseBoundsForOval({100, 100, 130, 80}), QRect(70, 80, 60, 40));
    EXPECT_EQ(EllipseBoundsForOval({100, 100, 70, 120}), QRect(70, 80, 60, 40));
    EXPECT_EQ(EllipseBoundsForOval({100, 100, 100, 100}), QRect(100, 100, 0, 0));
    EXPECT_EQ(CircleBounds({50, 60}, 5), QRect(45, 55, 10, 10));
    EXPECT_EQ(CircleRadius({0, 0, 3, 4}), 5);
    EXPECT_EQ(CircleRadius({10, 10, 12, 12}), 3); // 2.83
    EXPECT_EQ(CircleRadius({10, 10, 11, 12}), 2); // 2.24
}
