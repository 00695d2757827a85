#include "imaging/BmpHistory.h"
#include "imaging/Bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

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
