#include "imaging/BmpHistory.h"
#include "imaging/Bitmap.h"
#include "imaging/BitmapRotate.h"

#include "ImageTestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

namespace {

// State k: a (4 + k) x 3 bitmap filled with k, so both size and content tell it apart.
QImage State(int k) {
    QImage image = NewBitmap(4 + k, 3);
    for (int y = 0; y < image.height(); ++y)
        std::memset(image.scanLine(y), k, size_t(image.bytesPerLine()));
    return image;
}

// The state a bitmap holds, or -1 when it is none of them.
int Which(const QImage& image) {
    const int k = image.width() - 4;
    if (k < 0 || image.height() != 3 || image.format() != Bitmap24Format)
        return -1;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < image.width() * 3; ++x)
            if (image.constScanLine(y)[x] != k)
                return -1;
    return k;
}

// Runs a script of 'U' (undo) and 'R' (redo) on `shown`; each step gives the state shown
// afterwards, or -1 when the step returned false (and `shown` must not have changed).
std::vector<int> Steps(BmpHistory& history, QImage& shown, const std::string& steps) {
    std::vector<int> seen;
    for (char step : steps) {
        const int before = Which(shown);
        const bool done = step == 'U' ? history.Undo(shown) : history.Redo(shown);
        if (!done) {
            EXPECT_EQ(Which(shown), before);
        }
        seen.push_back(done ? Which(shown) : -1);
    }
    return seen;
}

struct History : ::testing::Test {
    BmpHistory history;
    QImage shown;
    void Add(int first, int last) {
        for (int k = first; k <= last; ++k) {
            shown = State(k);
            ASSERT_TRUE(history.Add(shown));
        }
    }
};

} // namespace

TEST_F(History, NothingToUndoOrRedoAfterClear) {
    EXPECT_EQ(Steps(history, shown, "UR"), (std::vector<int>{-1, -1}));
    Add(0, 2);
    history.Clear();
    EXPECT_EQ(history.UndoCount(), -1);
    EXPECT_EQ(Steps(history, shown, "R"), std::vector<int>{-1});
    Add(5, 5);
    EXPECT_EQ(history.UndoCount(), 0);
    EXPECT_EQ(Steps(history, shown, "UR"), (std::vector<int>{-1, -1}));
}

TEST_F(History, UndoAndRedoWalkTheStates) {
    Add(0, 3);
    EXPECT_EQ(Steps(history, shown, "UURRUR"), (std::vector<int>{2, 1, 2, 3, 2, 3}));
    EXPECT_EQ(Steps(history, shown, "R"), std::vector<int>{-1});
}

TEST_F(History, UndoThenRedoReturnsToTheStateBeforeTheUndo) {
    Add(0, 1);
    EXPECT_EQ(Steps(history, shown, "UR"), (std::vector<int>{0, 1}));
}

TEST_F(History, AddKeepsTheUndoneStatesForRedo) {
    Add(0, 2);
    Steps(history, shown, "U");
    Add(7, 7);
    EXPECT_EQ(Steps(history, shown, "R"), std::vector<int>{2});
    EXPECT_EQ(Steps(history, shown, "UU"), (std::vector<int>{7, 1}));
}

TEST_F(History, AFullRingKeepsFifteenStepsBack) {
    Add(0, 16); // seventeen states: the first is overwritten
    EXPECT_EQ(history.UndoCount(), 15);
    const std::vector<int> back = Steps(history, shown, std::string(16, 'U'));
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(back[size_t(i)], 15 - i);
    EXPECT_EQ(back[15], -1);
    // Sixteen undone states fill the redo ring; redo brings them all back.
    const std::vector<int> forward = Steps(history, shown, std::string(16, 'R'));
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(forward[size_t(i)], 2 + i);
    EXPECT_EQ(forward[15], -1);
}

TEST_F(History, BitmapsAreCopiedInAndOut) {
    QImage state = State(1);
    history.Add(State(0));
    history.Add(state);
    std::memset(state.scanLine(0), 9, 3); // the caller's own copy, changed in place
    ASSERT_TRUE(history.Undo(state));
    EXPECT_EQ(Which(state), 0);
    std::memset(state.scanLine(0), 9, 3);
    ASSERT_TRUE(history.Redo(state));
    EXPECT_EQ(Which(state), -1); // the undo pushed the changed bitmap for redo
    history.Clear();
    history.Add(State(2));
    history.Add(State(3));
    QImage out = State(3);
    const QImage alias = out;
    ASSERT_TRUE(history.Undo(out));
    EXPECT_EQ(Which(out), 2);
    EXPECT_EQ(Which(alias), 3);
}

TEST(HistoryMemory, DropsTheOldestStatesInsteadOfFailing) {
    // Room for a few 100 x 100 states (30000 bytes each) and the initial small slots.
    BmpHistory history(4 * 30000 + 16000);
    auto big = [](int k) {
        QImage image = NewBitmap(100, 100);
        image.fill(QColor(k, k, k));
        return image;
    };
    for (int k = 0; k < 10; ++k)
        ASSERT_TRUE(history.Add(big(k))) << k;
    const int steps = history.UndoCount();
    EXPECT_GE(steps, 1);
    EXPECT_LT(steps, 5);
    QImage shown = big(9);
    for (int k = 8; k >= 9 - steps; --k) {
        ASSERT_TRUE(history.Undo(shown));
        EXPECT_EQ(qRed(shown.pixel(50, 50)), k);
    }
    EXPECT_FALSE(history.Undo(shown));
    ASSERT_TRUE(history.Redo(shown));
    EXPECT_EQ(qRed(shown.pixel(50, 50)), 10 - steps);

    // A bitmap that cannot fit even alone is refused, and the ring is left empty.
    EXPECT_FALSE(history.Add(NewBitmap(400, 400)));
    EXPECT_EQ(history.UndoCount(), -1);
    EXPECT_TRUE(history.Add(big(1)));
}

namespace {

QImage Noise(int w, int h) {
    QImage image = NewBitmap(w, h);
    std::mt19937 random(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            image.scanLine(y)[x] = uchar(random());
    return image;
}

// The kinds of change the measuring window records: annotations drawn pixel by pixel and
// with a painter, a whole-image correction, a rotation, a crop.
using Change = std::function<void(QImage&)>;

Change Line(int k) {
    return [k](QImage& image) {
        for (int t = 0; t < image.width() - 10; ++t)
            std::memset(image.scanLine((5 + 7 * k + t / 9) % image.height()) + 3 * t, 30 * k, 3);
    };
}

Change Circle(int k) {
    return [k](QImage& image) {
        QPainter painter(&image);
        painter.setPen(QColor(255, 10 * k, 0));
        painter.drawEllipse(QPoint(20 + 9 * k, 30 + 5 * k), 15, 11);
    };
}

std::vector<Change> MixedChanges() {
    std::vector<Change> changes;
    for (int k = 0; k < 6; ++k)
        changes.push_back(k % 2 ? Circle(k) : Line(k));
    changes.push_back([](QImage& image) { RotateRight90(image); });
    for (int k = 6; k < 10; ++k)
        changes.push_back(k % 2 ? Circle(k) : Line(k));
    changes.push_back([](QImage& image) { image = image.copy(13, 9, 141, 117); });
    changes.push_back([](QImage& image) { image.invertPixels(); });
    for (int k = 10; k < 14; ++k)
        changes.push_back(k % 2 ? Circle(k) : Line(k));
    return changes; // seventeen changes: eighteen states
}

} // namespace

// The bitmap on display is either handed back and forth as the same object (changed in
// place by the history) or passed as a copy that shares its pixels with the caller's.
class HistoryOfMixedChanges : public ::testing::TestWithParam<bool> {};

TEST_P(HistoryOfMixedChanges, GivesBackEveryStateItWasGiven) {
    const bool sharedCopies = GetParam();
    BmpHistory history;
    std::vector<QImage> states; // deep copies of what was added
    QImage shown = Noise(301, 203);
    ASSERT_TRUE(history.Add(shown));
    states.push_back(shown.copy());
    for (const Change& change : MixedChanges()) {
        change(shown);
        ASSERT_TRUE(history.Add(shown));
        states.push_back(shown.copy());
    }
    ASSERT_EQ(history.UndoCount(), 15);
    auto step = [&](bool undo) {
        QImage passed = shown; // shares the pixels of shown
        if (!sharedCopies)
            shown = QImage();
        const bool done = undo ? history.Undo(passed) : history.Redo(passed);
        shown = passed;
        return done;
    };
    const size_t newest = states.size() - 1;
    for (size_t back = 1; back <= 15; ++back) {
        ASSERT_TRUE(step(true)) << back;
        EXPECT_TRUE(imagetest::SamePixels(shown, states[newest - back])) << "undo " << back;
    }
    EXPECT_FALSE(step(true));
    for (size_t forward = 14; forward + 1 > 0; --forward) {
        ASSERT_TRUE(step(false)) << forward;
        EXPECT_TRUE(imagetest::SamePixels(shown, states[newest - forward])) << "redo " << forward;
    }
    EXPECT_FALSE(step(false));
    // Half way back, a change, and the undone states still come back by redo.
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(step(true));
    Line(20)(shown);
    const QImage changed = shown.copy();
    ASSERT_TRUE(history.Add(shown));
    ASSERT_TRUE(step(false));
    EXPECT_TRUE(imagetest::SamePixels(shown, states[newest - 7]));
    ASSERT_TRUE(step(true));
    EXPECT_TRUE(imagetest::SamePixels(shown, changed));
}

INSTANTIATE_TEST_SUITE_P(InPlaceOrShared, HistoryOfMixedChanges, ::testing::Bool());

TEST(HistoryMemory, GrowsWithWhatChangedNotWithTheImage) {
    BmpHistory history(BmpHistory::NoBudget);
    QImage shown = Noise(2000, 1500);
    history.Add(shown);
    for (int k = 0; k < 20; ++k) {
        Line(k)(shown);
        ASSERT_TRUE(history.Add(shown));
    }
    const double images = double(history.MemoryBytes()) / double(shown.sizeInBytes());
    EXPECT_GT(images, 1.0);
    EXPECT_LT(images, 1.5) << "twenty thin lines on one image";
    // A change everywhere is stored whole.
    shown.invertPixels();
    history.Add(shown);
    EXPECT_GT(double(history.MemoryBytes()) / double(shown.sizeInBytes()), images + 0.9);
    history.Clear();
    EXPECT_LT(history.MemoryBytes(), 100000);
}

TEST(HistoryKeys, ABitmapChangedAfterItWasAddedIsReadAgain) {
    // Every way of writing to a QImage gives it a new cache key, so none is mistaken for
    // the state last seen.
    const std::vector<Change> writes = {
        [](QImage& image) { image.scanLine(3)[5] ^= 1; },
        [](QImage& image) { image.bits()[7] ^= 1; },
        [](QImage& image) { image.setPixel(2, 2, qRgb(1, 2, 3)); },
        [](QImage& image) { QPainter(&image).fillRect(0, 0, 2, 2, Qt::red); },
        [](QImage& image) { image.fill(Qt::blue); },
    };
    for (size_t i = 0; i < writes.size(); ++i) {
        BmpHistory history;
        QImage shown = Noise(40, 30);
        const QImage first = shown.copy();
        history.Add(shown);
        history.Add(shown);
        writes[i](shown);
        const QImage changed = shown.copy();
        ASSERT_TRUE(history.Undo(shown));
        EXPECT_TRUE(imagetest::SamePixels(shown, first)) << i;
        ASSERT_TRUE(history.Redo(shown));
        EXPECT_TRUE(imagetest::SamePixels(shown, changed)) << i;
    }
}

TEST(HistorySharing, AStateWithNothingToCompareIsSharedAndNeverChangesAfterwards) {
    BmpHistory history;
    QImage shown = Noise(300, 200);
    const QImage first = shown.copy();
    ASSERT_TRUE(history.Add(shown));
    EXPECT_FALSE(shown.isDetached()) << "the first state shares the bitmap's pixels";
    // Written by each route the window takes: the shared state must not follow.
    const std::vector<Change> writes = {
        Line(1),
        Circle(2),
        [](QImage& image) { image.bits()[5] ^= 1; },
        [](QImage& image) { image.invertPixels(); },
    };
    std::vector<QImage> states{first};
    for (const Change& write : writes) {
        write(shown);
        ASSERT_TRUE(history.Add(shown));
        states.push_back(shown.copy());
    }
    // Undo writes into the bitmap in place where it shares its pixels with nothing else; a
    // step back to the shared state gives back its pixels, not a copy.
    for (size_t back = 1; back < states.size(); ++back) {
        ASSERT_TRUE(history.Undo(shown));
        EXPECT_TRUE(imagetest::SamePixels(shown, states[states.size() - 1 - back])) << back;
    }
    for (int i = 0; i < 3; ++i) {
        Line(5 + i)(shown); // the bitmap now shares with the history: this detaches
        EXPECT_TRUE(history.Redo(shown));
        ASSERT_TRUE(history.Undo(shown));
        EXPECT_TRUE(imagetest::SamePixels(shown, first)) << i;
    }
    // A rotated state is shared too; an undo to it and a write after leave it as it was.
    RotateRight90(shown);
    const QImage rotated = shown.copy();
    ASSERT_TRUE(history.Add(shown));
    EXPECT_FALSE(shown.isDetached());
    shown = shown.copy(0, 0, 50, 40);
    ASSERT_TRUE(history.Add(shown));
    ASSERT_TRUE(history.Undo(shown));
    EXPECT_TRUE(imagetest::SamePixels(shown, rotated));
    Line(9)(shown);
    ASSERT_TRUE(history.Redo(shown));
    ASSERT_TRUE(history.Undo(shown));
    EXPECT_TRUE(imagetest::SamePixels(shown, rotated));
    // Back to the first state: its pixels, never copied.
    history.Clear();
    QImage again = first;
    history.Add(again);
    again = NewBitmap(10, 10);
    history.Add(again);
    ASSERT_TRUE(history.Undo(again));
    EXPECT_EQ(again.constBits(), first.constBits());
}
