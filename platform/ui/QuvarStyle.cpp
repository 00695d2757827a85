#include "QuvarStyle.h"

#include <QGroupBox>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>
#include <qdrawutil.h>

#include <algorithm>
#include <optional>

namespace {

// A style's standard icon, asked of the style only when it is first needed.
class StandardIconOnFirstUse final : public QIconEngine {
public:
    StandardIconOnFirstUse(QStyle* style, QStyle::StandardPixmap which)
        : style_(style), which_(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Icon().availableSizes(mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return Icon().pixmap(size, scale, mode, state);
    }
    // Asking whether there is an icon must not read it.
    bool isNull() override { return style_.isNull(); }
    QIconEngine* clone() const override { return new StandardIconOnFirstUse(style_, which_); }

private:
    const QIcon& Icon() {
        if (!icon_)
            icon_ = style_ ? style_->standardIcon(which_) : QIcon();
        return *icon_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    std::optional<QIcon> icon_;
};

} // namespace

QuvarStyle::QuvarStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QIcon QuvarStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                               const QWidget* widget) const {
    if (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton)
        return QIcon(new StandardIconOnFirstUse(baseStyle(), which));
    return QProxyStyle::standardIcon(which, option, widget);
}

const QPixmap& QuvarStyle::GroupBoxFrame() const {
    if (!groupBoxFrame_) {
        // Named by its format and not guessed: only then does the reader leave the plugins.
        QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/"
                                           "fusion_groupbox.png"),
                            "png");
        reader.setAutoDetectImageFormat(false);
        groupBoxFrame_ = QPixmap::fromImage(reader.read());
    }
    return *groupBoxFrame_;
}

void QuvarStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox || GroupBoxFrame().isNull()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Fusion's frame: its picture stretched between 6-pixel borders, below the title's line
    // (only a small gap when there is neither a title nor a check box).
    constexpr int gap = 3;
    const auto* box = qobject_cast<const QGroupBox*>(widget);
    const int top = box && !box->isCheckable() && box->title().isEmpty()
                        ? gap
                        : std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                   option->fontMetrics.height()) +
                              gap;
    qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6),
                      GroupBoxFrame());
}
