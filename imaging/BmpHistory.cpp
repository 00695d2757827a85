#include "BmpHistory.h"

#include "Bitmap.h"
#include "BitmapResize.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <unistd.h>

namespace {

// A tile spans 256 bytes of 32 rows (85 pixels of 24 bits, 64 of 32): small enough that a
// drawn line changes little more than itself, large enough that the tables stay small
// (17 kB for a 24-megapixel image).
constexpr qsizetype TileBytes = 256;
constexpr int TileRows = 32;

struct TileSpan {
    qsizetype x0, bytes; // byte range within a row
    int y0, rows;
};

TileSpan SpanOf(int column, int row, qsizetype bytesPerLine, int height) {
    const qsizetype x0 = qsizetype(column) * TileBytes;
    const int y0 = row * TileRows;
    return {x0, std::min(TileBytes, bytesPerLine - x0), y0, std::min(TileRows, height - y0)};
}

bool SameTile(const uchar* tile, qsizetype stride, const QImage& bitmap, const TileSpan& span) {
    for (int r = 0; r < span.rows; ++r)
        if (std::memcmp(tile + r * stride, bitmap.constScanLine(span.y0 + r) + span.x0,
                        size_t(span.bytes)) != 0)
            return false;
    return true;
}

// Whether two entries' shared bitmaps are the same pixels.
bool SameWhole(const QImage& a, const QImage& b) {
    return a.isNull() == b.isNull() && (a.isNull() || a.cacheKey() == b.cacheKey());
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

void BmpHistory::Empty(Ring& ring) {
    for (Entry& entry : ring.entries)
        entry = Entry(); // a moved-in empty table, so that its memory goes too
}

BmpHistory::BmpHistory(qint64 byteBudget)
    : budget_(byteBudget), tileBytes_(std::make_shared<std::atomic<qint64>>(0)) {
    Clear();
}

void BmpHistory::Clear() {
    for (Ring* ring : {&undo_, &redo_}) {
        Empty(*ring);
        ring->index = Slots - 1;
        ring->count = -1;
    }
    shownKnown_ = false;
}

qint64 BmpHistory::MemoryBytes() const {
    qint64 bytes = tileBytes_->load();
    // Shared bitmaps count once, as if the history alone held them.
    std::vector<qint64> wholes;
    for (const Ring* ring : {&undo_, &redo_})
        for (const Entry& entry : ring->entries) {
            bytes += qint64(entry.tiles.capacity() * sizeof(Tile));
            if (entry.whole.isNull() ||
                std::find(wholes.begin(), wholes.end(), entry.whole.cacheKey()) != wholes.end())
                continue;
            wholes.push_back(entry.whole.cacheKey());
            bytes += entry.whole.sizeInBytes();
        }
    return bytes;
}

const uchar* BmpHistory::TileData(const Entry& entry, size_t at, qsizetype x0, int y0,
                                  qsizetype& stride) {
    if (const uchar* tile = entry.tiles[at].get()) {
        stride = std::min(TileBytes, entry.bytesPerLine - x0);
        return tile;
    }
    stride = entry.whole.bytesPerLine();
    return entry.whole.constScanLine(y0) + x0;
}

BmpHistory::Entry BmpHistory::Capture(const QImage& bitmap, const Entry* reference) {
    Entry entry;
    entry.used = true;
    entry.null = bitmap.isNull();
    if (entry.null)
        return entry;
    entry.size = bitmap.size();
    entry.format = bitmap.format();
    entry.bytesPerLine = bitmap.bytesPerLine();
    entry.dotsPerMeterX = bitmap.dotsPerMeterX();
    entry.dotsPerMeterY = bitmap.dotsPerMeterY();
    entry.colorTable = bitmap.colorTable();
    entry.columns = int((entry.bytesPerLine + TileBytes - 1) / TileBytes);
    entry.rows = (bitmap.height() + TileRows - 1) / TileRows;
    entry.tiles.resize(size_t(entry.columns) * size_t(entry.rows));
    const bool comparable = reference && !reference->null && reference->size == entry.size &&
                            reference->format == entry.format &&
                            reference->bytesPerLine == entry.bytesPerLine;
    if (!comparable) {
        // Nothing to share tiles with: the bitmap itself, its pixels shared until written.
        entry.whole = bitmap;
        return entry;
    }
    const std::shared_ptr<std::atomic<qint64>> counter = tileBytes_;
    const int height = bitmap.height();
    ForEachRowBand(
        entry.rows, int64_t(entry.bytesPerLine) * height / 4, 0, [&](int first, int last) {
            for (int row = first; row < last; ++row)
                for (int column = 0; column < entry.columns; ++column) {
                    const size_t at = size_t(row) * size_t(entry.columns) + size_t(column);
                    const TileSpan span = SpanOf(column, row, entry.bytesPerLine, height);
                    qsizetype stride = 0;
                    const uchar* kept = TileData(*reference, at, span.x0, span.y0, stride);
                    if (SameTile(kept, stride, bitmap, span)) {
                        entry.tiles[at] = reference->tiles[at]; // null: read from whole
                        continue;
                    }
                    const qint64 bytes = qint64(span.bytes) * span.rows;
                    Tile tile(new uchar[size_t(bytes)], [counter, bytes](uchar* data) {
                        *counter -= bytes;
                        delete[] data;
                    });
                    *counter += bytes;
                    for (int r = 0; r < span.rows; ++r)
                        std::memcpy(tile.get() + r * span.bytes,
                                    bitmap.constScanLine(span.y0 + r) + span.x0,
                                    size_t(span.bytes));
                    entry.tiles[at] = std::move(tile);
                }
        });
    // The reference's shared bitmap stays alive only while a tile is read from it.
    if (std::any_of(entry.tiles.begin(), entry.tiles.end(), [](const Tile& t) { return !t; }))
        entry.whole = reference->whole;
    return entry;
}

void BmpHistory::Restore(const Entry& entry, QImage& bitmap, const Entry* known) {
    if (entry.null) {
        bitmap = QImage();
        return;
    }
    // Written in place only when no other QImage shares the bitmap's pixels: the history's
    // own entries among them.
    const bool inPlace = bitmap.isDetached() && bitmap.size() == entry.size &&
                         bitmap.format() == entry.format &&
                         bitmap.bytesPerLine() == entry.bytesPerLine;
    const bool whole =
        std::none_of(entry.tiles.begin(), entry.tiles.end(), [](const Tile& t) { return t; });
    if (whole && (!inPlace || !known)) {
        // Nothing to write: the bitmap shares the stored one's pixels.
        bitmap = entry.whole;
        if (bitmap.dotsPerMeterX() != entry.dotsPerMeterX)
            bitmap.setDotsPerMeterX(entry.dotsPerMeterX);
        if (bitmap.dotsPerMeterY() != entry.dotsPerMeterY)
            bitmap.setDotsPerMeterY(entry.dotsPerMeterY);
        if (bitmap.colorTable() != entry.colorTable)
            bitmap.setColorTable(entry.colorTable);
        return;
    }
    if (!inPlace) {
        bitmap = QImage();
        bitmap = NewBitmap(entry.size.width(), entry.size.height(), entry.format);
        known = nullptr;
    } else if (known &&
               (known->null || known->size != entry.size || known->format != entry.format ||
                known->bytesPerLine != entry.bytesPerLine)) {
        known = nullptr;
    }
    uchar* const bits = bitmap.bits();
    const qsizetype stride = bitmap.bytesPerLine();
    const int height = entry.size.height();
    ForEachRowBand(
        entry.rows, int64_t(entry.bytesPerLine) * height / 4, 0, [&](int first, int last) {
            for (int row = first; row < last; ++row)
                for (int column = 0; column < entry.columns; ++column) {
                    const size_t at = size_t(row) * size_t(entry.columns) + size_t(column);
                    if (known && known->tiles[at] == entry.tiles[at] &&
                        (entry.tiles[at] || SameWhole(known->whole, entry.whole)))
                        continue;
                    const TileSpan span = SpanOf(column, row, entry.bytesPerLine, height);
                    // A new bitmap's rows may be shorter than the stored ones' padding.
                    const qsizetype bytes = std::min(span.bytes, stride - span.x0);
                    if (bytes <= 0)
                        continue;
                    qsizetype from = 0;
                    const uchar* tile = TileData(entry, at, span.x0, span.y0, from);
                    for (int r = 0; r < span.rows; ++r)
                        std::memcpy(bits + (span.y0 + r) * stride + span.x0, tile + r * from,
                                    size_t(bytes));
                }
        });
    bitmap.setDotsPerMeterX(entry.dotsPerMeterX);
    bitmap.setDotsPerMeterY(entry.dotsPerMeterY);
    if (!entry.colorTable.isEmpty())
        bitmap.setColorTable(entry.colorTable);
}

const BmpHistory::Entry* BmpHistory::ShownEntry(const QImage& bitmap) const {
    if (!shownKnown_ || undo_.count < 0 || bitmap.cacheKey() != shownKey_)
        return nullptr;
    const Entry& newest = undo_.entries[size_t(undo_.index)];
    if (newest.null != bitmap.isNull())
        return nullptr;
    if (!newest.null && (newest.size != bitmap.size() || newest.format != bitmap.format() ||
                         newest.bytesPerLine != bitmap.bytesPerLine() ||
                         newest.dotsPerMeterX != bitmap.dotsPerMeterX() ||
                         newest.dotsPerMeterY != bitmap.dotsPerMeterY() ||
                         newest.colorTable != bitmap.colorTable()))
        return nullptr;
    return &newest;
}

void BmpHistory::Shown(const QImage& bitmap) {
    shownKnown_ = true;
    shownKey_ = bitmap.cacheKey();
}

bool BmpHistory::Push(Ring& ring, Entry entry) {
    const int target = NextSlot(ring.index);
    // Old entries that stay: all of them, unless the ring is full and the target slot is
    // the oldest. They sit just before the target slot.
    int kept = std::min(ring.count + 1, Slots - 1);
    ring.entries[size_t(target)] = std::move(entry);
    while (budget_ != NoBudget && MemoryBytes() > budget_) {
        // Short of memory: drop the oldest entries one by one; their tiles go with the
        // last entry that shares them.
        if (kept == 0) {
            ring.entries[size_t(target)] = Entry();
            ring.count = -1;
            return false;
        }
        ring.entries[size_t((target - kept + Slots) % Slots)] = Entry();
        --kept;
    }
    ring.index = target;
    ring.count = kept;
    return true;
}

bool BmpHistory::Add(const QImage& bitmap) {
    const Entry* reference = undo_.count >= 0 ? &undo_.entries[size_t(undo_.index)] : nullptr;
    const Entry* shown = ShownEntry(bitmap);
    Entry entry;
    try {
        entry = shown ? *shown : Capture(bitmap, reference);
    } catch (const std::bad_alloc&) {
        Empty(undo_);
        undo_.count = -1;
        shownKnown_ = false;
        return false;
    }
    if (!Push(undo_, std::move(entry))) {
        shownKnown_ = false;
        return false;
    }
    Shown(bitmap);
    return true;
}

bool BmpHistory::Undo(QImage& bitmap) {
    if (undo_.count <= 0)
        return false;
    const Entry* shown = ShownEntry(bitmap);
    // The state on display, for redo: what the bitmap now holds.
    Entry current;
    bool captured = true;
    try {
        current = shown ? *shown : Capture(bitmap, &undo_.entries[size_t(undo_.index)]);
    } catch (const std::bad_alloc&) {
        captured = false;
    }
    if (captured)
        Push(redo_, current);
    undo_.entries[size_t(undo_.index)] = Entry();
    undo_.index = PrevSlot(undo_.index);
    --undo_.count;
    Restore(undo_.entries[size_t(undo_.index)], bitmap, captured ? &current : nullptr);
    Shown(bitmap);
    return true;
}

bool BmpHistory::Redo(QImage& bitmap) {
    if (redo_.count < 0)
        return false;
    const Entry* shown = ShownEntry(bitmap);
    Entry entry = std::move(redo_.entries[size_t(redo_.index)]);
    redo_.entries[size_t(redo_.index)] = Entry();
    redo_.index = PrevSlot(redo_.index);
    --redo_.count;
    Restore(entry, bitmap, shown);
    // The restored state becomes the newest undo entry: the state on display again.
    if (Push(undo_, std::move(entry)))
        Shown(bitmap);
    else
        shownKnown_ = false;
    return true;
}
