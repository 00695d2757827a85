#include "LeftAlignedButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

void LeftAlignedButton::paintEvent(QPaintEvent*) {
    // The style draws the button without its caption; the caption follows at the left of
    // the area the style gives the contents, a button margin in.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    const QStyle* s = style();
    const int margin = s->pixelMetric(QStyle::PM_ButtonMargin, &option, this) / 2;
    const QRect area = s->subElementRect(QStyle::SE_PushButtonContents, &option, this)
                           .adjusted(margin, 0, -margin, 0);
    painter.drawItemText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                         option.palette, isEnabled(), caption, QPalette::ButtonText);
}
