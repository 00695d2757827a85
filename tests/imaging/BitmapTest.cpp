#include "imaging/Bitmap.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

TEST(Bitmap, SizesOutsideTheLimitsAreRefusedBeforeAllocating) {
    EXPECT_EQ(NewBitmap(3, 2).format(), Bitmap24Format);
    for (auto [w, h] : {std::pair{0, 5}, {5, -1}, {70000, 1}, {60000, 60000}})
        EXPECT_THROW(NewBitmap(w, h), QuvarError) << w << "x" << h;
}
