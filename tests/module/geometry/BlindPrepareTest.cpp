// Band preparation: count and placement of the grid, per-slot timing and easing, the three orders,
// the Move displacement; the one-band and overflow cases; copies sharing the band arrays; and the
// state's dealings with the host (maths from the ANSI table, no suite acquired).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <vector>

#include "BlindTestSupport.h"
#include "VelmorEasing.h"
#include "VelmorRandom.h"

using namespace vtest;
using Impl = Blind::Impl;

namespace {

const double kHalfPi = 1.5707963267948966;
const double kPi = 3.141592653589793;

std::vector<int> bandOrder(const Impl& impl) {
    std::vector<int> v;
    for (int k = 0; k < Access::num_bands(impl); ++k) v.push_back(Access::order(impl, k));
    return v;
}

bool isPermutation(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    for (int i = 0; i < static_cast<int>(v.size()); ++i)
        if (v[i] != i) return false;
    return true;
}

}  // namespace

// ---- grid ------------------------------------------------------------------------------------

TEST(BlindPrepareGrid, HundredByFiftyLayerHasExtent99AndTenBands) {
    TestHost host;
    for (const PF_LRect layer : {rect(0, 0, 100, 50), rect(-40, 17, 60, 67), rect(900, -80, 1000, -30)}) {
        const Impl impl(params(host, layer).setWidth(10.0));
        EXPECT_EQ(Access::proj_min(impl), layer.left);
        EXPECT_EQ(Access::proj_max(impl), layer.right - 1);
        EXPECT_EQ(Access::extent(impl), 99.0);
        EXPECT_EQ(Access::num_bands_real(impl), 10.0);
        EXPECT_EQ(Access::num_bands(impl), 10);
    }
}

TEST(BlindPrepareGrid, OffsetIsAFractionOfTheExtent) {
    TestHost host;
    const Impl impl(params(host, rect(0, 0, 129, 3)).setWidth(10.0).setOffset(0.25));
    EXPECT_EQ(Access::extent(impl), 128.0);
    EXPECT_EQ(Access::offset_px(impl), 32.0);
    EXPECT_EQ(Access::num_bands(impl), 13);
}

TEST(BlindPrepareGrid, DirectionZeroAndQuarterTurn) {
    TestHost host;
    const Impl across(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setDirection(0.0));
    EXPECT_EQ(Access::dir(across).x, 1.0);
    EXPECT_EQ(Access::dir(across).y, 0.0);

    const Impl down(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setDirection(kHalfPi));
    EXPECT_EQ(Access::dir(down).y, 1.0);
    EXPECT_LT(std::fabs(Access::dir(down).x), 1e-16);
    // Along y the corner pixels span rows 0..49.
    EXPECT_NEAR(Access::extent(down), 49.0, 1e-12);
    EXPECT_EQ(Access::num_bands(down), 5);
}

TEST(BlindPrepareGrid, DiagonalProjectsAllFourCorners) {
    TestHost host;
    // Direction 3/4 turn points up: the top row projects highest.
    const Impl up(params(host, rect(10, 20, 30, 60)).setWidth(4.0).setDirection(3.0 * kHalfPi));
    EXPECT_NEAR(Access::proj_max(up), -20.0, 1e-12);
    EXPECT_NEAR(Access::proj_min(up), -59.0, 1e-12);
    EXPECT_EQ(Access::num_bands(up), 10);  // ceil(39 / 4)

    // At 45 degrees the extent is the diagonal's projection: (19 + 39) / sqrt(2).
    const Impl diag(params(host, rect(10, 20, 30, 60)).setWidth(4.0).setDirection(kPi / 4.0));
    EXPECT_NEAR(Access::extent(diag), 58.0 / std::sqrt(2.0), 1e-12);
    EXPECT_EQ(Access::num_bands(diag), 11);  // ceil(41.01 / 4)
}

// ---- timing ----------------------------------------------------------------------------------

TEST(BlindPrepareTiming, WithoutDelayEveryBandHasTheEasedCompletion) {
    TestHost host;
    for (int type = 1; type <= 11; ++type)
        for (int mode = 1; mode <= 3; ++mode)
            for (double c : {0.0, 0.1, 0.37, 0.5, 0.93, 1.0}) {
                const Impl impl(params(host, rect(0, 0, 100, 50))
                                    .setWidth(7.0)
                                    .setCompletion(c)
                                    .setEasingType(type)
                                    .setEasingMode(mode));
                const double expected = Velmor::Easing(type, mode).getTime(c);
                ASSERT_EQ(Access::band_duration(impl), 1.0);
                ASSERT_EQ(Access::band_step(impl), 0.0);
                for (int i = 0; i < Access::num_bands(impl); ++i)
                    ASSERT_EQ(Access::band(impl, i).progress, expected)
                        << "type " << type << " mode " << mode << " completion " << c;
            }
}

TEST(BlindPrepareTiming, FullDelayRunsTheSlotsOneAfterAnother) {
    TestHost host;
    for (double c : {0.0, 0.05, 0.37, 0.5, 0.999999, 1.0}) {
        const Impl impl(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setDelay(1.0).setCompletion(c));
        ASSERT_EQ(Access::num_bands(impl), 10);
        EXPECT_EQ(Access::band_duration(impl), 0.1);
        EXPECT_EQ(Access::band_step(impl), 0.1);
        for (int i = 0; i < 10; ++i) {
            const double t = 10.0 * c - i;
            const double expected = t <= 0.0 ? 0.0 : (t >= 1.0 ? 1.0 : t);
            EXPECT_NEAR(Access::band(impl, i).progress, expected, 1e-12) << "slot " << i << " at " << c;
        }
    }
}

TEST(BlindPrepareTiming, PartialDelayOverlapsTheSlotsAndEndsAtOne) {
    TestHost host;
    // N = 10, delay 0.5: each slot lasts 1 / 5.5 and starts 0.5 / 5.5 after the previous one.
    const Impl mid(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setDelay(0.5).setCompletion(0.3));
    EXPECT_DOUBLE_EQ(Access::band_duration(mid), 1.0 / 5.5);
    EXPECT_DOUBLE_EQ(Access::band_step(mid), 0.5 / 5.5);
    for (int i = 0; i < 10; ++i) {
        const double t = (0.3 - i * (0.5 / 5.5)) * 5.5;
        EXPECT_NEAR(Access::band(mid, i).progress, std::clamp(t, 0.0, 1.0), 1e-12);
    }
    const Impl end(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setDelay(0.5).setCompletion(1.0));
    EXPECT_NEAR(Access::band(end, 9).progress, 1.0, 1e-12);
    const Impl before(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setDelay(0.5).setCompletion(0.99));
    EXPECT_LT(Access::band(before, 9).progress, 1.0);
    EXPECT_GT(Access::band(before, 9).progress, 0.9);
}

// ---- order -----------------------------------------------------------------------------------

TEST(BlindPrepareOrder, NormalAndInverseIgnoreTheSeed) {
    TestHost host;
    for (int seed : {0, 1, 12345, -7}) {
        const Impl normal(params(host, rect(0, 0, 40, 1)).setWidth(10.0).setSeed(seed));
        EXPECT_EQ(bandOrder(normal), (std::vector<int>{0, 1, 2, 3}));
        const Impl inverse(params(host, rect(0, 0, 40, 1)).setWidth(10.0).setOrder(2).setSeed(seed));
        EXPECT_EQ(bandOrder(inverse), (std::vector<int>{3, 2, 1, 0}));
    }
}

TEST(BlindPrepareOrder, RandomDependsOnSeedAndCountOnly) {
    TestHost host;
    auto random = [&](PF_LRect layer, double width, int seed, double completion) {
        return bandOrder(Impl(params(host, layer)
                                  .setWidth(width)
                                  .setOrder(3)
                                  .setSeed(seed)
                                  .setCompletion(completion)
                                  .setDelay(0.4)
                                  .setDirection(0.3)));
    };
    const std::vector<int> a = random(rect(0, 0, 100, 50), 10.0, 77, 0.2);
    ASSERT_EQ(a.size(), 11u);  // ceil(109.06 / 10)
    EXPECT_TRUE(isPermutation(a));
    // Another frame, another layer with the same count: the same arrangement.
    EXPECT_EQ(random(rect(0, 0, 100, 50), 10.0, 77, 0.8), a);
    EXPECT_EQ(random(rect(-500, 30, -400, 80), 10.0, 77, 0.5), a);
    EXPECT_EQ(random(rect(0, 0, 100, 50), 10.5, 77, 0.5), a);  // ceil(109.06 / 10.5) = 11 as well
    // Another seed arranges the bands differently.
    EXPECT_NE(random(rect(0, 0, 100, 50), 10.0, 78, 0.2), a);
}

TEST(BlindPrepareOrder, RandomIsOneSwapWithAnyPositionPerSlot) {
    // The arrangement a seed gives is part of the effect's look: one draw per slot in slot order,
    // swapped with any position (not a Fisher-Yates shuffle, which draws from shrinking ranges).
    TestHost host;
    for (int seed : {0, 1, 2024, -31337}) {
        const Impl impl(params(host, rect(0, 0, 100, 50)).setWidth(4.0).setOrder(3).setSeed(seed));
        const int n = Access::num_bands(impl);
        ASSERT_EQ(n, 25);
        std::vector<int> expected(n);
        std::iota(expected.begin(), expected.end(), 0);
        Velmor::Random rng(seed);
        for (int i = 0; i < n; ++i) std::swap(expected[i], expected[static_cast<int>(rng.randD() * n)]);
        EXPECT_EQ(bandOrder(impl), expected) << "seed " << seed;
    }
}

// ---- Move displacement -----------------------------------------------------------------------

TEST(BlindPrepareShift, MoveShiftsByTheClosedPartAlongTheAxis) {
    TestHost host;
    auto make = [&](int mode, int state, double direction) {
        return Impl(params(host, rect(0, 0, 100, 50))
                        .setWidth(10.0)
                        .setCompletion(0.25)
                        .setMode(mode)
                        .setState(state)
                        .setDirection(direction));
    };
    const Impl one = make(1, 2, 0.0);
    const Impl both = make(2, 2, 0.0);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(Access::band(one, i).progress, 0.25);
        EXPECT_EQ(Access::band(one, i).shift, Velmor::VectorFixed(-163840, 0));
        EXPECT_EQ(Access::band(both, i).shift, Velmor::VectorFixed(-81920, 0));
    }
    // Against the axis when it points the other way; along y when it points down.
    EXPECT_EQ(Access::band(make(1, 2, kPi), 0).shift, Velmor::VectorFixed(163840, 0));
    EXPECT_EQ(Access::band(make(1, 2, kHalfPi), 0).shift, Velmor::VectorFixed(0, -163840));
    // Still and Shrink never move.
    EXPECT_EQ(Access::band(make(1, 1, 0.0), 0).shift, Velmor::VectorFixed(0, 0));
    EXPECT_EQ(Access::band(make(2, 3, 0.0), 0).shift, Velmor::VectorFixed(0, 0));
}

TEST(BlindPrepareShift, OnlyClosingSlotsMoveAndHalvesRoundAwayFromZero) {
    TestHost host;
    // Delay 1, N = 10, completion 0.35: slots 0..2 closed, slot 3 at one half, 4..9 not started.
    const Impl impl(params(host, rect(0, 0, 100, 50))
                        .setWidth(10.0)
                        .setDelay(1.0)
                        .setCompletion(0.35)
                        .setState(2)
                        .setDirection(kPi));
    for (int i = 0; i < 10; ++i) {
        if (i == 3) continue;
        EXPECT_EQ(Access::band(impl, i).shift, Velmor::VectorFixed(0, 0)) << "slot " << i;
    }
    const double e = Access::band(impl, 3).progress;
    ASSERT_NEAR(e, 0.5, 1e-12);
    EXPECT_EQ(Access::band(impl, 3).shift.x, static_cast<int>(10.0 * e * 65536.0 + 0.5));

    // A displacement of exactly half a 16.16 unit rounds away from zero on both sides: width
    // 2^-16 at progress 0.5 moves 2^-17 pixel, that is 0.5 unit.
    const Impl tiny(params(host, rect(0, 0, 1, 1)).setWidth(0x1p-16).setCompletion(0.5).setState(2));
    EXPECT_EQ(Access::band(tiny, 0).shift, Velmor::VectorFixed(-1, 0));
    const Impl tiny_back(
        params(host, rect(0, 0, 1, 1)).setWidth(0x1p-16).setCompletion(0.5).setState(2).setDirection(kPi));
    EXPECT_EQ(Access::band(tiny_back, 0).shift, Velmor::VectorFixed(1, 0));
}

// ---- one band, overflow ----------------------------------------------------------------------

TEST(BlindPrepareDegenerate, LayerWithoutExtentGetsExactlyOneBand) {
    TestHost host;
    struct Case {
        PF_LRect layer;
        double direction;
    };
    const Case cases[] = {
        {rect(5, 5, 6, 6), 0.0},        // one pixel
        {rect(5, 5, 6, 6), 1.1},        // one pixel, any direction
        {rect(10, 0, 11, 50), 0.0},     // one column across a horizontal axis
        {rect(-3, 8, 97, 9), kHalfPi},  // one row across a vertical axis (cos leaves ~1e-15)
    };
    for (const Case& c : cases) {
        const Impl impl(
            params(host, c.layer).setWidth(10.0).setDirection(c.direction).setDelay(0.7).setCompletion(0.4));
        EXPECT_LT(Access::extent(impl), 1e-12);
        ASSERT_EQ(Access::num_bands(impl), 1);
        EXPECT_EQ(Access::num_bands_real(impl), 1.0);
        EXPECT_EQ(Access::band_duration(impl), 1.0);
        EXPECT_EQ(Access::order(impl, 0), 0);
        EXPECT_EQ(Access::band(impl, 0).progress, 0.4);
        for (bool aa : {false, true})
            for (int dy = -3; dy <= 3; ++dy)
                for (int dx = -3; dx <= 3; ++dx) {
                    const Info info = classify(impl, c.layer.left + dx, c.layer.top + dy, aa);
                    EXPECT_EQ(info.slot, 0);
                    EXPECT_TRUE(info.closing);
                    EXPECT_GE(info.coverage, 0.0);
                    EXPECT_LE(info.coverage, 1.0);
                }
    }
}

TEST(BlindPrepareDegenerate, NonFiniteOrUnusableSizesGetExactlyOneBand) {
    TestHost host;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double width;
        double direction;
    };
    const Case cases[] = {{nan, 0.0},  {inf, 0.0},  {-inf, 0.0}, {0.0, 0.0},
                          {-5.0, 0.0}, {10.0, nan}, {10.0, inf}, {10.0, -inf}};
    for (const Case& c : cases) {
        for (int order = 1; order <= 3; ++order) {
            const Impl impl(params(host, rect(0, 0, 100, 50))
                                .setWidth(c.width)
                                .setDirection(c.direction)
                                .setOrder(order)
                                .setDelay(1.0)
                                .setCompletion(0.5)
                                .setState(2));
            ASSERT_EQ(Access::num_bands(impl), 1) << "width " << c.width << " direction " << c.direction;
            EXPECT_EQ(Access::order(impl, 0), 0);
            EXPECT_EQ(Access::band_duration(impl), 1.0);
            EXPECT_EQ(Access::band(impl, 0).progress, 0.5);
            for (bool aa : {false, true})
                for (int y : {-20, 0, 25, 49, 70})
                    for (int x : {-200, -1, 0, 50, 99, 100, 300}) {
                        const Info info = classify(impl, x, y, aa);
                        EXPECT_EQ(info.slot, 0);
                        EXPECT_GE(info.coverage, 0.0);
                        EXPECT_LE(info.coverage, 1.0);
                    }
        }
    }
}

TEST(BlindPrepareDegenerate, CountBeyondAnIntFailsAsAnAllocation) {
    TestHost host;
    // 99 / 1e-12 bands, a count that overflows to infinity, and a layer spanning the whole int
    // range at one pixel per band: none can be held, none may come out as a short array.
    EXPECT_THROW(Impl(params(host, rect(0, 0, 100, 50)).setWidth(1e-12)), std::bad_alloc);
    EXPECT_THROW(Impl(params(host, rect(0, 0, 100, 50)).setWidth(0x1p-1074)), std::bad_alloc);
    EXPECT_THROW(Impl(params(host, rect(INT_MIN, 0, INT_MAX, 1)).setWidth(1.0)), std::bad_alloc);
    EXPECT_EQ(counters().acquire, 0);
    EXPECT_EQ(counters().release, 0);

    // A large count that fits is prepared in full.
    const Impl big(params(host, rect(INT_MIN, 0, INT_MAX, 1)).setWidth(65536.0));
    ASSERT_EQ(Access::num_bands(big), 65536);
    EXPECT_EQ(Access::order(big, 65535), 65535);
    EXPECT_EQ(Access::band(big, 65535).progress, 0.0);
}

// ---- copies ----------------------------------------------------------------------------------

TEST(BlindImplCopy, CopiesShareTheBandArraysUntilTheLastGoes) {
    TestHost host;
    Impl a(params(host, rect(0, 0, 100, 50))
               .setWidth(10.0)
               .setOrder(3)
               .setSeed(5)
               .setCompletion(0.4)
               .setDelay(0.5));
    EXPECT_EQ(Access::states_use_count(a), 1);
    EXPECT_EQ(Access::order_use_count(a), 1);
    {
        const Impl b(a);
        EXPECT_EQ(Access::states_data(b), Access::states_data(a));
        EXPECT_EQ(Access::order_data(b), Access::order_data(a));
        EXPECT_EQ(Access::states_use_count(a), 2);
        EXPECT_EQ(Access::order_use_count(a), 2);
        EXPECT_EQ(Access::num_bands(b), Access::num_bands(a));
        EXPECT_EQ(Access::extent(b), Access::extent(a));
        for (bool aa : {false, true})
            for (int y = 0; y < 50; y += 7)
                for (int x = 0; x < 100; ++x) {
                    const Info p = classify(a, x, y, aa), q = classify(b, x, y, aa);
                    ASSERT_EQ(p.slot, q.slot);
                    ASSERT_EQ(p.coverage, q.coverage);
                }
    }
    EXPECT_EQ(Access::states_use_count(a), 1);
    EXPECT_EQ(Access::order_use_count(a), 1);
    // The arrays outlived the copy: reading them still works (checked by the sanitizers).
    EXPECT_TRUE(isPermutation(bandOrder(a)));
}

TEST(BlindImplCopy, AssignmentDropsTheOldArraysAndSharesTheNewOnes) {
    TestHost host;
    const Impl a(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setOrder(2));
    Impl b(params(host, rect(0, 0, 30, 30)).setWidth(3.0).setCompletion(0.7));
    const Impl keep_b(b);  // observes b's original arrays
    ASSERT_EQ(Access::states_use_count(keep_b), 2);

    b = a;
    EXPECT_EQ(Access::states_use_count(keep_b), 1);
    EXPECT_EQ(Access::order_use_count(keep_b), 1);
    EXPECT_EQ(Access::states_use_count(a), 2);
    EXPECT_EQ(Access::order_data(b), Access::order_data(a));
    EXPECT_EQ(Access::num_bands(b), 10);
    EXPECT_EQ(bandOrder(b), bandOrder(a));
    EXPECT_EQ(Access::band(b, 0).progress, 0.0);
    EXPECT_EQ(classify(b, 95, 3, true).slot, 0);

    // Self-assignment changes nothing.
    Impl& self = b;
    b = self;
    EXPECT_EQ(Access::states_use_count(a), 2);
    EXPECT_EQ(Access::order_data(b), Access::order_data(a));
    EXPECT_EQ(Access::num_bands(b), 10);
}

// ---- host dealings ---------------------------------------------------------------------------

TEST(BlindImplHost, PreparationAndClassificationAcquireNoSuite) {
    TestHost host;
    {
        Impl a(params(host, rect(0, 0, 64, 40))
                   .setWidth(5.0)
                   .setCompletion(0.5)
                   .setDelay(0.3)
                   .setState(2)
                   .setOffset(0.3));
        Impl b(a);
        Impl c(params(host, rect(0, 0, 8, 8)));
        c = b;
        for (bool aa : {false, true})
            for (int y = -5; y < 45; ++y)
                for (int x = -5; x < 70; ++x) {
                    classify(a, x, y, aa);
                    classify(c, x, y, aa);
                }
    }
    EXPECT_EQ(counters().acquire, 0);
    EXPECT_EQ(counters().release, 0);
}

TEST(BlindImplHost, MathsComeFromTheHostTable) {
    TestHost host;
    const Impl idle(params(host, rect(0, 0, 50, 20)).setWidth(5.0).setCompletion(0.0));
    EXPECT_EQ(counters().cos, 1);
    EXPECT_EQ(counters().sin, 1);
    EXPECT_EQ(counters().ceil, 1);
    // Hard edges look inside a band only while it closes.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 50; ++x) classify(idle, x, y, false);
    EXPECT_EQ(counters().fmod, 0);

    const Impl closing(params(host, rect(0, 0, 50, 20)).setWidth(5.0).setCompletion(0.5));
    for (int x = 0; x < 50; ++x) classify(closing, x, 0, false);
    EXPECT_EQ(counters().fmod, 50);
}

TEST(BlindImplHost, MissingBasicSuiteOrMathsTableIsTheMissingSuiteError) {
    TestHost host;
    Blind::Parameter p = params(host, rect(0, 0, 10, 10));

    p.setInData(nullptr);
    EXPECT_THROW(
        try { Impl impl(p); } catch (PF_Err err) {
            EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
            throw;
        },
        PF_Err);

    PF_InData no_basic = host.in_data;
    no_basic.pica_basicP = nullptr;
    p.setInData(&no_basic);
    EXPECT_THROW(Impl impl(p), PF_Err);

    PF_InData no_utils = host.in_data;
    no_utils.utils = nullptr;
    p.setInData(&no_utils);
    EXPECT_THROW(
        try { Impl impl(p); } catch (PF_Err err) {
            EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
            throw;
        },
        PF_Err);

    PF_UtilCallbacks no_fmod = host.utils;
    no_fmod.ansi.fmod = nullptr;
    PF_InData partial = host.in_data;
    partial.utils = &no_fmod;
    p.setInData(&partial);
    EXPECT_THROW(Impl impl(p), PF_Err);
    EXPECT_EQ(counters().acquire, 0);
    EXPECT_EQ(counters().release, 0);
}
