#include "DisplaySizes.h"

QStringList FotoSizeItems(bool useWidth) {
    QStringList items{QStringLiteral("Original Size (G)"), QStringLiteral("Fit to Window (F)")};
    const QString word = useWidth ? QStringLiteral("Width") : QStringLiteral("Height");
    for (int length : FotoSizeLengths)
        items << QStringLiteral("%1 = %2").arg(word).arg(length);
    return items;
}
