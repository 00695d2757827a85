#pragma once
// The program's widget style: Fusion, without the image-format plugins that Qt loads and
// asks, all of them, before it reads any picture through its image readers. Fusion reads
// pictures for the toolbar extension arrow, which every menu bar asks for when it is made
// and shows only when it is too narrow for its menus: read here when first drawn. And for
// the frame of every group box, at the window's first paint: read here by the built-in PNG
// reader alone, and drawn as Fusion draws it.

#include <QPixmap>
#include <QProxyStyle>

#include <optional>

class QuvarStyle final : public QProxyStyle {
public:
    QuvarStyle();
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    // Fusion's group box frame picture; null where this Qt has none.
    const QPixmap& GroupBoxFrame() const;

    mutable std::optional<QPixmap> groupBoxFrame_;
};
