#pragma once
// The program's widget style: Fusion, with the toolbar extension arrows read when first
// drawn. Every menu bar asks for one when it is made, and reading it makes Qt load all its
// image-format plugins: at start, for an arrow that shows only when the menu bar is too
// narrow for its menus.

#include <QProxyStyle>

class QuvarStyle final : public QProxyStyle {
public:
    QuvarStyle();
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
