// PF_Cmd_SMART_PRE_RENDER of the module loaded from disk: the record it hands to the render (units
// converted, popups as the host gives them), the input it asks for, the output it announces, and
// what it leaves when a host call fails.
#include "RenderRig.h"

#include "VelmorSmartRender.h"

#include <cmath>
#include <numbers>
#include <optional>

using namespace vtest;

namespace {

struct PreRun {
    PF_Err err = PF_Err_NONE;
    PF_PreRenderOutput output{};
    bool stored = false;  // a handle was left in pre_render_data
    A_HandleSize handleSize = 0;
    PreRenderParams record{};
};

bool sameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string str(const PF_LRect& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) +
           ", " + std::to_string(r.bottom) + ")";
}

// One pre-render of a w x h layer at 1/ds, as the host sends it; the host's frame then ends
// (checkouts back, the record's handle disposed of).
PreRun preRender(Rig& rig, int w, int h, int ds = 1, std::optional<PF_LRect> request = std::nullopt,
                 PF_PreRenderOutput start = {}) {
    vhost::SmartFrame::Options options;
    options.request = request;
    const PF_RationalScale scale{1, static_cast<A_u_long>(ds)};
    vhost::SmartFrame frame(markedImage(w, h, Depth::Bits8), scale, scale, options);
    frame.attach(rig.effect());
    *frame.preRenderExtra()->output = start;
    PF_InData in = rig.effect().makeInData();
    frame.prepareInData(in);
    PF_OutData out{};
    PreRun run;
    run.err = rig.effect().command(PF_Cmd_SMART_PRE_RENDER, in, out, rig.effect().currentParams(), nullptr,
                                   frame.preRenderExtra());
    run.output = frame.preRenderOutput();
    if (auto handle = static_cast<PF_Handle>(run.output.pre_render_data)) {
        run.stored = rig.host().isLiveHandle(handle);
        run.handleSize = rig.host().handleSize(handle);
        std::memcpy(&run.record, rig.host().lockHandle(handle), sizeof run.record);
        rig.host().unlockHandle(handle);
    }
    frame.finish();
    return run;
}

TEST(PreRender, DirectionIsStoredInRadiansWithinOneTurn) {
    Rig rig;
    const struct {
        double degrees;
        double radians;
    } cases[] = {
        {-90.0, 0x1.2d97c7f3321d2p+2},  // 3 pi / 2
        {450.0, 0x1.921fb54442d18p+0},  // pi / 2
        {360.0, 0.0},
        {90.0, 0x1.921fb54442d18p+0},
        {0.0, 0.0},
        {-720.5, 359.5 * 0.017453292519943295},
    };
    for (const auto& c : cases) {
        rig.set(kDirection, c.degrees);
        const PreRun run = preRender(rig, 32, 16);
        ASSERT_EQ(run.err, PF_Err_NONE);
        EXPECT_EQ(run.record.direction, c.radians) << c.degrees << " degrees";
        EXPECT_GE(run.record.direction, 0.0);
        EXPECT_LT(run.record.direction, 2.0 * std::numbers::pi);
    }
    EXPECT_DOUBLE_EQ(0x1.2d97c7f3321d2p+2, 3.0 * std::numbers::pi / 2.0);
    EXPECT_TRUE(rig.clean());
}

TEST(PreRender, OffsetIsStoredAsAFractionOfOneTurn) {
    Rig rig;
    const struct {
        double degrees;
        double fraction;
    } cases[] = {{-90.0, 0.75}, {360.0, 0.0}, {0.0, 0.0}, {180.0, 0.5}, {-450.0, 0.75}, {45.0, 0.125}};
    for (const auto& c : cases) {
        rig.set(kOffset, c.degrees);
        const PreRun run = preRender(rig, 32, 16);
        ASSERT_EQ(run.err, PF_Err_NONE);
        EXPECT_EQ(run.record.offset, c.fraction) << c.degrees << " degrees";
    }
    EXPECT_TRUE(rig.clean());
}

TEST(PreRender, CompletionAndDelayAreFractionsAndPopupsArriveOneBased) {
    {
        Rig rig;
        rig.set({{kMode, Both},
                 {kCompletion, 50.0},
                 {kDelay, 100.0},
                 {kOrder, Random},
                 {kSeed, 1234},
                 {kEasing, 9},
                 {kEasingMode, 1},
                 {kState, Shrink},
                 {kOutside, Mirror}});
        const PreRun run = preRender(rig, 32, 16);
        ASSERT_EQ(run.err, PF_Err_NONE);
        EXPECT_EQ(run.record.completion, 0.5);
        EXPECT_EQ(run.record.delay, 1.0);
        EXPECT_EQ(run.record.mode, 2);
        EXPECT_EQ(run.record.order, 3);
        EXPECT_EQ(run.record.seed, 1234);
        EXPECT_EQ(run.record.easing_type, 9);
        EXPECT_EQ(run.record.easing_mode, 1);
        EXPECT_EQ(run.record.state, 3);
        EXPECT_EQ(run.record.border_type, 4);
        EXPECT_TRUE(rig.clean());
    }

    // The defaults: Delay 10 %, Mode One, Order Normal, Easing Linear, InOut, Still, Mirror.
    Rig fresh;
    const PreRun run = preRender(fresh, 32, 16);
    ASSERT_EQ(run.err, PF_Err_NONE);
    EXPECT_DOUBLE_EQ(run.record.delay, 0.1);
    EXPECT_EQ(run.record.completion, 0.0);
    EXPECT_EQ(run.record.mode, 1);
    EXPECT_EQ(run.record.order, 1);
    EXPECT_EQ(run.record.easing_type, 1);
    EXPECT_EQ(run.record.easing_mode, 3);
    EXPECT_EQ(run.record.state, 1);
    EXPECT_EQ(run.record.border_type, 4);
    EXPECT_EQ(run.record.width, 20.0);
    EXPECT_EQ(run.handleSize, sizeof(PreRenderParams));
    EXPECT_TRUE(fresh.clean());
}

// The request grows by ceil(width of the downsampled image) on every side, and the output
// announces what the input checkout gives: the grown request clipped to the layer.
TEST(PreRender, WidthFollowsTheDownsamplingAndTheRequestGrowsByItsCeiling) {
    Rig rig;
    const struct {
        double width;
        int ds;
        double stored;
        PF_LRect request;
        PF_LRect result;
    } cases[] = {
        {20.0, 1, 20.0, {30, 30, 60, 50}, {10, 10, 80, 70}},
        {20.0, 2, 10.0, {30, 30, 60, 50}, {20, 20, 70, 60}},
        {1.5, 4, 1.0, {30, 30, 60, 50}, {29, 29, 61, 51}},    // 0.375 is raised to 1
        {20.2, 1, 20.2, {30, 30, 60, 50}, {9, 9, 81, 71}},    // margin 21
        {20.0, 1, 20.0, {5, 90, 60, 100}, {0, 70, 80, 100}},  // clipped to the layer
    };
    for (const auto& c : cases) {
        rig.set(kWidth, c.width);
        // The layer is 120 x 100 at the render's downsampling.
        const PreRun run = preRender(rig, 120 * c.ds, 100 * c.ds, c.ds, c.request);
        ASSERT_EQ(run.err, PF_Err_NONE);
        EXPECT_EQ(run.record.width, c.stored) << c.width << " at 1/" << c.ds;
        EXPECT_TRUE(sameRect(run.output.result_rect, c.result))
            << c.width << " at 1/" << c.ds << ": " << str(run.output.result_rect);
        EXPECT_TRUE(sameRect(run.output.max_result_rect, PF_LRect{0, 0, 120, 100}));
        EXPECT_TRUE(sameRect(run.record.layer_rect, PF_LRect{0, 0, 120, 100}));
        EXPECT_TRUE(run.output.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
    }
    EXPECT_TRUE(rig.clean());
}

TEST(PreRender, OutputRectanglesGrowToCoverTheInputs) {
    Rig rig;
    rig.set(kWidth, 4.0);
    PF_PreRenderOutput start{};
    start.result_rect = PF_LRect{-10, 50, 5, 60};
    start.max_result_rect = PF_LRect{100, 100, 300, 120};
    const PreRun run = preRender(rig, 120, 100, 1, PF_LRect{20, 20, 40, 30}, start);
    ASSERT_EQ(run.err, PF_Err_NONE);
    EXPECT_TRUE(sameRect(run.output.result_rect, PF_LRect{-10, 16, 44, 60})) << str(run.output.result_rect);
    EXPECT_TRUE(sameRect(run.output.max_result_rect, PF_LRect{0, 0, 300, 120}))
        << str(run.output.max_result_rect);
    EXPECT_TRUE(rig.clean());
}

TEST(PreRender, AFailingParameterCheckoutLeavesTheRectanglesAndChecksOutNoLayer) {
    Rig rig;
    PF_PreRenderOutput start{};
    start.result_rect = PF_LRect{1, 2, 3, 4};
    start.max_result_rect = PF_LRect{5, 6, 7, 8};
    for (int k = 1; k <= 12; ++k) {
        rig.ledger().resetLog();
        rig.ledger().failOp("checkout_param", k, PF_Err_INVALID_INDEX);
        const PreRun run = preRender(rig, 40, 30, 1, std::nullopt, start);
        EXPECT_EQ(run.err, PF_Err_INVALID_INDEX) << "checkout " << k;
        EXPECT_TRUE(sameRect(run.output.result_rect, start.result_rect));
        EXPECT_TRUE(sameRect(run.output.max_result_rect, start.max_result_rect));
        EXPECT_TRUE(run.stored) << "the record's handle was already handed to the host";
        EXPECT_EQ(rig.ledger().callsOf("checkout_param"), k);
        EXPECT_EQ(rig.ledger().callsOf("checkin_param"), k - 1);
        EXPECT_FALSE(rig.called("checkout_layer"));
        EXPECT_TRUE(rig.clean()) << "checkout " << k;
    }
}

TEST(PreRender, AFailingLayerCheckoutLeavesTheRectangles) {
    Rig rig;
    PF_PreRenderOutput start{};
    start.result_rect = PF_LRect{1, 2, 3, 4};
    rig.ledger().failOp("checkout_layer", 1, PF_Err_OUT_OF_MEMORY);
    const PreRun run = preRender(rig, 40, 30, 1, std::nullopt, start);
    EXPECT_EQ(run.err, PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(sameRect(run.output.result_rect, start.result_rect));
    EXPECT_TRUE(sameRect(run.output.max_result_rect, PF_LRect{0, 0, 0, 0}));
    EXPECT_TRUE(run.stored);
    EXPECT_EQ(rig.ledger().callsOf("checkin_param"), 12) << "every parameter was given back";
    EXPECT_TRUE(rig.clean());
}

TEST(PreRender, TheRecordsHandleFailingGivesOutOfMemoryAndLeavesNothing) {
    for (const char* op : {"host_new_handle", "host_lock_handle"}) {
        Rig rig;
        rig.ledger().failOp(op, 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
        const std::size_t handles = rig.host().liveHandleCount();
        const PreRun run = preRender(rig, 40, 30);
        EXPECT_EQ(run.err, PF_Err_OUT_OF_MEMORY) << op;
        EXPECT_EQ(run.output.pre_render_data, nullptr) << op;
        EXPECT_EQ(rig.host().liveHandleCount(), handles) << op << ": the handle was not left behind";
        EXPECT_FALSE(rig.called("checkout_param")) << op;
        EXPECT_TRUE(rig.clean()) << op;
    }
}

}  // namespace
