// The threaded executor on the calling thread (the host runs the indices in order, reversed or
// shuffled): the bands it hands out, what it asks of the host, and each way a run can fail.
#include "ImagesFixture.h"
#include "RecordingFilter.h"

#include "AE_EffectSuites.h"

#include <algorithm>

using namespace vtest;
using Velmor::ExecuteFilter;
using Velmor::FilterMulti;
using Velmor::FilterMultiContext;
using Velmor::Layer;
using Velmor::Rect;

namespace {

class FilterMultiTest : public HostTest {
protected:
    FilterMultiTest() : HostTest(4) {}

    void SetUp() override {
        HostTest::SetUp();
        host_->setIterationOrder(vhost::IterationOrder::Shuffled);
        param.recorder = &rec;
    }

    std::vector<std::pair<int, int>> sortedRows() {
        std::vector<std::pair<int, int>> rows;
        for (const Rect& b : rec.bands) rows.emplace_back(b.top, b.bottom);
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    Recorder rec;
    RecordingFilter::Parameter param;
};

TEST_F(FilterMultiTest, WholeDestinationIsCutIntoOneBandPerThread) {
    Layer src(&in_, &out_, 6, 10, 0), dst(&in_, &out_, 6, 10, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 6; ++x)
            pixelOf<PF_Pixel>(src.getWorld(), x, y).red = static_cast<A_u_char>(10 * y + x);
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), 0);
    EXPECT_EQ(sortedRows(), (std::vector<std::pair<int, int>>{{0, 2}, {2, 5}, {5, 7}, {7, 10}}));
    for (const Rect& b : rec.bands) {
        EXPECT_EQ(b.left, 0);
        EXPECT_EQ(b.right, 6);
    }
    EXPECT_EQ(rec.constructed, 1);
    EXPECT_EQ(rec.destroyed, 1);
    // Every destination pixel written exactly once.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(pixelOf<PF_Pixel>(dst.getWorld(), x, y).alpha, 1) << x << "," << y;
            EXPECT_EQ(pixelOf<PF_Pixel>(dst.getWorld(), x, y).red, 10 * y + x);
        }
    EXPECT_EQ(ledger().acquisitions("AEGP Iterate Suite", 1), 1);
    EXPECT_EQ(ledger().acquisitions("PF Iterate8 Suite", 1), 1);
}

TEST_F(FilterMultiTest, RegionKeepsItsOffsetAndMoreThreadsThanRowsGiveEmptyBands) {
    Layer src(&in_, &out_, 8, 8, 0), dst(&in_, &out_, 8, 8, 0);
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, Rect(2, 4, 5, 7), param), 0);
    EXPECT_EQ(sortedRows(), (std::vector<std::pair<int, int>>{{4, 4}, {4, 5}, {5, 6}, {6, 7}}));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 4 && y < 7;
            EXPECT_EQ(pixelOf<PF_Pixel>(dst.getWorld(), x, y).alpha, inside ? 1 : 0) << x << "," << y;
        }
}

TEST_F(FilterMultiTest, EmptyRegionAsksTheHostNothing) {
    Layer src(&in_, &out_, 4, 4, 0), dst(&in_, &out_, 4, 4, 0);
    const auto before = ledger().callCount();
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, Rect(3, 0, 3, 4), param), 0);
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, Rect(0, 4, 4, 1), param), 0);
    EXPECT_EQ(ledger().callCount(), before);
    EXPECT_EQ(rec.constructed, 0);
}

// The band depends on the index alone: not on the thread that runs it, nor on the thread index
// or iteration count the host passes.
TEST_F(FilterMultiTest, BandOfAnIndexIgnoresThreadIndexAndIterations) {
    Layer src(&in_, &out_, 3, 110, 0), dst(&in_, &out_, 3, 110, 0);
    RecordingFilter filter(param);
    const auto before = ledger().callCount();
    FilterMultiContext context{&in_, &filter, &src, &dst, Rect(0, 100, 3, 110), 4};
    for (A_long thread : {0, 3, 17})
        for (A_long iterations : {1, 4, 99})
            EXPECT_EQ(ExecuteFilter<RecordingFilter>(&context, thread, 2, iterations), 0);
    ASSERT_EQ(rec.bands.size(), 9u);
    for (const Rect& b : rec.bands) EXPECT_TRUE(b == Rect(0, 105, 3, 107));
    EXPECT_EQ(ledger().callCount(), before);
}

TEST_F(FilterMultiTest, FailedThreadCountBuildsNoFilter) {
    Layer src(&in_, &out_, 4, 4, 0), dst(&in_, &out_, 4, 4, 0);
    ledger().failOp("AEGP_GetNumThreads", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(rec.constructed, 0);
    EXPECT_EQ(ledger().callsOf("iterate_generic"), 0);
    EXPECT_EQ(ledger().acquisitions("PF Iterate8 Suite", 1), 0);
}

TEST_F(FilterMultiTest, FailedIterationIsReturnedAndTheFilterDestroyed) {
    Layer src(&in_, &out_, 4, 4, 0), dst(&in_, &out_, 4, 4, 0);
    ledger().failOp("iterate_generic", 1, PF_Interrupt_CANCEL);
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), PF_Interrupt_CANCEL);
    EXPECT_EQ(rec.constructed, 1);
    EXPECT_EQ(rec.destroyed, 1);
    EXPECT_TRUE(rec.bands.empty());
}

TEST_F(FilterMultiTest, MissingIterationSuiteThrowsAfterDestroyingTheFilter) {
    Layer src(&in_, &out_, 4, 4, 0), dst(&in_, &out_, 4, 4, 0);
    host_->hideSuite(kPFIterate8Suite, 1);
    EXPECT_THROW(FilterMulti<RecordingFilter>(&in_, src, dst, param), PF_Err);
    EXPECT_EQ(rec.constructed, 1);
    EXPECT_EQ(rec.destroyed, 1);
    EXPECT_EQ(ledger().releases("AEGP Iterate Suite", 1), 1);
}

// An exception from a band must not unwind into the host: it becomes the band's error, and the
// other bands still run.
TEST_F(FilterMultiTest, ExceptionInABandBecomesTheRunsError) {
    Layer src(&in_, &out_, 2, 8, 0), dst(&in_, &out_, 2, 8, 0);
    const std::pair<Recorder::Throw, PF_Err> cases[] = {
        {Recorder::Throw::PfErr, PF_Err_BAD_CALLBACK_PARAM},
        {Recorder::Throw::BadAlloc, PF_Err_OUT_OF_MEMORY},
        {Recorder::Throw::Other, PF_Err_INTERNAL_STRUCT_DAMAGED}};
    for (const auto& [what, code] : cases) {
        Recorder local;
        local.throwAtTop = 4;
        local.throwWhat = what;
        RecordingFilter::Parameter p{&local};
        EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, p), code);
        EXPECT_EQ(local.bands.size(), 4u);
        EXPECT_EQ(local.finished.load(), 3);
        EXPECT_EQ(local.destroyed, 1);
    }
}

PF_Err noThreads(A_long* count) {
    *count = 0;
    return PF_Err_NONE;
}

TEST_F(FilterMultiTest, ThreadCountBelowOneRunsOneBand) {
    const AEGP_IterateSuite1 none{&noThreads};
    host_->registerSuite(kAEGPIterateSuite, 1, &none);
    Layer src(&in_, &out_, 3, 5, 0), dst(&in_, &out_, 3, 5, 0);
    EXPECT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), 0);
    EXPECT_EQ(sortedRows(), (std::vector<std::pair<int, int>>{{0, 5}}));
}

TEST_F(FilterMultiTest, EveryOrderGivesTheSameBands) {
    Layer src(&in_, &out_, 2, 37, 0), dst(&in_, &out_, 2, 37, 0);
    host_->setThreadCount(7);
    std::vector<std::pair<int, int>> first;
    for (auto order :
         {vhost::IterationOrder::InOrder, vhost::IterationOrder::Reversed, vhost::IterationOrder::Shuffled}) {
        rec.bands.clear();
        host_->setIterationOrder(order);
        ASSERT_EQ(FilterMulti<RecordingFilter>(&in_, src, dst, param), 0);
        if (first.empty()) first = sortedRows();
        EXPECT_EQ(sortedRows(), first);
    }
    EXPECT_EQ(first.size(), 7u);
    EXPECT_EQ(first.front().first, 0);
    EXPECT_EQ(first.back().second, 37);
}

}  // namespace
