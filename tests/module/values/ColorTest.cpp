// Colours and their conversions to host pixels: clamping and truncation, never rounding.
#include "VelmorGeneral.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace Velmor;

namespace {

PF_Pixel px8(int a, int r, int g, int b) {
    return PF_Pixel{static_cast<A_u_char>(a), static_cast<A_u_char>(r), static_cast<A_u_char>(g),
                    static_cast<A_u_char>(b)};
}

PF_Pixel16 px16(int a, int r, int g, int b) {
    return PF_Pixel16{static_cast<A_u_short>(a), static_cast<A_u_short>(r), static_cast<A_u_short>(g),
                      static_cast<A_u_short>(b)};
}

template <typename T>
class ColorFloatBoth : public ::testing::Test {};
using FloatTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(ColorFloatBoth, FloatTypes);

}  // namespace

TYPED_TEST(ColorFloatBoth, EveryEightBitValueSurvivesTheRoundTrip) {
    for (int v = 0; v < 256; ++v) {
        // Each channel a different value so that a channel mix-up shows as well.
        const PF_Pixel in = px8(v, 255 - v, (v + 85) % 256, (v + 170) % 256);
        const PF_Pixel out = aePixel8(ColorFloat<TypeParam>(in));
        EXPECT_EQ(out.alpha, in.alpha) << v;
        EXPECT_EQ(out.red, in.red) << v;
        EXPECT_EQ(out.green, in.green) << v;
        EXPECT_EQ(out.blue, in.blue) << v;
    }
}

TYPED_TEST(ColorFloatBoth, SixteenBitFullScaleIs32768AndAboveItClamps) {
    using T = TypeParam;
    const ColorFloat<T> c(px16(32768, 65535, 32769, 16384));
    EXPECT_EQ(c.alpha, T(1));
    EXPECT_EQ(c.red, T(0x1.fffep+0));  // 65535 / 32768
    EXPECT_EQ(c.blue, T(0.5));
    const PF_Pixel16 out = aePixel16(c);
    EXPECT_EQ(out.alpha, 32768);
    EXPECT_EQ(out.red, 32768);
    EXPECT_EQ(out.green, 32768);
    EXPECT_EQ(out.blue, 16384);

    const ColorFloat<T> raw(px16(32768, 65535, 1, 0), false);
    EXPECT_EQ(raw.alpha, T(32768));
    EXPECT_EQ(raw.red, T(65535));
    EXPECT_EQ(raw.green, T(1));
}

TYPED_TEST(ColorFloatBoth, EightBitConversionTruncatesAndClamps) {
    using T = TypeParam;
    const T nan = std::numeric_limits<T>::quiet_NaN();
    PF_Pixel p = aePixel8(ColorFloat<T>(T(0.5), T(1.0), T(1.5), T(-0.1)));
    EXPECT_EQ(p.alpha, 127);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 255);
    EXPECT_EQ(p.blue, 0);

    // Just below 1 is 254, not 255: there is no rounding to nearest. NaN comes out as 0.
    p = aePixel8(ColorFloat<T>(std::nextafter(T(1), T(0)), nan, T(0), T(254.9 / 255)));
    EXPECT_EQ(p.alpha, 254);
    EXPECT_EQ(p.red, 0);
    EXPECT_EQ(p.blue, 254);

    p = aePixel8(ColorFloat<T>(T(127.9), T(300), T(-3), T(255)), false);
    EXPECT_EQ(p.alpha, 127);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 0);
    EXPECT_EQ(p.blue, 255);
}

TYPED_TEST(ColorFloatBoth, SixteenBitConversionTruncatesAndClamps) {
    using T = TypeParam;
    const T nan = std::numeric_limits<T>::quiet_NaN();
    PF_Pixel16 p = aePixel16(ColorFloat<T>(T(0.5), T(1.5), nan, T(-0.1)));
    EXPECT_EQ(p.alpha, 16384);
    EXPECT_EQ(p.red, 32768);
    EXPECT_EQ(p.green, 0);
    EXPECT_EQ(p.blue, 0);

    p = aePixel16(ColorFloat<T>(T(32767.9), T(40000), T(32768), T(1)), false);
    EXPECT_EQ(p.alpha, 32767);
    EXPECT_EQ(p.red, 32768);
    EXPECT_EQ(p.green, 32768);
    EXPECT_EQ(p.blue, 1);
}

TYPED_TEST(ColorFloatBoth, FloatPixelsPassThroughUnlimited) {
    using T = TypeParam;
    const PF_PixelFloat p = aePixel32(ColorFloat<T>(T(1.5), T(-0.1), T(0.1), T(1e30)));
    EXPECT_EQ(p.alpha, 1.5f);
    EXPECT_EQ(p.red, -0.1f);
    EXPECT_EQ(p.green, 0.1f);
    EXPECT_EQ(p.blue, 1e30f);

    const ColorFloat<T> back(PF_PixelFloat{2.5f, -1.0f, 0.25f, 0.1f});
    EXPECT_EQ(back.alpha, T(2.5));
    EXPECT_EQ(back.red, T(-1));
    EXPECT_EQ(back.blue, T(0.1f));  // widened, not re-rounded to the double 0.1
}

TYPED_TEST(ColorFloatBoth, ConstructorsSetAlphaAsDocumented) {
    using T = TypeParam;
    const ColorFloat<T> three(T(0.2), T(0.4), T(0.6));
    EXPECT_EQ(three.alpha, T(1));
    EXPECT_EQ(three.red, T(0.2));
    EXPECT_EQ(three.blue, T(0.6));
    const ColorFloat<T> none;
    EXPECT_EQ(none.alpha, T(0));
    const ColorFloat<T> raw(px8(10, 20, 30, 255), false);
    EXPECT_EQ(raw.alpha, T(10));
    EXPECT_EQ(raw.blue, T(255));
}

TYPED_TEST(ColorFloatBoth, ClampDotAndMultLeaveAlphaAlone) {
    using T = TypeParam;
    ColorFloat<T> c(T(1.7), T(1.2), T(-0.5), std::numeric_limits<T>::quiet_NaN());
    c.clamp(T(1));
    EXPECT_EQ(c.alpha, T(1.7));
    EXPECT_EQ(c.red, T(1));
    EXPECT_EQ(c.green, T(0));
    EXPECT_TRUE(std::isnan(c.blue));

    const ColorFloat<T> a(T(100), T(1), T(2), T(3));
    const ColorFloat<T> b(T(-50), T(4), T(5), T(6));
    EXPECT_EQ(a.dot(b), T(32));

    ColorFloat<T> m(T(1), T(0.5), T(1), T(2));
    m.mult(T(0.5));
    EXPECT_EQ(m.alpha, T(1));
    EXPECT_EQ(m.red, T(0.25));
    EXPECT_EQ(m.blue, T(1));
    m.div(T(0.25));
    EXPECT_EQ(m.alpha, T(1));
    EXPECT_EQ(m.green, T(2));

    const ColorFloat<T> h = ColorFloat<T>(T(1), T(0.5), T(1), T(2)) * T(0.5);
    EXPECT_EQ(h.alpha, T(0.5));
    EXPECT_EQ(h.red, T(0.25));
    EXPECT_EQ(h.blue, T(1));
}

TYPED_TEST(ColorFloatBoth, ArithmeticCoversAllFourChannels) {
    using T = TypeParam;
    const ColorFloat<T> a(T(1), T(2), T(3), T(4));
    const ColorFloat<T> b(T(0.5), T(0.25), T(-1), T(8));
    const ColorFloat<T> s = a + b;
    const ColorFloat<T> d = a - b;
    EXPECT_EQ(s.alpha, T(1.5));
    EXPECT_EQ(s.blue, T(12));
    EXPECT_EQ(d.alpha, T(0.5));
    EXPECT_EQ(d.green, T(4));
    const ColorFloat<T> q = a / 4;
    EXPECT_EQ(q.alpha, T(0.25));
    EXPECT_EQ(q.blue, T(1));
    ColorFloat<T> m = a;
    m *= 3;
    EXPECT_EQ(m.alpha, T(3));
    EXPECT_EQ(m.green, T(9));
}

TEST(ColorFloat, DoubleIntDivisionGoesThroughSinglePrecision) {
    // 16777217 = 2^24 + 1 has no float: as a divisor it becomes 2^24, while the product keeps it.
    const ColorFloat<double> c(16777216.0, 16777216.0, 1.0, 0.0);
    const ColorFloat<double> q = c / 16777217;
    EXPECT_EQ(q.alpha, 1.0);
    EXPECT_EQ(q.green, 0x1p-24);
    ColorFloat<double> q2 = c;
    q2 /= 16777217;
    EXPECT_EQ(q2.red, 1.0);
    const ColorFloat<double> p = ColorFloat<double>(1.0, 1.0, 1.0, 1.0) * 16777217;
    EXPECT_EQ(p.alpha, 16777217.0);
}

TEST(ColorFloat, EightBitReadIsADivisionNotAReciprocalProduct) {
    // Where v / 255 and v * (1 / 255) differ in single precision, the constructor divides.
    int differing = 0;
    for (int v = 0; v < 256; ++v) {
        const float byDivision = static_cast<float>(v) / 255.0f;
        const float byReciprocal = static_cast<float>(v) * (1.0f / 255.0f);
        if (byDivision == byReciprocal) continue;
        ++differing;
        EXPECT_EQ(ColorFloat<float>(px8(v, 0, 0, 0)).alpha, byDivision) << v;
    }
    ASSERT_GT(differing, 0);
}

TEST(ColorInt, ReadsPixelsUnscaledAndZeroExtended) {
    const ColorInt<int> c(px8(200, 255, 0, 1));
    EXPECT_EQ(c.alpha, 200);
    EXPECT_EQ(c.red, 255);
    const ColorInt<unsigned int> d(px16(65535, 32768, 0, 7));
    EXPECT_EQ(d.alpha, 65535u);
    EXPECT_EQ(d.red, 32768u);
    EXPECT_EQ(d.blue, 7u);
}

TEST(ColorInt, ArithmeticWrapsAndDividesByTheRuleOfItsType) {
    const ColorInt<int> big(INT_MAX, 1, -7, 7);
    const ColorInt<int> one(1, 1, 1, 1);
    const ColorInt<int> s = big + one;
    EXPECT_EQ(s.alpha, INT_MIN);
    EXPECT_EQ((ColorInt<int>(INT_MIN, 0, 0, 0) - one).alpha, INT_MAX);
    EXPECT_EQ((big * 2).alpha, -2);

    const ColorInt<int> q = big / 2;
    EXPECT_EQ(q.green, -3);  // toward zero
    EXPECT_EQ(q.blue, 3);

    const ColorInt<unsigned int> u(10u, 0u, 4u, 0xFFFFFFFFu);
    EXPECT_EQ((u / -1).alpha, 0u);  // -1 taken as 0xFFFFFFFF
    EXPECT_EQ((u / -1).blue, 1u);
    EXPECT_EQ((u + ColorInt<unsigned int>(0u, 0u, 0u, 1u)).blue, 0u);

    ColorInt<int> m(9, 2, 4, -6);
    m.mult(3);
    EXPECT_EQ(m.alpha, 9);
    EXPECT_EQ(m.blue, -18);
    m.div(-2);
    EXPECT_EQ(m.alpha, 9);
    EXPECT_EQ(m.red, -3);
    EXPECT_EQ(m.blue, 9);
}

TEST(ColorInt, ConversionClampsToFullScale) {
    const PF_Pixel p = aePixel8(ColorInt<int>(-5, 300, 255, 128));
    EXPECT_EQ(p.alpha, 0);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 255);
    EXPECT_EQ(p.blue, 128);
    const PF_Pixel16 q = aePixel16(ColorInt<int>(-1, 40000, 32768, 32767));
    EXPECT_EQ(q.alpha, 0);
    EXPECT_EQ(q.red, 32768);
    EXPECT_EQ(q.green, 32768);
    EXPECT_EQ(q.blue, 32767);
    // Unsigned channels are limited from above only: a wrapped "negative" is huge.
    const PF_Pixel pu = aePixel8(ColorInt<unsigned int>(0xFFFFFFFFu, 256u, 0u, 3u));
    EXPECT_EQ(pu.alpha, 255);
    EXPECT_EQ(pu.red, 255);
    EXPECT_EQ(pu.blue, 3);
    EXPECT_EQ(aePixel16(ColorInt<unsigned int>(0xFFFFFFFFu, 0u, 0u, 0u)).alpha, 32768);
}
