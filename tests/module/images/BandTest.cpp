// The band arithmetic of the threaded executor, alone: how a region is cut into one band of rows
// per thread.
#include "VelmorFilterMulti.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

using Velmor::FilterBand;
using Velmor::FilterBandEdge;
using Velmor::Rect;

namespace {

std::vector<int> bandTops(const Rect& region, int count) {
    std::vector<int> tops;
    for (int i = 0; i < count; ++i) tops.push_back(FilterBand(region, i, count).top);
    return tops;
}

TEST(FilterBand, TenRowsOverFourThreads) {
    const Rect region(0, 0, 7, 10);
    const int want[4][2] = {{0, 2}, {2, 5}, {5, 7}, {7, 10}};
    for (int i = 0; i < 4; ++i) {
        const Rect band = FilterBand(region, i, 4);
        EXPECT_EQ(band.top, want[i][0]) << "band " << i;
        EXPECT_EQ(band.bottom, want[i][1]) << "band " << i;
        EXPECT_EQ(band.left, 0);
        EXPECT_EQ(band.right, 7);
    }
}

TEST(FilterBand, MoreThreadsThanRowsGivesEmptyBandsFirst) {
    const Rect region(0, 0, 5, 3);
    EXPECT_TRUE(FilterBand(region, 0, 4) == Rect(0, 0, 5, 0));
    EXPECT_TRUE(FilterBand(region, 1, 4) == Rect(0, 0, 5, 1));
    EXPECT_TRUE(FilterBand(region, 2, 4) == Rect(0, 1, 5, 2));
    EXPECT_TRUE(FilterBand(region, 3, 4) == Rect(0, 2, 5, 3));
}

TEST(FilterBand, RegionKeepsItsOffset) {
    const Rect region(-3, 100, 12, 110);
    EXPECT_EQ(bandTops(region, 4), (std::vector<int>{100, 102, 105, 107}));
    EXPECT_EQ(FilterBand(region, 3, 4).bottom, 110);
    EXPECT_EQ(FilterBand(region, 2, 4).left, -3);
    EXPECT_EQ(FilterBand(region, 2, 4).right, 12);
}

// For every height up to 300 and every count up to 64: the bands start at the top, end at the
// bottom, meet without gap or overlap, and differ in height by at most one row.
TEST(FilterBand, BandsTileEveryRegionEvenly) {
    for (int top : {0, 37, -250}) {
        for (int h = 0; h <= 300; ++h) {
            const Rect region(0, top, 1, top + h);
            for (int n = 1; n <= 64; ++n) {
                int shortest = INT_MAX, tallest = INT_MIN, expectedTop = top;
                for (int i = 0; i < n; ++i) {
                    const Rect band = FilterBand(region, i, n);
                    ASSERT_EQ(band.top, expectedTop) << "h " << h << " n " << n << " i " << i;
                    ASSERT_LE(band.top, band.bottom);
                    expectedTop = band.bottom;
                    shortest = std::min(shortest, band.getHeight());
                    tallest = std::max(tallest, band.getHeight());
                }
                ASSERT_EQ(expectedTop, top + h) << "h " << h << " n " << n;
                ASSERT_LE(tallest - shortest, 1) << "h " << h << " n " << n;
            }
        }
    }
}

// i * h no longer fits in 32 bits: the edges must still rise steadily to the bottom.
TEST(FilterBand, TallRegionsCutForManyThreadsDoNotOverflow) {
    const Rect region(0, 0, 1, 2000000000);
    const int n = 64;
    int previous = region.top;
    for (int k = 1; k <= n; ++k) {
        const int edge = FilterBandEdge(region, k, n);
        EXPECT_EQ(edge - previous, 31250000) << k;
        previous = edge;
    }
    EXPECT_EQ(previous, region.bottom);

    // A region spanning almost the whole int range, whose height itself overflows 32 bits.
    const Rect huge(0, INT_MIN + 1, 1, INT_MAX);
    EXPECT_EQ(FilterBandEdge(huge, 0, 3), INT_MIN + 1);
    EXPECT_EQ(FilterBandEdge(huge, 3, 3), INT_MAX);
    EXPECT_LT(FilterBandEdge(huge, 1, 3), FilterBandEdge(huge, 2, 3));
    EXPECT_EQ(FilterBandEdge(huge, 2, 3) - FilterBandEdge(huge, 1, 3), 1431655765);
}

// With a count below 1 the whole region is one band, instead of a division by zero.
TEST(FilterBand, CountBelowOneIsOneBand) {
    const Rect region(2, 10, 9, 30);
    for (int n : {0, -1, -64}) {
        EXPECT_TRUE(FilterBand(region, 0, n) == region) << n;
        EXPECT_EQ(FilterBandEdge(region, 1, n), 30) << n;
    }
}

}  // namespace
