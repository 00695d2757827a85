#pragma once
// Undo and redo store of whole bitmaps: two rings of 16 images. The newest undo entry is
// the state on display, so at most 15 steps back are possible; the redo ring keeps up to 16
// undone states. Bitmaps are copied in and out; the caller keeps its own.

#include <QImage>

#include <array>

class BmpHistory {
public:
    static constexpr int Slots = 16;

    static constexpr qint64 NoBudget = -1;

    // An eighth of the physical memory (at least 512 MiB): the measuring window keeps two
    // histories, and 32 copies of a 24-megapixel image alone would take 2.3 GB each. Linux
    // hands out memory it does not have, so running out shows as the process being killed,
    // not as a failed allocation: the budget is what keeps a history inside the machine.
    static qint64 DefaultBudget();

    // byteBudget bounds the memory of all 32 images together; an Add or Undo that would
    // exceed it drops the oldest entries of its ring, as when memory runs out.
    explicit BmpHistory(qint64 byteBudget = DefaultBudget());

    // Empties both rings; the slot memory is kept for reuse.
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

private:
    struct Ring {
        std::array<QImage, Slots> images;
        int index = Slots - 1;
        int count = -1;
    };

    static int NextSlot(int index) { return index + 1 == Slots ? 0 : index + 1; }
    static int PrevSlot(int index) { return index == 0 ? Slots - 1 : index - 1; }
    bool PushUndo(const QImage& bitmap) { return Push(undo_, bitmap); }
    bool PushRedo(const QImage& bitmap) { return Push(redo_, bitmap); }
    bool PopUndo(QImage& out);
    bool PopRedo(QImage& out);
    bool Push(Ring& ring, const QImage& bitmap);
    bool StoreInSlot(QImage& slot, const QImage& bitmap);
    // Releases the memory of every slot but the `entries` ones from `newest` backwards.
    static void FreeIdle(Ring& ring, int newest, int entries);
    qint64 SlotBytes() const;

    qint64 budget_;
    Ring undo_;
    Ring redo_;
};
