// 16.16 vectors and the Outside modes (1 Void, 2 Edge, 3 Tile, 4 Mirror).
#include "VelmorGeneral.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>

using namespace Velmor;

namespace {

constexpr int kOne = 65536;  // one pixel in 16.16
constexpr int fx(double pixels) { return static_cast<int>(pixels * kOne); }

// One coordinate with S = 10 pixels through the 16.16 form, the size given in pixels.
int map10(double pixels, int type) { return Border::offsetF(fx(pixels), 10, type, false); }

}  // namespace

TEST(FixedPoint, ConversionsRoundHalfAwayFromZeroSaturateAndWrap) {
    // Half a step rounds away from zero on both sides, so that negating a value negates its
    // 16.16 form; just below half a step rounds towards zero.
    EXPECT_EQ(roundFixed(0.5 / kOne), 1);
    EXPECT_EQ(roundFixed(-0.5 / kOne), -1);
    EXPECT_EQ(roundFixed(0.49 / kOne), 0);
    EXPECT_EQ(roundFixed(-2.5), -2 * kOne - kOne / 2);
    EXPECT_EQ(roundFixed(90.0), 0x005A0000);
    // Beyond 32 bits: the largest magnitude a negation keeps; NaN is no displacement.
    EXPECT_EQ(roundFixed(1e300), INT_MAX);
    EXPECT_EQ(roundFixed(-1e300), -INT_MAX);
    EXPECT_EQ(roundFixed(32768.0), INT_MAX);
    EXPECT_EQ(roundFixed(std::nan("")), 0);

    EXPECT_EQ(toFixed(-3), -3 * kOne);
    EXPECT_EQ(toFixed(32768), INT_MIN);  // wraps, no signed overflow
    EXPECT_EQ(fromFixed(0x00640000), 100.0);
    EXPECT_EQ(fromFixed(-kOne / 4), -0.25);
}

TEST(VectorFixed, ArithmeticWrapsAndScalesWithoutRescaling) {
    VectorFixed a(INT_MAX, INT_MIN);
    a += VectorFixed(1, 0);
    a -= VectorFixed(0, 1);
    EXPECT_EQ(a, VectorFixed(INT_MIN, INT_MAX));

    const VectorFixed b = VectorFixed(kOne, -kOne / 2) * 3;
    EXPECT_EQ(b.x, 3 * kOne);
    EXPECT_EQ(b.y, -3 * kOne / 2);
    const VectorFixed c = b + VectorFixed(1, 2) - VectorFixed(4, 8);
    EXPECT_EQ(c, VectorFixed(3 * kOne - 3, -3 * kOne / 2 - 6));
    EXPECT_EQ((VectorFixed(0x40000000, 1) * 4).x, 0);
}

TEST(VectorFixed, RotateIsTheComplexProductWithDroppedLowBits) {
    const VectorFixed identity = createRotatedFixed(0.0);
    EXPECT_EQ(identity, VectorFixed(kOne, 0));
    const VectorFixed v(5 * kOne, -2 * kOne);
    EXPECT_EQ(v.rotate(identity), v);
    EXPECT_EQ(v, VectorFixed(5 * kOne, -2 * kOne));  // rotate leaves the vector alone

    // A quarter turn: (cos, -sin) = (0, -1), so (x, y) becomes (y, -x).
    const VectorFixed quarter = createRotatedFixed(std::numbers::pi / 2);
    EXPECT_EQ(quarter, VectorFixed(0, -kOne));
    EXPECT_EQ(VectorFixed(3 * kOne, kOne).rotate(quarter), VectorFixed(kOne, -3 * kOne));

    // The 12 low bits of the rotated vector are lost, with arithmetic shifts for negatives.
    EXPECT_EQ(VectorFixed(4095, 4096).rotate(identity), VectorFixed(0, 4096));
    EXPECT_EQ(VectorFixed(-1, -4097).rotate(identity), VectorFixed(-4096, -8192));
}

TEST(VectorFixed, CreateRotatedRoundsHalfAwayFromZero) {
    const VectorFixed third = createRotatedFixed(std::numbers::pi / 3);
    EXPECT_EQ(third.x, 32768);   // 32768.000000000007
    EXPECT_EQ(third.y, -56756);  // -56755.84...

    // Look for an angle whose sine times 65536 is exactly 0.5: then the y component is -0.5,
    // which rounds to -1 away from zero (truncation, floor(v + 0.5) and half-even all give 0).
    double angle = std::asin(0.5 / kOne);
    bool found = false;
    for (int step = 0; step < 64 && !found; ++step) {
        if (std::sin(angle) * kOne == 0.5)
            found = true;
        else
            angle = std::nextafter(angle, std::sin(angle) * kOne < 0.5 ? 1.0 : 0.0);
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(createRotatedFixed(angle).y, -1);
    EXPECT_EQ(createRotatedFixed(angle).x, kOne);
    if (std::sin(-angle) * kOne == -0.5) {
        EXPECT_EQ(createRotatedFixed(-angle).y, 1);
    }
}

TEST(Border, VoidAndUnknownCodesLeaveTheCoordinate) {
    for (int type : {1, 0, 5, -1, 99}) {
        EXPECT_EQ(Border::offset(-7, 10, type), -7) << type;
        EXPECT_EQ(Border::offset(25, 10, type), 25) << type;
        EXPECT_EQ(map10(-2.5, type), fx(-2.5)) << type;
        EXPECT_EQ(map10(12.25, type), fx(12.25)) << type;
        VectorFixed p(INT_MIN, INT_MAX);
        Border::offsetF(p, 10 * kOne, 9 * kOne, 10 * kOne, 9 * kOne, type);
        EXPECT_EQ(p, VectorFixed(INT_MIN, INT_MAX)) << type;
    }
}

TEST(Border, EdgeHoldsTheBorderPixel) {
    EXPECT_EQ(Border::offset(-3, 10, 2), 0);
    EXPECT_EQ(Border::offset(0, 10, 2), 0);
    EXPECT_EQ(Border::offset(9, 10, 2), 9);
    EXPECT_EQ(Border::offset(10, 10, 2), 9);  // exactly at the size
    EXPECT_EQ(Border::offset(12, 10, 2), 9);

    EXPECT_EQ(map10(-3, 2), 0);
    EXPECT_EQ(map10(-0.5, 2), 0);
    EXPECT_EQ(map10(4.75, 2), fx(4.75));
    EXPECT_EQ(map10(9.5, 2), fx(9));  // past the last pixel's position
    EXPECT_EQ(map10(10, 2), fx(9));
    EXPECT_EQ(map10(12, 2), fx(9));
}

TEST(Border, TileTakesTheNonNegativeRemainder) {
    EXPECT_EQ(Border::offset(25, 10, 3), 5);
    EXPECT_EQ(Border::offset(10, 10, 3), 0);
    EXPECT_EQ(Border::offset(-1, 10, 3), 9);
    EXPECT_EQ(Border::offset(-10, 10, 3), 0);
    EXPECT_EQ(Border::offset(-23, 10, 3), 7);

    EXPECT_EQ(map10(25, 3), fx(5));
    EXPECT_EQ(map10(10, 3), 0);
    EXPECT_EQ(map10(-0.5, 3), fx(9));  // 9.5 clamped to the last pixel
    EXPECT_EQ(map10(-1, 3), fx(9));
    EXPECT_EQ(map10(-10.25, 3), fx(9));  // 9.75 clamped
    EXPECT_EQ(map10(-12.5, 3), fx(7.5));
    EXPECT_EQ(map10(3.25, 3), fx(3.25));
}

TEST(Border, MirrorRepeatsTheEdgePixel) {
    EXPECT_EQ(Border::offset(4, 10, 4), 4);
    EXPECT_EQ(Border::offset(-1, 10, 4), 0);
    EXPECT_EQ(Border::offset(-2, 10, 4), 1);
    EXPECT_EQ(Border::offset(-10, 10, 4), 9);
    EXPECT_EQ(Border::offset(-11, 10, 4), 9);
    EXPECT_EQ(Border::offset(-21, 10, 4), 0);
    EXPECT_EQ(Border::offset(10, 10, 4), 9);
    EXPECT_EQ(Border::offset(19, 10, 4), 0);
    EXPECT_EQ(Border::offset(20, 10, 4), 0);
    // -c - 1 of the most negative int is INT_MAX, which is 7 mod 20.
    EXPECT_EQ(Border::offset(INT_MIN, 10, 4), 7);
    EXPECT_EQ(Border::offset(INT_MAX, 10, 4), 7);

    EXPECT_EQ(map10(-1, 4), 0);
    EXPECT_EQ(map10(-2, 4), fx(1));
    EXPECT_EQ(map10(10, 4), fx(9));
    EXPECT_EQ(map10(10.5, 4), fx(8.5));
    EXPECT_EQ(map10(20, 4), 0);
    EXPECT_EQ(map10(-0.5, 4), 0);     // -65536 - c is still negative: clamped to 0
    EXPECT_EQ(map10(9.5, 4), fx(9));  // inside, but beyond the last pixel's position
    EXPECT_EQ(map10(-3.25, 4), fx(2.25));
    EXPECT_EQ(map10(6, 4), fx(6));
}

TEST(Border, MirrorHoldsForLargeImagesAndExtremeCoordinates) {
    // 20000 pixels: 2S exceeds 32 bits, the reflection must still land inside the image.
    const int s = 20000 * kOne;
    EXPECT_EQ(Border::offsetF(s + kOne, s, 4, true), s - 2 * kOne);
    EXPECT_EQ(Border::offsetF(-2 * kOne, s, 4, true), kOne);
    EXPECT_EQ(Border::offsetF(INT_MAX, s, 4, true), 2 * 20000 * 65536LL - kOne - INT_MAX);
    // -65536 - INT_MIN = 2147418112, which is 7 pixels mod 20 pixels.
    EXPECT_EQ(Border::offsetF(INT_MIN, 10, 4, false), fx(7));
    // INT_MIN mod 10 pixels is -8 pixels: tiled to 2.
    EXPECT_EQ(Border::offsetF(INT_MIN, 10, 3, false), fx(2));
}

TEST(Border, FlagFormsTakeSizesInPixelsOrIn1616) {
    for (int type = 0; type <= 5; ++type) {
        for (double c : {-25.5, -10.0, -1.0, -0.25, 0.0, 3.5, 9.0, 9.75, 10.0, 17.0, 31.5}) {
            const int viaPixels = Border::offsetF(fx(c), 10, type, false);
            EXPECT_EQ(Border::offsetF(fx(c), 10 * kOne, type, true), viaPixels);

            VectorFixed p(fx(c), fx(c + 3));
            Border::offsetF(p, 10, 7, type, false);
            VectorFixed q(fx(c), fx(c + 3));
            Border::offsetF(q, 10 * kOne, 7 * kOne, type, true);
            VectorFixed r(fx(c), fx(c + 3));
            Border::offsetF(r, 10 * kOne, 9 * kOne, 7 * kOne, 6 * kOne, type);
            EXPECT_EQ(p.x, viaPixels);
            EXPECT_EQ(p.y, Border::offsetF(fx(c + 3), 7, type, false));
            EXPECT_EQ(q, p);
            EXPECT_EQ(r, p);
        }
    }
}

TEST(Border, VectorFormUsesEachAxisOwnLimits) {
    VectorFixed p(fx(12), fx(12));
    Border::offsetF(p, fx(20), fx(19), fx(10), fx(9), 2);
    EXPECT_EQ(p, VectorFixed(fx(12), fx(9)));

    // The maxima are taken as given, not derived from the sizes.
    VectorFixed q(fx(30), fx(-4));
    Border::offsetF(q, fx(40), fx(25), fx(10), fx(9), 2);
    EXPECT_EQ(q, VectorFixed(fx(25), 0));

    VectorFixed t(fx(-1), fx(23));
    Border::offsetF(t, fx(20), fx(19), fx(10), fx(9), 3);
    EXPECT_EQ(t, VectorFixed(fx(19), fx(3)));
}

TEST(Border, EmptySizesDoNotDivideByZero) {
    EXPECT_EQ(Border::offset(5, 0, 3), 5);
    EXPECT_EQ(Border::offset(5, 0, 4), 5);
    EXPECT_EQ(Border::offsetF(fx(5), 0, 3, false), fx(5));
    EXPECT_EQ(Border::offsetF(fx(5), 0, 4, true), fx(5));
}
