#include "QuvarStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>

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
