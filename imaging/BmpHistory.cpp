#include "BmpHistory.h"

#include "Bitmap.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace {

bool SameGeometry(const QImage& a, const QImage& b) {
    return a.size() == b.size() && a.format() == b.format() && a.bytesPerLine() == b.bytesPerLine();
}

// Pixels, resolution and colour table of from into to, which has from's geometry.
void CopyPixels(const QImage& from, QImage& to) {
    const qsizetype rowBytes = std::min(from.bytesPerLine(), to.bytesPerLine());
    for (int y = 0; y < from.height(); ++y)
        std::memcpy(to.scanLine(y), from.constScanLine(y), size_t(rowBytes));
    to.setDotsPerMeterX(from.dotsPerMeterX());
    to.setDotsPerMeterY(from.dotsPerMeterY());
    if (from.colorCount() > 0)
        to.setColorTable(from.colorTable());
}

// A deep copy of from in to, reusing to's memory when it fits and is not shared.
void CopyImage(const QImage& from, QImage& to) {
    if (from.isNull()) {
        to = QImage();
        return;
    }
    if (!(to.isDetached() && SameGeometry(from, to))) {
        to = QImage();
        to = NewBitmap(from.width(), from.height(), from.format());
    }
    CopyPixels(from, to);
}

} // namespace

qint64 BmpHistory::DefaultBudget() {
    constexpr qint64 Floor = qint64(512) << 20;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageBytes = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageBytes <= 0)
        return Floor;
    return std::max(Floor, qint64(pages) * pageBytes / 8);
}

BmpHistory::BmpHistory(qint64 byteBudget) : budget_(byteBudget) {
    for (Ring* ring : {&undo_, &redo_})
        for (QImage& slot : ring->images)
            slot = NewBitmap(10, 10);
    Clear();
}

void BmpHistory::Clear() {
    undo_.index = redo_.index = Slots - 1;
    undo_.count = redo_.count = -1;
}

bool BmpHistory::Add(const QImage& bitmap) {
    return PushUndo(bitmap);
}

bool BmpHistory::Undo(QImage& bitmap) {
    if (undo_.count <= 0)
        return false;
    PushRedo(bitmap);
    return PopUndo(bitmap);
}

bool BmpHistory::Redo(QImage& bitmap) {
    if (redo_.count < 0)
        return false;
    PopRedo(bitmap);
    PushUndo(bitmap);
    return true;
}

qint64 BmpHistory::SlotBytes() const {
    qint64 bytes = 0;
    for (const Ring* ring : {&undo_, &redo_})
        for (const QImage& slot : ring->images)
            bytes += slot.sizeInBytes();
    return bytes;
}

bool BmpHistory::StoreInSlot(QImage& slot, const QImage& bitmap) {
    if (bitmap.isNull() || (slot.isDetached() && SameGeometry(bitmap, slot))) {
        CopyImage(bitmap, slot);
        return true;
    }
    slot = QImage();
    if (budget_ != NoBudget && SlotBytes() + bitmap.sizeInBytes() > budget_)
        return false;
    try {
        CopyImage(bitmap, slot);
    } catch (const QuvarError&) {
        slot = QImage();
        return false;
    }
    return true;
}

void BmpHistory::FreeIdle(Ring& ring, int newest, int entries) {
    int slot = newest;
    for (int i = 0; i < Slots; ++i, slot = PrevSlot(slot))
        if (i >= entries)
            ring.images[size_t(slot)] = QImage();
}

bool BmpHistory::Push(Ring& ring, const QImage& bitmap) {
    const int target = NextSlot(ring.index);
    // Old entries that stay: all of them, unless the ring is full and the target slot is
    // the oldest. They sit just before the target slot.
    int kept = std::min(ring.count + 1, Slots - 1);
    bool idleFreed = false;
    while (!StoreInSlot(ring.images[target], bitmap)) {
        // Short of memory: first give back the images that hold no entry, then drop the
        // oldest entries one by one.
        if (!idleFreed) {
            idleFreed = true;
            FreeIdle(ring, PrevSlot(target), kept);
            Ring& other = (&ring == &undo_) ? redo_ : undo_;
            FreeIdle(other, other.index, other.count + 1);
            continue;
        }
        if (kept == 0) {
            ring.count = -1;
            return false;
        }
        ring.images[(target - kept + Slots) % Slots] = QImage();
        --kept;
    }
    ring.index = target;
    ring.count = kept;
    return true;
}

bool BmpHistory::PopUndo(QImage& out) {
    if (undo_.count <= 0)
        return false;
    undo_.index = PrevSlot(undo_.index);
    CopyImage(undo_.images[undo_.index], out);
    --undo_.count;
    return true;
}

bool BmpHistory::PopRedo(QImage& out) {
    if (redo_.count < 0)
        return false;
    CopyImage(redo_.images[redo_.index], out);
    redo_.index = PrevSlot(redo_.index);
    --redo_.count;
    return true;
}
