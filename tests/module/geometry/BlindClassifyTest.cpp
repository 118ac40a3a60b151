// Pixel classification at chosen positions inside a band. Fractional positions come from the grid
// offset: on a layer 129 pixels wide (extent 128) an offset of 2^-8 puts the grid's start at
// x = 0.5, so pixel x sits at v = x - 0.5 inside its band.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "BlindTestSupport.h"

using namespace vtest;
using Impl = Blind::Impl;

namespace {

const double kHalfPi = 1.5707963267948966;
const PF_LRect kStrip = rect(0, 0, 129, 1);  // extent 128: width 10 gives 13 bands
const double kHalf = 0x1p-8;                 // grid starts at x = 0.5
const double kThreeQuarters = 0x1.8p-8;      // grid starts at x = 0.75

Blind::Parameter halfClosed(TestHost& host, int mode, int state, double offset) {
    return params(host, kStrip)
        .setWidth(10.0)
        .setCompletion(0.5)
        .setMode(mode)
        .setState(state)
        .setOffset(offset);
}

}  // namespace

// ---- locating the band -----------------------------------------------------------------------

TEST(BlindClassifyLocate, StripesFollowTheDirection) {
    TestHost host;
    const Impl across(params(host, rect(0, 0, 40, 30)).setWidth(10.0).setDirection(0.0));
    const Impl down(params(host, rect(0, 0, 40, 30)).setWidth(10.0).setDirection(kHalfPi));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            EXPECT_EQ(classify(across, x, y, false).slot, x / 10) << x << "," << y;
            EXPECT_EQ(classify(down, x, y, true).slot, y / 10) << x << "," << y;
        }
}

TEST(BlindClassifyLocate, LastBandTakesTheRemainderAndTheOffsetWrapsOnce) {
    TestHost host;
    // Extent 99, 10 bands: x = 90..99 is band 9 (x = 99 sits at u = 99, past 9 widths).
    const Impl plain(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setOrder(2));
    for (int x = 0; x < 100; ++x) EXPECT_EQ(classify(plain, x, 17, false).slot, 9 - std::min(9, x / 10)) << x;

    // Offset 0.5 starts the grid at x = 49.5; pixels left of it wrap to the grid's end.
    const Impl shifted(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setOffset(0.5));
    EXPECT_EQ(classify(shifted, 50, 0, false).slot, 0);  // u = 0.5
    EXPECT_EQ(classify(shifted, 49, 0, false).slot, 9);  // u = -0.5 + 99
    EXPECT_EQ(classify(shifted, 0, 0, false).slot, 4);   // u = 49.5
    EXPECT_EQ(classify(shifted, 99, 0, false).slot, 4);  // u = 49.5
}

TEST(BlindClassifyLocate, PixelsBeyondTheLayerBelongToTheNearestEndBand) {
    // A buffer larger than the layer: far before the grid's start u stays negative after the
    // one wrap, far past its end u exceeds the extent.
    TestHost host;
    for (double offset : {0.0, 0.5, 0.99}) {
        const Impl impl(params(host, rect(0, 0, 100, 50))
                            .setWidth(10.0)
                            .setOrder(2)
                            .setOffset(offset)
                            .setCompletion(0.5)
                            .setState(3)
                            .setMode(2));
        for (bool aa : {false, true})
            for (int x : {-150, -400, -99 - 100, -100000}) {
                const Info info = classify(impl, x, 20, aa);
                EXPECT_EQ(info.slot, 9) << "x " << x << " offset " << offset;  // band 0
                EXPECT_GE(info.coverage, 0.0);
                EXPECT_LE(info.coverage, 1.0);
                EXPECT_GE(info.squeeze, 0.0);
            }
        for (int x : {250, 1000, 100000})
            EXPECT_EQ(classify(impl, x, -30, true).slot, 0) << "x " << x;  // band 9
    }
    // Just outside the layer the single wrap still applies as it does inside.
    const Impl plain(params(host, rect(0, 0, 100, 50)).setWidth(10.0).setOrder(2));
    EXPECT_EQ(classify(plain, -1, 0, false).slot, 0);    // u = 98: band 9
    EXPECT_EQ(classify(plain, -100, 0, false).slot, 9);  // u = -1: band 0
}

// ---- the hidden part of a closing band -------------------------------------------------------

TEST(BlindClassifyClosing, NotStartedBandIsVisibleAndNotClosing) {
    TestHost host;
    for (int mode : {1, 2})
        for (int state : {1, 2, 3}) {
            const Impl impl(
                params(host, kStrip).setWidth(10.0).setMode(mode).setState(state).setOffset(kHalf));
            for (bool aa : {false, true})
                for (int x = 0; x < 129; ++x) {
                    const Info info = classify(impl, x, 0, aa);
                    EXPECT_EQ(info.coverage, 1.0);
                    EXPECT_FALSE(info.closing);
                    EXPECT_FALSE(info.first_half);
                    EXPECT_FALSE(info.at_seam);
                    EXPECT_EQ(info.squeeze, 0.0);
                }
        }
}

TEST(BlindClassifyClosing, OneHidesFromTheStartEdge) {
    TestHost host;
    const Impl half(halfClosed(host, 1, 1, kHalf));
    const Info hidden = classify(half, 5, 0, false);  // v = 4.5
    EXPECT_EQ(hidden.coverage, 0.0);
    EXPECT_TRUE(hidden.closing);
    EXPECT_FALSE(hidden.first_half);
    EXPECT_EQ(classify(half, 6, 0, false).coverage, 1.0);   // v = 5.5
    EXPECT_EQ(classify(half, 10, 0, false).coverage, 1.0);  // v = 9.5

    const Impl ramp(halfClosed(host, 1, 1, kThreeQuarters));
    EXPECT_EQ(classify(ramp, 6, 0, true).coverage, 0.25);  // v = 5.25
    EXPECT_EQ(classify(ramp, 6, 0, false).coverage, 1.0);
    EXPECT_EQ(classify(ramp, 5, 0, true).coverage, 0.0);  // v = 4.25
    EXPECT_EQ(classify(ramp, 7, 0, true).coverage, 1.0);  // v = 6.25
}

TEST(BlindClassifyClosing, BothHidesFromBothEdgesTowardsTheCentre) {
    TestHost host;
    const Impl whole(halfClosed(host, 2, 1, 0.0));
    EXPECT_EQ(classify(whole, 2, 0, false).coverage, 0.0);
    EXPECT_EQ(classify(whole, 3, 0, false).coverage, 1.0);
    EXPECT_EQ(classify(whole, 7, 0, false).coverage, 1.0);
    EXPECT_EQ(classify(whole, 8, 0, false).coverage, 0.0);
    EXPECT_TRUE(classify(whole, 4, 0, false).first_half);
    EXPECT_FALSE(classify(whole, 5, 0, false).first_half);
    EXPECT_TRUE(classify(whole, 2, 0, false).first_half);  // whatever the state, hidden or not

    const Impl half(halfClosed(host, 2, 1, kHalf));
    EXPECT_EQ(classify(half, 2, 0, false).coverage, 0.0);  // v = 1.5
    EXPECT_EQ(classify(half, 3, 0, false).coverage, 1.0);  // v = 2.5, the edge itself
    EXPECT_EQ(classify(half, 8, 0, false).coverage, 1.0);  // v = 7.5
    EXPECT_EQ(classify(half, 9, 0, false).coverage, 0.0);  // v = 8.5

    const Impl ramp(halfClosed(host, 2, 1, kThreeQuarters));
    EXPECT_EQ(classify(ramp, 3, 0, true).coverage, 0.0);   // v = 2.25
    EXPECT_EQ(classify(ramp, 4, 0, true).coverage, 0.75);  // v = 3.25
    EXPECT_EQ(classify(ramp, 8, 0, true).coverage, 0.25);  // v = 7.25
    EXPECT_EQ(classify(ramp, 9, 0, true).coverage, 0.0);   // v = 8.25
}

TEST(BlindClassifyClosing, ShrinkSqueezesTheBandIntoItsVisiblePart) {
    TestHost host;
    for (bool aa : {false, true}) {
        const Impl one(halfClosed(host, 1, 3, 0.0));
        const Info at6 = classify(one, 6, 0, aa);  // shows the band's image at v = 2
        EXPECT_EQ(at6.squeeze, 4.0);
        EXPECT_FALSE(at6.first_half);
        EXPECT_EQ(classify(one, 9, 0, aa).squeeze, 1.0);
        EXPECT_EQ(classify(one, 4, 0, aa).squeeze, 0.0);  // hidden: nothing to show

        const Impl both(halfClosed(host, 2, 3, 0.0));
        const Info at3 = classify(both, 3, 0, aa);  // shows the band's image at v = 1
        EXPECT_EQ(at3.squeeze, 2.0);
        EXPECT_TRUE(at3.first_half);
        const Info at7 = classify(both, 7, 0, aa);
        EXPECT_EQ(at7.squeeze, 2.0);
        EXPECT_FALSE(at7.first_half);
        EXPECT_EQ(classify(both, 5, 0, aa).squeeze, 0.0);

        // Still and Move never squeeze.
        EXPECT_EQ(classify(Impl(halfClosed(host, 1, 1, 0.0)), 6, 0, aa).squeeze, 0.0);
        EXPECT_EQ(classify(Impl(halfClosed(host, 2, 2, 0.0)), 3, 0, aa).squeeze, 0.0);
    }
}

// ---- Move seams ------------------------------------------------------------------------------

TEST(BlindClassifySeam, BothMoveMarksTheCentreLine) {
    TestHost host;
    const Impl whole(halfClosed(host, 2, 2, 0.0));
    const Info centre = classify(whole, 5, 0, true);
    EXPECT_EQ(centre.seam, 0.0);
    EXPECT_TRUE(centre.at_seam);
    EXPECT_FALSE(centre.first_half);
    const Info before = classify(whole, 4, 0, true);
    EXPECT_EQ(before.seam, 1.0);
    EXPECT_FALSE(before.at_seam);
    EXPECT_TRUE(before.first_half);
    const Info hidden = classify(whole, 2, 0, true);  // 3 pixels from the centre: still 1
    EXPECT_EQ(hidden.coverage, 0.0);
    EXPECT_EQ(hidden.seam, 1.0);
    EXPECT_FALSE(hidden.at_seam);

    const Impl half(halfClosed(host, 2, 2, kHalf));
    const Info left = classify(half, 5, 0, true);  // v = 4.5
    EXPECT_EQ(left.seam, 0.5);
    EXPECT_TRUE(left.at_seam);
    EXPECT_TRUE(left.first_half);
    const Info right = classify(half, 6, 0, true);  // v = 5.5
    EXPECT_EQ(right.seam, 0.5);
    EXPECT_TRUE(right.at_seam);
    EXPECT_FALSE(right.first_half);

    // Hard edges blend nothing.
    const Info hard = classify(half, 5, 0, false);
    EXPECT_EQ(hard.seam, 0.0);
    EXPECT_FALSE(hard.at_seam);
    EXPECT_TRUE(hard.first_half);
}

TEST(BlindClassifySeam, OneMoveMarksTheEndEdgeBeforeABandNotStarted) {
    TestHost host;
    // Delay 1 over 13 bands: slot 0 half closed, the rest not started.
    const Impl first(params(host, kStrip)
                         .setWidth(10.0)
                         .setDelay(1.0)
                         .setCompletion(0.5 / 13.0)
                         .setState(2)
                         .setOffset(kHalf));
    ASSERT_NEAR(Access::band(first, 0).progress, 0.5, 1e-12);
    const Info edge = classify(first, 10, 0, true);  // v = 9.5
    EXPECT_EQ(edge.coverage, 1.0);
    EXPECT_EQ(edge.seam, 0.5);
    EXPECT_TRUE(edge.at_seam);
    const Info inside = classify(first, 9, 0, true);  // v = 8.5
    EXPECT_EQ(inside.seam, 1.0);
    EXPECT_FALSE(inside.at_seam);

    // Once the next band has started the end edge is softened instead.
    const Impl all(params(host, kStrip).setWidth(10.0).setCompletion(0.5).setState(2).setOffset(kHalf));
    const Info softened = classify(all, 10, 0, true);
    EXPECT_EQ(softened.coverage, 0.5);
    EXPECT_FALSE(softened.at_seam);
    EXPECT_EQ(softened.seam, 0.0);
}

// ---- softened edges of bands that have not started --------------------------------------------
// A layer 65 pixels wide (extent 64) in bands of 16, grid starting at x = 0.5, delay 1: four
// slots of a quarter each. Band k holds x = 16k + 1 .. 16k + 16.

namespace {

const PF_LRect kQuad = rect(0, 0, 65, 1);

Blind::Parameter quad(TestHost& host, int order, int mode, double completion) {
    return params(host, kQuad)
        .setWidth(16.0)
        .setDelay(1.0)
        .setOrder(order)
        .setMode(mode)
        .setCompletion(completion)
        .setOffset(0x1p-7)
        .setIsAA(true);
}

}  // namespace

TEST(BlindClassifySoften, InverseSoftensTheEndEdgeOnceTheNextBandStarts) {
    TestHost host;
    for (int mode : {1, 2}) {
        const Impl before(quad(host, 2, mode, 0.0));
        EXPECT_EQ(classify(before, 48, 0, true).coverage, 1.0);

        const Impl started(quad(host, 2, mode, 0.1));  // band 3 at 0.4, band 2 waiting
        ASSERT_EQ(Access::order(started, 2), 1);
        EXPECT_EQ(classify(started, 48, 0, true).coverage, 0.5);  // v = 15.5
        EXPECT_EQ(classify(started, 47, 0, true).coverage, 1.0);  // v = 14.5
        EXPECT_EQ(classify(started, 33, 0, true).coverage, 1.0);  // start edge: band 1 waits too
        EXPECT_EQ(classify(started, 48, 0, false).coverage, 1.0);
    }
}

TEST(BlindClassifySoften, NormalKeepsAHardStartEdgeInOneAndSoftensItInBoth) {
    TestHost host;
    for (double completion : {0.1, 0.25}) {  // band 0 closing, then just closed
        const Impl one(quad(host, 1, 1, completion));
        const Impl both(quad(host, 1, 2, completion));
        EXPECT_EQ(classify(one, 17, 0, true).coverage, 1.0) << completion;  // v = 0.5 of band 1
        EXPECT_EQ(classify(both, 17, 0, true).coverage, 0.5) << completion;
        EXPECT_EQ(classify(one, 32, 0, true).coverage, 1.0);  // end edge: band 2 waits
        EXPECT_EQ(classify(both, 32, 0, true).coverage, 1.0);
    }
    // Only an overshooting curve takes the previous band past 1; then One softens too.
    const Impl overshoot(quad(host, 1, 1, 0.145).setEasingType(10).setEasingMode(2));
    ASSERT_GT(Access::band(overshoot, 0).progress, 1.0);
    EXPECT_EQ(classify(overshoot, 17, 0, true).coverage, 0.5);
}

TEST(BlindClassifySoften, NoWrapSeamWithoutOffset) {
    TestHost host;
    // Extent 60 in bands of 16: the grid ends at v = 12 inside band 3 (x = 48..60 at offset 0).
    auto make = [&](int order, int mode, double completion, double offset) {
        return Impl(params(host, rect(0, 0, 61, 1))
                        .setWidth(16.0)
                        .setDelay(1.0)
                        .setOrder(order)
                        .setMode(mode)
                        .setCompletion(completion)
                        .setOffset(offset));
    };
    auto lowest = [](const Impl& impl, int from, int to) {
        double m = 1.0;
        for (int x = from; x <= to; ++x) m = std::min(m, classify(impl, x, 0, true).coverage);
        return m;
    };
    for (int mode : {1, 2}) {
        // Band 0 closing, the last band waiting: its end would meet band 0 across the seam.
        EXPECT_EQ(lowest(make(1, mode, 0.1, 0.0), 48, 60), 1.0) << mode;
        EXPECT_NEAR(lowest(make(1, mode, 0.1, 0.5 / 60.0), 49, 60), 0.5, 1e-9) << mode;  // v = 11.5
    }
    // Inverse, Both: the last band closes first; band 0 waits, its start would meet it.
    EXPECT_EQ(lowest(make(2, 2, 0.1, 0.0), 0, 15), 1.0);
    EXPECT_NEAR(classify(make(2, 2, 0.1, 0.5 / 60.0), 1, 0, true).coverage, 0.5, 1e-9);
    // The last band closing after band 0 has closed: no seam to soften at its end either.
    const Impl last(make(1, 1, 0.9, 0.0));
    ASSERT_NEAR(Access::band(last, 3).progress, 0.6, 1e-12);
    EXPECT_EQ(classify(last, 60, 0, true).coverage, 1.0);  // v = 12, the grid's end
    EXPECT_NEAR(classify(make(1, 1, 0.9, 0.5 / 60.0), 60, 0, true).coverage, 0.5, 1e-9);
}

TEST(BlindClassifySoften, WrapSeamSitsAtTheGridEndEvenWhenItFillsTheLastBand) {
    TestHost host;
    // Extent 64 is four whole bands: the grid ends at the last band's end edge, v = 16.
    const Impl impl(quad(host, 1, 1, 0.1));                // band 0 closing, band 3 waiting
    EXPECT_EQ(classify(impl, 49, 0, true).coverage, 1.0);  // v = 0.5 of band 3
    EXPECT_EQ(classify(impl, 64, 0, true).coverage, 0.5);  // v = 15.5
    EXPECT_EQ(classify(impl, 0, 0, true).coverage, 0.5);   // wrapped to v = 15.5
}

TEST(BlindClassifySoften, NeighboursCountOnlyOnceMeasurablyStarted) {
    TestHost host;
    // Inverse: band 1 (slot 2) starts before band 0 (slot 3). Band 0's end edge softens only
    // once band 1's progress reaches 1e-6; likewise the last band's start edge in Normal order.
    for (const double tiny : {5e-7, 2e-6}) {
        const Impl inverse(quad(host, 2, 1, 0.5 + 0.25 * tiny));
        ASSERT_NEAR(Access::band(inverse, 2).progress, tiny, 1e-12);
        EXPECT_EQ(classify(inverse, 16, 0, true).coverage, tiny < 1e-6 ? 1.0 : 0.5) << tiny;  // v = 15.5

        const Impl normal(quad(host, 1, 2, 0.5 + 0.25 * tiny));  // band 2 barely started
        ASSERT_NEAR(Access::band(normal, 2).progress, tiny, 1e-12);
        EXPECT_EQ(classify(normal, 49, 0, true).coverage, tiny < 1e-6 ? 1.0 : 0.5) << tiny;  // v = 0.5
    }
}

TEST(BlindClassifySeam, TwoBandsInOneNeitherSoftenNorBlendTheirCommonEdge) {
    // With fewer than three bands in One the closing first band's end edge is left as it is:
    // neither softened against a started second band nor blended against a waiting one.
    TestHost host;
    auto make = [&](double completion) {
        return Impl(params(host, rect(0, 0, 33, 1))  // extent 32: two bands of 16
                        .setWidth(16.0)
                        .setDelay(1.0)
                        .setCompletion(completion)
                        .setState(2)
                        .setOffset(0x1p-6));  // grid starts at x = 0.5
    };
    const Impl waiting = make(0.25);  // band 0 at 0.5, band 1 waiting
    ASSERT_EQ(Access::num_bands(waiting), 2);
    const Info edge = classify(waiting, 16, 0, true);  // v = 15.5
    EXPECT_EQ(edge.coverage, 1.0);
    EXPECT_FALSE(edge.at_seam);
    EXPECT_EQ(edge.seam, 0.0);

    // Without delay both bands close together.
    const Impl both_closing(
        params(host, rect(0, 0, 33, 1)).setWidth(16.0).setCompletion(0.5).setOffset(0x1p-6));
    EXPECT_EQ(classify(both_closing, 16, 0, true).coverage, 1.0);
}

TEST(BlindClassifySoften, OneSoftensBandZeroAcrossTheSeamOnceTheLastBandIsHidden) {
    // Extent 60 in bands of 16: the last band holds v = 0..12, so in One it is wholly hidden
    // once its progress passes 12 / 16. Inverse order closes it first while band 0 waits.
    TestHost host;
    auto band0Start = [&](double completion) {
        const Impl impl(params(host, rect(0, 0, 61, 1))
                            .setWidth(16.0)
                            .setDelay(1.0)
                            .setOrder(2)
                            .setCompletion(completion)
                            .setOffset(0.5 / 60.0));
        return classify(impl, 1, 0, true).coverage;  // v = 0.5 of band 0
    };
    EXPECT_EQ(band0Start(0.125), 1.0);          // last band at 0.5
    EXPECT_NEAR(band0Start(0.225), 0.5, 1e-9);  // last band at 0.9
}

TEST(BlindClassifySeam, OneMoveBlendsTheLastBandAcrossTheSeamBeforeBandZeroStarts) {
    TestHost host;
    // Inverse: band 3 closes first; band 0 waits beyond the wrap seam (grid start at x = 0.5).
    const Impl impl(quad(host, 2, 1, 0.125).setState(2));
    ASSERT_EQ(Access::band(impl, 0).progress, 0.5);
    for (int x : {64, 0}) {  // v = 15.5, the second one wrapped
        const Info edge = classify(impl, x, 0, true);
        EXPECT_EQ(edge.coverage, 1.0) << x;
        EXPECT_EQ(edge.seam, 0.5) << x;
        EXPECT_TRUE(edge.at_seam) << x;
    }
    EXPECT_FALSE(classify(impl, 63, 0, true).at_seam);  // v = 14.5
    // Without an offset there is no seam to blend at the grid's end.
    const Impl plain(params(host, rect(0, 0, 65, 1))
                         .setWidth(16.0)
                         .setDelay(1.0)
                         .setOrder(2)
                         .setCompletion(0.125)
                         .setState(2));
    EXPECT_FALSE(classify(plain, 63, 0, true).at_seam);  // v = 15
    EXPECT_EQ(classify(plain, 63, 0, true).seam, 0.0);
}
