#pragma once
// A push button whose caption stands at its left edge, as a line of a form reads, rather
// than in its middle.

#include <QPushButton>

class LeftAlignedButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
