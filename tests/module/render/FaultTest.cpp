// Host calls failing during a frame, through the module loaded from disk: each failing call of the
// pre-render and the render gives its documented result, draws nothing where nothing may be
// drawn, and leaves nothing behind (every handle, checkout, world and suite given back).
#include "RenderRig.h"

#include <algorithm>

using namespace vtest;

namespace {

using vhost::RenderOptions;
using vhost::RenderReport;

constexpr PF_Err kHostError = PF_Interrupt_CANCEL;  // what the host answers when told to fail

bool untouched(const RenderReport& report) {
    return !report.outputCheckedOut ||
           std::all_of(report.output.bytes.begin(), report.output.bytes.end(),
                       [](std::uint8_t b) { return b == vhost::kWorldUnclearedByte; });
}

struct Expectation {
    const char* op;     // the host operation told to fail
    int nth;            // its nth call in the frame
    double completion;  // the frame's Completion
    PF_Err result;      // the frame's result
    bool rendered;      // whether the render command was sent (the pre-render succeeded)
};

class FaultTest : public ::testing::TestWithParam<Depth> {};

TEST_P(FaultTest, EachFailingHostCallGivesItsResultAndLeavesNothing) {
    const Depth depth = GetParam();
    const std::vector<Expectation> cases = {
        {"host_new_handle", 1, 50.0, PF_Err_OUT_OF_MEMORY, false},
        {"host_lock_handle", 1, 50.0, PF_Err_OUT_OF_MEMORY, false},
        {"host_lock_handle", 2, 50.0, PF_Err_BAD_CALLBACK_PARAM, true},
        {"checkout_param", 1, 50.0, kHostError, false},
        {"checkout_param", 7, 50.0, kHostError, false},
        {"checkout_param", 12, 50.0, kHostError, false},
        {"checkout_layer", 1, 50.0, kHostError, false},
        {"checkout_layer_pixels", 1, 50.0, kHostError, true},
        {"checkout_output", 1, 50.0, kHostError, true},
        {"PF_GetPixelFormat", 1, 50.0, kHostError, true},
        {"AEGP_GetEffectLayer", 1, 50.0, kHostError, true},
        {"AEGP_GetLayerQuality", 1, 50.0, kHostError, true},
        {"AEGP_GetNumThreads", 1, 50.0, kHostError, true},
        {"iterate_generic", 1, 50.0, kHostError, true},
        {"copy", 1, 0.0, kHostError, true},
        {"fill", 1, 100.0, kHostError, true},
    };
    Rig rig(2);
    rig.set({{kState, Move}, {kMode, Both}, {kWidth, 6.0}, {kDirection, 20.0}, {kOutside, Tile}});
    const Image input = markedImage(21, 13, depth);
    for (const Expectation& e : cases) {
        SCOPED_TRACE(std::string(e.op) + " #" + std::to_string(e.nth) + " at " + depthLabel(depth));
        rig.set(kCompletion, e.completion);
        rig.ledger().resetLog();
        rig.ledger().failOp(e.op, e.nth, kHostError);
        RenderReport report;
        Image out;
        EXPECT_EQ(rig.render(input, out, {}, &report), e.result);
        EXPECT_EQ(report.rendered, e.rendered);
        EXPECT_TRUE(untouched(report)) << "something was drawn";
        EXPECT_TRUE(report.outputIntact && report.inputUnchanged);
        if (std::string(e.op) == "checkout_param" || std::string(e.op) == "checkout_layer") {
            // The output rectangles were left as the host made them: empty.
            EXPECT_EQ(report.preRenderOutput.result_rect.right, 0);
            EXPECT_EQ(report.preRenderOutput.max_result_rect.right, 0);
        }
        if (std::string(e.op) == "AEGP_GetEffectLayer") {
            EXPECT_FALSE(rig.called("AEGP_GetLayerQuality"));
        }
        EXPECT_TRUE(rig.clean());
    }
}

TEST_P(FaultTest, MissingSuitesAreBadCallbackParamWithNothingHeld) {
    const Depth depth = GetParam();
    const struct {
        std::string suite;
        int version;
        int state;
    } cases[] = {
        {samplingSuiteOf(depth), 1, Move},     {samplingSuiteOf(depth), 1, Shrink},
        {"AEGP PF Interface Suite", 1, Still}, {"AEGP Layer Suite", 11, Still},
        {"AEGP Iterate Suite", 1, Still},      {"PF Iterate8 Suite", 1, Still},
        {"PF Handle Suite", 2, Still},         {"PF World Suite", 2, Still},
    };
    Rig rig(2);
    rig.set({{kCompletion, 30.0}, {kWidth, 4.0}});
    const Image input = markedImage(17, 9, depth);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suite + " " + std::to_string(c.version));
        rig.set(kState, c.state);
        rig.host().hideSuite(c.suite, c.version);
        RenderReport report;
        Image out;
        EXPECT_EQ(rig.render(input, out, {}, &report), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(rig.ledger().faults().empty()) << "no exception reached the host";
        rig.host().hideSuite(c.suite, c.version, false);
        EXPECT_TRUE(rig.clean());
    }
    // A frame that never samples does not need the sampling suite.
    rig.set(kState, Still);
    rig.host().hideSuite(samplingSuiteOf(depth), 1);
    Image out;
    EXPECT_EQ(rig.render(input, out), PF_Err_NONE);
    EXPECT_TRUE(rig.clean());
}

// Every host call of a whole frame in turn: whatever fails, the frame either fails with a code
// or (for calls whose failure changes nothing, such as giving a suite back) renders exactly what
// an undisturbed frame renders; either way nothing is left behind.
TEST_P(FaultTest, FailingAnyCallOfTheFrameLeavesNothingBehind) {
    const Depth depth = GetParam();
    Rig rig(1);
    rig.set({{kCompletion, 45.0}, {kState, Shrink}, {kMode, One}, {kWidth, 5.0}, {kOutside, Tile}});
    const Image input = markedImage(15, 11, depth);
    Image reference;
    rig.ledger().resetLog();
    ASSERT_EQ(rig.render(input, reference), PF_Err_NONE);
    const std::vector<std::string> calls = rig.ledger().callLog();
    ASSERT_GT(calls.size(), 20u);
    for (std::size_t n = 1; n <= calls.size(); ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + ": " + calls[n - 1]);
        rig.ledger().resetLog();
        rig.ledger().failNthCall(n, kHostError);
        Image out;
        const PF_Err err = rig.render(input, out);
        if (err == PF_Err_NONE) {
            EXPECT_EQ(out.bytes, reference.bytes);
        }
        EXPECT_TRUE(rig.clean());
        if (!rig.clean()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, FaultTest, ::testing::Values(Depth::Bits8, Depth::Bits16, Depth::Float32),
                         [](const auto& info) { return std::string("Bits") + depthLabel(info.param); });

}  // namespace
