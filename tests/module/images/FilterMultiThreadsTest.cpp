// The threaded executor on the host's real worker pool: every index runs exactly once, the bands
// run at the same time on the calling thread and the pool's workers, the caller returns after the
// last of them, and the pool's threads outlive each run.
#include "ImagesFixture.h"
#include "RecordingFilter.h"

#include <algorithm>
#include <set>

using namespace vtest;
using Velmor::FilterMulti;
using Velmor::Layer;
using Velmor::Rect;

namespace {

class FilterMultiThreadsTest : public HostTest {
protected:
    FilterMultiThreadsTest() : HostTest(4) {}
};

TEST_F(FilterMultiThreadsTest, EveryBandRunsOnceConcurrentlyOnThePool) {
    ASSERT_EQ(host_->iterationOrder(), vhost::IterationOrder::Threads);
    Layer src(&in_, &out_, 16, 301, 0), dst(&in_, &out_, 16, 301, 0);
    for (int y = 0; y < 301; ++y)
        for (int x = 0; x < 16; ++x)
            pixelOf<PF_Pixel>(src.getWorld(), x, y).red = static_cast<A_u_char>(x + y);
    Recorder rec;
    rec.meetAt = 4;
    RecordingFilter::Parameter param{&rec};

    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), 0);

    // The caller came back only after every band had finished.
    EXPECT_EQ(rec.finished.load(), 4);
    EXPECT_EQ(rec.running.load(), 0);
    EXPECT_EQ(rec.destroyed, 1);
    // All four were in flight together.
    EXPECT_TRUE(rec.everyoneMet);
    std::vector<std::pair<int, int>> rows;
    for (const Rect& b : rec.bands) rows.emplace_back(b.top, b.bottom);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<std::pair<int, int>>{{0, 75}, {75, 150}, {150, 225}, {225, 301}}));
    const std::set<std::thread::id> threads(rec.threads.begin(), rec.threads.end());
    EXPECT_EQ(threads.size(), 4u);  // the caller and the pool's three workers
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u);
    for (int y = 0; y < 301; ++y)
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(pixelOf<PF_Pixel>(dst.getWorld(), x, y).alpha, 1) << x << "," << y;
            ASSERT_EQ(pixelOf<PF_Pixel>(dst.getWorld(), x, y).red, static_cast<A_u_char>(x + y));
        }
    EXPECT_TRUE(vhost::worldGuardsIntact(dst.getWorld()));
}

TEST_F(FilterMultiThreadsTest, PoolThreadsPersistAcrossRuns) {
    Layer src(&in_, &out_, 4, 40, 0), dst(&in_, &out_, 4, 40, 0);
    Recorder rec;
    RecordingFilter::Parameter param{&rec};
    for (int run = 0; run < 25; ++run) ASSERT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), 0);
    EXPECT_EQ(rec.bands.size(), 100u);
    const std::set<std::thread::id> threads(rec.threads.begin(), rec.threads.end());
    EXPECT_LE(threads.size(), 4u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u);  // the caller starts on a band at once
    for (int y = 0; y < 40; ++y) EXPECT_EQ(pixelOf<PF_Pixel>(dst.getWorld(), 3, y).alpha, 25);
}

TEST_F(FilterMultiThreadsTest, ResizedPoolServesTheNewCount) {
    Layer src(&in_, &out_, 2, 64, 0), dst(&in_, &out_, 2, 64, 0);
    host_->setThreadCount(8);
    Recorder rec;
    rec.meetAt = 8;
    RecordingFilter::Parameter param{&rec};
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), 0);
    EXPECT_TRUE(rec.everyoneMet);
    EXPECT_EQ(rec.bands.size(), 8u);
    EXPECT_EQ(std::set<std::thread::id>(rec.threads.begin(), rec.threads.end()).size(), 8u);
}

TEST_F(FilterMultiThreadsTest, ExceptionOnAWorkerBecomesTheRunsError) {
    Layer src(&in_, &out_, 2, 8, 0), dst(&in_, &out_, 2, 8, 0);
    Recorder rec;
    rec.throwAtTop = 2;
    RecordingFilter::Parameter param{&rec};
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(rec.finished.load(), 3);
    EXPECT_EQ(rec.destroyed, 1);
}

}  // namespace
