#include "DisplayGeometry.h"

#include "DisplaySizes.h"
#include "platform/NumberFormat.h"

#include <algorithm>

namespace {

int AtLeastOne(int64_t value) {
    return int(std::clamp<int64_t>(value, 1, 1 << 20));
}

} // namespace

QSize FitRectangle(QSize original, QSize box) {
    if (original.width() <= 0 || original.height() <= 0)
        return {1, 1};
    const double r = double(original.width()) / original.height();
    int w = std::max(box.width(), 1);
    int h = std::max(box.height(), 1);
    if (double(w) / h >= r)
        w = AtLeastOne(RoundHalfEven(h * r));
    if (double(w) / h < r)
        h = AtLeastOne(RoundHalfEven(w / r));
    return {w, h};
}

QSize WorkImageSize(int item, QSize original, QSize box, bool useWidth) {
    if (original.width() <= 0 || original.height() <= 0)
        return {1, 1};
    if (item <= FotoSizeOriginal || item >= FotoSizeItemCount)
        return original;
    if (item == FotoSizeFitToWindow) {
        const QSize fit = FitRectangle(original, box);
        return {AtLeastOne(fit.width() - 4), AtLeastOne(fit.height() - 4)};
    }
    const double r = double(original.width()) / original.height();
    const int n = FotoSizeLengths[size_t(item - 2)];
    if (useWidth)
        return {n, AtLeastOne(RoundHalfEven(n / r))};
    return {AtLeastOne(RoundHalfEven(n * r)), n};
}
