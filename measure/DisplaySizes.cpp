#include "DisplaySizes.h"

QStringList FotoSizeItems(bool useWidth) {
    QStringList items{QStringLiteral("Original Size (G)"), QStringLiteral("Fit to Window (F)")};
    const QString word = useWidth ? QStringLiteral("Width") : QStringLiteral("Height");
    for (int length : FotoSizeLengths)
        items << QStringLiteral("%1 = %2").arg(word).arg(length);
    return items;
}

namespace {

QString LongSizeWord(bool useWidth) {
    return useWidth ? QStringLiteral("Width in pixels") : QStringLiteral("Height in pixels");
}

} // namespace

QString ImgWidthLabelCaption(bool useWidth) {
    return QStringLiteral("Set Image ") + LongSizeWord(useWidth) + QStringLiteral(":");
}

QString ResizeItemCaption(const QString& item, bool useWidth) {
    const qsizetype blank = item.indexOf(QStringLiteral(" ="));
    if (blank < 0)
        return item;
    return LongSizeWord(useWidth) + item.mid(blank);
}

int FotoSizeItemForKey(int key) {
    switch (key) {
    case 'F':
        return FotoSizeFitToWindow;
    case 'G':
        return FotoSizeOriginal;
    case '3':
        return 5;
    case '4':
        return 6;
    case '5':
        return 7;
    case '6':
        return 8;
    case '7':
        return 9;
    case '8':
        return 10;
    case '9':
        return 12;
    case '0':
        return 13;
    default:
        return -1;
    }
}
