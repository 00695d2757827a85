#pragma once
// Undo and redo store of bitmaps: two rings of 16 states. The newest undo entry is the
// state on display, so at most 15 steps back are possible; the redo ring keeps up to 16
// undone states. Bitmaps go in and out as values; the caller keeps its own.
//
// A state is kept as tiles of its bitmap, and a tile equal to the one at the same place in
// the state it was compared with is shared, not copied: the memory grows with what changed
// from step to step, not with the image size. A state with nothing to compare with (the
// first, or one of another size or format after a rotation or a crop) is kept as the
// bitmap itself, sharing its pixels (QImage copy on write): whoever writes to the bitmap
// next makes the copy, and a bitmap never written again costs nothing. Tiles not stored on
// their own are read from that shared bitmap. A bitmap must own its pixels (not wrap a
// buffer written behind QImage's back).
//
// The history remembers the QImage::cacheKey() of the bitmap it was last given or gave
// back; a bitmap passed in again with that key is known to be unchanged and is not read.
// The key changes with every write through the QImage interface (bits(), scanLine(), a
// QPainter), so a bitmap must not be written through a pointer taken before it was passed.
// Undo and Redo write into the bitmap's own pixels only where the states differ when the
// bitmap shares its pixels with no other QImage; otherwise it receives a new bitmap.

#include <QImage>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

class BmpHistory {
public:
    static constexpr int Slots = 16;

    static constexpr qint64 NoBudget = -1;

    // An eighth of the physical memory (at least 512 MiB): the measuring window keeps two
    // histories, and states that differ everywhere (exposure corrections, crops) are
    // stored whole. Linux hands out memory it does not have, so running out shows as the
    // process being killed, not as a failed allocation: the budget is what keeps a history
    // inside the machine.
    static qint64 DefaultBudget();

    // byteBudget bounds MemoryBytes(); an Add or Undo that would exceed it drops the
    // oldest entries of its ring, as when memory runs out.
    explicit BmpHistory(qint64 byteBudget = DefaultBudget());

    // Empties both rings and releases their memory.
    void Clear();
    // Records a state (the one now on display). Does not empty the redo ring. When memory
    // runs short the oldest undo entries are dropped; false only when even an empty ring
    // cannot hold the bitmap.
    bool Add(const QImage& bitmap);
    // bitmap holds the state on display; on true it receives the previous state.
    bool Undo(QImage& bitmap);
    // On true bitmap receives the newest undone state, which becomes the state on display.
    bool Redo(QImage& bitmap);

    // Number of entries minus 1: -1 empty; for undo, the number of steps back possible.
    int UndoCount() const { return undo_.count; }
    int RedoCount() const { return redo_.count; }

    // The memory held for all entries: every stored tile once, however many entries share
    // it, and the tile tables.
    qint64 MemoryBytes() const;

private:
    using Tile = std::shared_ptr<uchar[]>;

    // One stored state: the bitmap's geometry and resolution, and its tiles row by row.
    struct Entry {
        bool used = false;
        bool null = true;
        QSize size;
        QImage::Format format = QImage::Format_Invalid;
        qsizetype bytesPerLine = 0;
        int dotsPerMeterX = 0;
        int dotsPerMeterY = 0;
        QList<QRgb> colorTable;
        int columns = 0;
        int rows = 0;
        // A null tile is read from whole, a bitmap of the entry's geometry shared with
        // whoever else holds it; whole is null when every tile is stored.
        std::vector<Tile> tiles;
        QImage whole;
    };

    struct Ring {
        std::array<Entry, Slots> entries;
        int index = Slots - 1;
        int count = -1;
    };

    static void Empty(Ring& ring);
    static int NextSlot(int index) { return index + 1 == Slots ? 0 : index + 1; }
    static int PrevSlot(int index) { return index == 0 ? Slots - 1 : index - 1; }

    // Where the tile at index `at` of entry starts, and its bytes from row to row.
    static const uchar* TileData(const Entry& entry, size_t at, qsizetype x0, int y0,
                                 qsizetype& stride);
    // The state of bitmap, sharing the tiles it has in common with reference.
    Entry Capture(const QImage& bitmap, const Entry* reference);
    // bitmap := the state of entry; where bitmap is known to hold `known`, only the tiles
    // that differ from it are written.
    static void Restore(const Entry& entry, QImage& bitmap, const Entry* known);
    // The newest undo entry when bitmap is the one last seen, unchanged since.
    const Entry* ShownEntry(const QImage& bitmap) const;
    void Shown(const QImage& bitmap);
    bool Push(Ring& ring, Entry entry);

    qint64 budget_;
    // Bytes of all live tiles; shared with the tiles' deleters, which may outlive a moved
    // history.
    std::shared_ptr<std::atomic<qint64>> tileBytes_;
    Ring undo_;
    Ring redo_;
    bool shownKnown_ = false;
    qint64 shownKey_ = 0;
};
