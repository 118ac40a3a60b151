// Easing curves: the guards at the ends, the dispatch on type and mode codes, and the values of
// each curve at fixed points.
#include "VelmorEasing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Velmor;

namespace {

struct Expected {
    int type;
    double in, out;
};

}  // namespace

TEST(Easing, EndsAreGuardedForEveryTypeAndMode) {
    for (int type = -2; type <= 13; ++type) {
        for (int mode : {-1, 0, 1, 2, 3, 4, 7}) {
            const Easing e(type, mode);
            EXPECT_EQ(e.getTime(0.0), 0.0) << type << "/" << mode;
            EXPECT_EQ(e.getTime(-0.3), 0.0) << type << "/" << mode;
            EXPECT_EQ(e.getTime(-1e300), 0.0) << type << "/" << mode;
            EXPECT_EQ(e.getTime(1.0), 1.0) << type << "/" << mode;
            EXPECT_EQ(e.getTime(1.7), 1.0) << type << "/" << mode;
        }
    }
}

TEST(Easing, LinearAndUnknownTypesReturnTAndIgnoreTheMode) {
    for (int type : {1, 0, 12, -4, 1000}) {
        for (int mode : {1, 2, 3, 0, 7}) {
            const Easing e(type, mode);
            for (double t : {1e-9, 0.3, 0.5, 0.999}) EXPECT_EQ(e.getTime(t), t) << type << "/" << mode;
        }
    }
}

TEST(Easing, UnknownModeGivesZeroInsideForEveryCurve) {
    for (int type = 2; type <= 11; ++type) {
        for (int mode : {0, 4, -1, 7}) {
            const Easing e(type, mode);
            EXPECT_EQ(e.getTime(0.3), 0.0) << type << "/" << mode;
            EXPECT_EQ(e.getTime(0.75), 0.0) << type << "/" << mode;
        }
    }
}

TEST(Easing, ExactValuesAtOneHalf) {
    // Values the formulas fix to the bit (powers, square roots and exact powers of two).
    const Expected table[] = {
        {2, 0.25, 0.75},         {3, 0.125, 0.875},     {4, 0.0625, 0.9375},
        {5, 0.03125, 0.96875},   {6, 0.03125, 0.96875}, {7, 0.1339745962155614, 0.8660254037844386},
        {9, 0.234375, 0.765625},
    };
    for (const Expected& x : table) {
        EXPECT_EQ(Easing(x.type, 1).getTime(0.5), x.in) << x.type;
        EXPECT_EQ(Easing(x.type, 2).getTime(0.5), x.out) << x.type;
        EXPECT_EQ(Easing(x.type, 3).getTime(0.5), 0.5) << x.type;
    }
    EXPECT_EQ(Easing(10, 3).getTime(0.5), 0.5);
    EXPECT_EQ(Easing(11, 3).getTime(0.5), 0.5);
}

TEST(Easing, TrigonometricValuesAtOneHalf) {
    // These go through the library's sine and cosine, which may differ in the last bit.
    EXPECT_DOUBLE_EQ(Easing(8, 1).getTime(0.5), 0.2928932188134524);
    EXPECT_DOUBLE_EQ(Easing(8, 2).getTime(0.5), 0.7071067811865475);
    EXPECT_NEAR(Easing(8, 3).getTime(0.5), 0.5, 1e-16);
    EXPECT_NEAR(Easing(10, 1).getTime(0.5), -0.0876975, 1e-15);
    EXPECT_NEAR(Easing(10, 2).getTime(0.5), 1.0876975, 1e-15);
    EXPECT_NEAR(Easing(11, 1).getTime(0.5), -0.015625, 1e-15);
    EXPECT_NEAR(Easing(11, 2).getTime(0.5), 1.015625, 1e-15);
}

TEST(Easing, InOutValuesAtOneQuarter) {
    EXPECT_EQ(Easing(2, 3).getTime(0.25), 0.125);
    EXPECT_EQ(Easing(3, 3).getTime(0.25), 0.0625);
    EXPECT_EQ(Easing(9, 3).getTime(0.25), 0.1171875);
    const double back = Easing(10, 3).getTime(0.25);
    EXPECT_LT(back, 0.0);
    EXPECT_NEAR(back, -0.0997, 1e-4);
    // The other half mirrors the first about (0.5, 0.5).
    EXPECT_EQ(Easing(2, 3).getTime(0.75), 0.875);
    EXPECT_EQ(Easing(3, 3).getTime(0.75), 0.9375);
    EXPECT_EQ(Easing(9, 3).getTime(0.75), 0.8828125);
}

TEST(Easing, BounceShapeHasFourParabolasWithStrictBreakpoints) {
    const Easing out(9, 2);
    // 1/2.75 falls into the second parabola, which misses 1 by one unit in the last place.
    EXPECT_EQ(out.getTime(1 / 2.75), 0.9999999999999999);
    EXPECT_EQ(out.getTime(1 / 2.75), 0x1.fffffffffffffp-1);
    EXPECT_NEAR(out.getTime(0.2), 0.3025, 1e-15);
    EXPECT_NEAR(out.getTime(0.8), 0.94, 1e-15);
    EXPECT_NEAR(out.getTime(0.95), 0.98453125, 1e-15);
    // B(1) = 1: with 1 - t rounding to exactly 1, Bounce In and InOut give exactly 0.
    EXPECT_EQ(Easing(9, 1).getTime(0x1p-60), 0.0);
    EXPECT_EQ(Easing(9, 3).getTime(0x1p-60), 0.0);
}

TEST(Easing, ElasticInOutUsesThePeriodFormedInDouble) {
    // The period is 0.3 * 1.5 = 0.44999999999999996 and the phase a quarter of it; the literal
    // 0.45 would move some results by a unit in the last place.
    const double p = 0.44999999999999996, s = 0.11249999999999999;
    const double twoPi = 6.283185307179586;
    const Easing e(11, 3);
    int differsFromLiteral = 0;
    for (int i = 1; i < 200; ++i) {
        const double t = i / 200.0;
        const double v = 2 * t - 1;
        const double a = (v - s) * twoPi / p;
        const double expected =
            2 * t < 1 ? -0.5 * std::exp2(10 * v) * std::sin(a) : 0.5 * std::exp2(-10 * v) * std::sin(a) + 1;
        EXPECT_EQ(e.getTime(t), expected) << t;
        const double a45 = (v - 0.1125) * twoPi / 0.45;
        const double with45 = 2 * t < 1 ? -0.5 * std::exp2(10 * v) * std::sin(a45)
                                        : 0.5 * std::exp2(-10 * v) * std::sin(a45) + 1;
        differsFromLiteral += with45 != expected;
    }
    EXPECT_GT(differsFromLiteral, 0);
}

TEST(Easing, OvershootingCurvesLeaveTheUnitRange) {
    EXPECT_NEAR(Easing(10, 1).getTime(0.42), -0.1, 1e-3);
    EXPECT_NEAR(Easing(10, 2).getTime(0.58), 1.1, 1e-3);
    EXPECT_NEAR(Easing(11, 2).getTime(0.135), 1.373, 1e-3);
    EXPECT_LT(Easing(11, 1).getTime(0.865), -0.3);
}

TEST(Easing, InAndOutMirrorEachOther) {
    // For every curve but Elastic (whose In form uses its own phase), Out(t) = 1 - In(1 - t).
    for (int type = 2; type <= 10; ++type) {
        for (double t : {0.125, 0.375, 0.625, 0.875})
            EXPECT_NEAR(Easing(type, 2).getTime(t), 1 - Easing(type, 1).getTime(1 - t), 1e-12)
                << type << " " << t;
    }
}

TEST(Easing, SettersChangeTheCurveAndCopiesAreIndependent) {
    Easing e;
    EXPECT_EQ(e.getTime(0.25), 0.25);  // Linear
    e.setEasingType(2);
    EXPECT_EQ(e.getTime(0.25), 0.125);  // Quad, default mode InOut
    e.setEasingMode(1);
    EXPECT_EQ(e.getTime(0.25), 0.0625);

    Easing copy(e);
    copy.setEasingMode(2);
    EXPECT_EQ(copy.getTime(0.25), 0.4375);
    EXPECT_EQ(e.getTime(0.25), 0.0625);

    Easing other(3, 3);
    other = copy;
    EXPECT_EQ(other.getTime(0.25), 0.4375);
    copy.setEasingType(1);
    EXPECT_EQ(other.getTime(0.25), 0.4375);
    const Easing& self = other;
    other = self;
    EXPECT_EQ(other.getTime(0.25), 0.4375);

    Easing::Impl impl;
    EXPECT_EQ(impl.easing_type, 1);
    EXPECT_EQ(impl.easing_mode, 3);
    impl.setEasingType(4);
    impl.setEasingMode(2);
    EXPECT_EQ(impl.getTime(0.5), 0.9375);
    EXPECT_EQ(Easing::Impl(5, 1).getTime(0.5), 0.03125);
}
