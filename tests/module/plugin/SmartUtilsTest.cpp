// UnionLRect: how the smart-render path grows its output rectangles to cover the input's.
#include "Smart_Utils.h"

#include <gtest/gtest.h>

namespace {

PF_LRect rect(A_long l, A_long t, A_long r, A_long b) { return PF_LRect{l, t, r, b}; }

void expectRect(const PF_LRect& got, const PF_LRect& want) {
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
}

}  // namespace

TEST(UnionLRect, AnEmptyDestinationBecomesACopyOfTheSource) {
    for (PF_LRect dst : {rect(0, 0, 0, 0), rect(5, 5, 5, 9), rect(3, 7, 9, 7), rect(9, 9, 2, 2)}) {
        const PF_LRect src = rect(-20, -10, 120, 90);
        UnionLRect(&src, &dst);
        expectRect(dst, src);
    }
    // Even an empty source is copied into an empty destination.
    PF_LRect dst = rect(4, 4, 4, 4);
    const PF_LRect src = rect(8, 1, 2, 3);
    UnionLRect(&src, &dst);
    expectRect(dst, src);
}

TEST(UnionLRect, TwoRectanglesGrowToTheirBoundingBox) {
    PF_LRect dst = rect(0, 0, 100, 50);
    const PF_LRect src = rect(-21, 10, 80, 71);
    UnionLRect(&src, &dst);
    expectRect(dst, rect(-21, 0, 100, 71));

    PF_LRect apart = rect(0, 0, 10, 10);
    const PF_LRect far = rect(50, 60, 70, 80);
    UnionLRect(&far, &apart);
    expectRect(apart, rect(0, 0, 70, 80));
}

TEST(UnionLRect, AnEmptySourceLeavesADestinationAlone) {
    for (PF_LRect src : {rect(0, 0, 0, 0), rect(-500, -500, -500, 500), rect(10, 900, 20, 900),
                         rect(100, 100, -100, -100)}) {
        PF_LRect dst = rect(1, 2, 3, 4);
        UnionLRect(&src, &dst);
        expectRect(dst, rect(1, 2, 3, 4));
    }
}

TEST(UnionLRect, IsEmptyRectCountsZeroWidthOrHeightAsEmpty) {
    const PF_LRect zeroWidth = rect(3, 0, 3, 10), zeroHeight = rect(0, 3, 10, 3), inverted = rect(5, 5, 4, 6),
                   onePixel = rect(-1, -1, 0, 0);
    EXPECT_TRUE(IsEmptyRect(&zeroWidth));
    EXPECT_TRUE(IsEmptyRect(&zeroHeight));
    EXPECT_TRUE(IsEmptyRect(&inverted));
    EXPECT_FALSE(IsEmptyRect(&onePixel));
}
