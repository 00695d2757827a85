#include "platform/ui/QuvarStyle.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// The box painted in style, at a size of its own.
QImage Painted(QStyle* style, const std::function<void(QGroupBox&)>& setUp) {
    QGroupBox box;
    box.setStyle(style);
    setUp(box);
    (new QVBoxLayout(&box))->addWidget(new QLabel(QStringLiteral("Leica 10x")));
    box.resize(230, 90);
    return box.grab().toImage();
}

} // namespace

// The group box frame the style draws itself is Fusion's, pixel for pixel, with a title or
// without, checkable, or disabled.
TEST(QuvarStyleTest, GroupBoxesLookAsFusionDrawsThem) {
    const std::pair<const char*, std::function<void(QGroupBox&)>> boxes[] = {
        {"titled", [](QGroupBox& b) { b.setTitle(QStringLiteral("Microscope and Camera")); }},
        {"untitled", [](QGroupBox&) {}},
        {"checkable",
         [](QGroupBox& b) {
             b.setTitle(QStringLiteral("Objectives"));
             b.setCheckable(true);
         }},
        {"disabled",
         [](QGroupBox& b) {
             b.setTitle(QStringLiteral("Calibration / Measurement"));
             b.setEnabled(false);
         }},
    };
    QuvarStyle quvar;
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    for (const auto& [name, setUp] : boxes) {
        const QImage ours = Painted(&quvar, setUp), theirs = Painted(fusion.get(), setUp);
        ASSERT_FALSE(theirs.isNull()) << name;
        EXPECT_TRUE(ours == theirs) << name;
    }
}
