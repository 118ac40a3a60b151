// SourceInfo on a stand-in host's smart-render frame: the checkouts it makes, the depth it reads
// from the input's pixel format, its queries, and each way its construction can fail.
#include "ImagesFixture.h"

#include "AE_EffectSuites.h"
#include "SmartFrame.h"
#include "VelmorSourceInfo.h"

using namespace vtest;
using Velmor::SourceInfo;
using vhost::Depth;
using vhost::Image;
using vhost::SmartFrame;

namespace {

class SourceInfoTest : public HostTest {
protected:
    // A frame whose pre-render has checked the whole layer out and reported it as the output.
    std::unique_ptr<SmartFrame> frameOf(Depth depth, PF_LRect request = PF_LRect{0, 0, 6, 4}) {
        auto frame = std::make_unique<SmartFrame>(Image(6, 4, depth));
        frame->attach(*effect_);
        PF_RenderRequest req{};
        req.rect = request;
        PF_CheckoutResult result{};
        EXPECT_EQ(frame->preRenderExtra()->cb->checkout_layer(in_.effect_ref, 0, 0, &req, 0, 1, 30, &result),
                  0);
        frame->preRenderExtra()->output->result_rect = result.result_rect;
        frame->prepareInData(in_);
        return frame;
    }
};

TEST_F(SourceInfoTest, ChecksOutBothWorldsAndReadsTheDepthOfEach) {
    const std::pair<Depth, int> cases[] = {{Depth::Bits8, 0}, {Depth::Bits16, 1}, {Depth::Float32, 2}};
    for (const auto& [depth, bpc] : cases) {
        auto frame = frameOf(depth, PF_LRect{2, 1, 6, 4});
        SourceInfo info(&in_, &out_, frame->smartRenderExtra());
        EXPECT_EQ(info.getError(), 0);
        EXPECT_EQ(info.getBPC(), bpc);
        EXPECT_EQ(info.getInputWorld(), frame->inputWorld(0));
        EXPECT_EQ(info.getOutputWorld(), frame->outputWorld());
        EXPECT_EQ(info.getInputWidth(), 4);
        EXPECT_EQ(info.getInputHeight(), 3);
        EXPECT_EQ(info.getOutputWidth(), 4);
        EXPECT_EQ(info.getOutputHeight(), 3);
        EXPECT_EQ(info.getWidth(), 6);
        EXPECT_EQ(info.getHeight(), 4);
        EXPECT_EQ(info.getInputOrigin().x, 2.0);
        EXPECT_EQ(info.getInputOrigin().y, 1.0);
        EXPECT_EQ(ledger().acquisitions("PF World Suite", 2), ledger().releases("PF World Suite", 2));
    }
}

TEST_F(SourceInfoTest, OutputOriginIsTheOutputWorldsOrigin) {
    auto frame = frameOf(Depth::Bits8);
    frame->preRenderExtra()->output->result_rect = PF_LRect{-12, 7, 0, 9};
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    ASSERT_EQ(info.getError(), 0);
    EXPECT_EQ(info.getOutputOrigin().x, -12.0);
    EXPECT_EQ(info.getOutputOrigin().y, 7.0);
}

TEST_F(SourceInfoTest, DownsamplingIsTheRatioOfTheHostsFactors) {
    SmartFrame frame(Image(8, 8, Depth::Bits8), {1, 2}, {1, 3});
    frame.attach(*effect_);
    frame.prepareInData(in_);
    PF_CheckoutResult result{};
    PF_RenderRequest req{};
    req.rect = PF_LRect{0, 0, 4, 3};
    frame.preRenderExtra()->cb->checkout_layer(in_.effect_ref, 0, 0, &req, 0, 1, 30, &result);
    SourceInfo half(&in_, &out_, frame.smartRenderExtra());
    EXPECT_EQ(half.getDownSampleX(), 0.5);
    EXPECT_EQ(half.getDownSampleY(), 1.0 / 3.0);
    EXPECT_EQ(half.getWidth(), 4);
    EXPECT_EQ(half.getHeight(), 3);
    in_.downsample_x = PF_RationalScale{1, 1};
    EXPECT_EQ(half.getDownSampleX(), 1.0);
}

// ---- the pixel-format table, on a host that reports any format asked of it ------------------

PF_PixelFormat reportedFormat = 0;

PF_Err reportFormat(const PF_EffectWorld*, PF_PixelFormat* format) {
    *format = reportedFormat;
    return PF_Err_NONE;
}

TEST_F(SourceInfoTest, PixelFormatTableGivesTheDepth) {
    PF_WorldSuite2 reporting = *static_cast<const PF_WorldSuite2*>(host_->findSuite(kPFWorldSuite, 2));
    reporting.PF_GetPixelFormat = &reportFormat;
    host_->registerSuite(kPFWorldSuite, 2, &reporting);
    auto frame = frameOf(Depth::Bits8);
    const std::pair<PF_PixelFormat, int> table[] = {{PF_PixelFormat_ARGB128, 2},
                                                    {PF_PixelFormat_GPU_BGRA128, 2},
                                                    {PF_PixelFormat_ARGB64, 1},
                                                    {PF_PixelFormat_ARGB32, 0},
                                                    {PF_PixelFormat_BGRA32, 0}};
    for (const auto& [format, bpc] : table) {
        reportedFormat = format;
        SourceInfo info(&in_, &out_, frame->smartRenderExtra());
        EXPECT_EQ(info.getError(), 0) << std::hex << format;
        EXPECT_EQ(info.getBPC(), bpc) << std::hex << format;
    }
}

// A format outside the table must not leave the depth to chance: nothing may be drawn.
TEST_F(SourceInfoTest, UnknownPixelFormatIsAnErrorAndNoDepth) {
    PF_WorldSuite2 reporting = *static_cast<const PF_WorldSuite2*>(host_->findSuite(kPFWorldSuite, 2));
    reporting.PF_GetPixelFormat = &reportFormat;
    host_->registerSuite(kPFWorldSuite, 2, &reporting);
    auto frame = frameOf(Depth::Bits8);
    // The host's "invalid" code, a code one off a known one, and none at all.
    for (PF_PixelFormat format : {PF_PixelFormat_INVALID, PF_PixelFormat_ARGB32 - 1, PF_PixelFormat(0)}) {
        reportedFormat = format;
        SourceInfo info(&in_, &out_, frame->smartRenderExtra());
        EXPECT_EQ(info.getError(), PF_Err_BAD_CALLBACK_PARAM) << std::hex << format;
        EXPECT_EQ(info.getBPC(), -1) << std::hex << format;
    }
    EXPECT_EQ(ledger().acquisitions("PF World Suite", 2), 3);
    EXPECT_EQ(ledger().releases("PF World Suite", 2), 3);
}

// ---- failures of construction -------------------------------------------------------------------

TEST_F(SourceInfoTest, FailedInputCheckoutStopsEverythingAfterIt) {
    auto frame = frameOf(Depth::Bits16);
    ledger().failOp("checkout_layer_pixels", 1, PF_Err_OUT_OF_MEMORY);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    EXPECT_EQ(info.getError(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(info.getBPC(), -1);
    EXPECT_EQ(info.getInputWorld(), nullptr);
    EXPECT_EQ(info.getOutputWorld(), nullptr);
    EXPECT_EQ(ledger().callsOf("checkout_output"), 0);
    EXPECT_EQ(ledger().callsOf("AcquireSuite"), 0);
    EXPECT_EQ(ledger().callsOf("ReleaseSuite"), 0);
}

TEST_F(SourceInfoTest, FailedOutputCheckoutIsRecordedAndNoSuiteTaken) {
    auto frame = frameOf(Depth::Bits8);
    ledger().failOp("checkout_output", 1, PF_Interrupt_CANCEL);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    EXPECT_EQ(info.getError(), PF_Interrupt_CANCEL);
    EXPECT_EQ(info.getBPC(), -1);
    EXPECT_NE(info.getInputWorld(), nullptr);
    EXPECT_EQ(ledger().callsOf("AcquireSuite"), 0);
}

TEST_F(SourceInfoTest, FailedPixelFormatQueryIsRecordedAndTheSuiteReleased) {
    auto frame = frameOf(Depth::Float32);
    ledger().failOp("PF_GetPixelFormat", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    EXPECT_EQ(info.getError(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(info.getBPC(), -1);
    EXPECT_EQ(ledger().releases("PF World Suite", 2), 1);
}

TEST_F(SourceInfoTest, MissingWorldSuiteIsShownToTheUser) {
    auto frame = frameOf(Depth::Bits8);
    host_->hideSuite(kPFWorldSuite, 2);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    EXPECT_EQ(info.getError(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(info.getBPC(), -1);
    EXPECT_STREQ(out_.return_msg, "Couldn't load suite.");
    EXPECT_TRUE(out_.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_EQ(ledger().callsOf("ReleaseSuite"), 0);
}

// ---- thread count -------------------------------------------------------------------------------

TEST_F(SourceInfoTest, ThreadCountIsAskedThroughOneAcquisition) {
    host_->setThreadCount(3);
    auto frame = frameOf(Depth::Bits8);
    {
        SourceInfo info(&in_, &out_, frame->smartRenderExtra());
        SourceInfo copy = info;
        EXPECT_EQ(info.getThreadNum(), 3);
        EXPECT_EQ(copy.getThreadNum(), 3);
        EXPECT_EQ(ledger().acquisitions("AEGP Iterate Suite", 1), 1);
        EXPECT_EQ(ledger().releases("AEGP Iterate Suite", 1), 0);
    }
    EXPECT_EQ(ledger().releases("AEGP Iterate Suite", 1), 1);
}

TEST_F(SourceInfoTest, FailedThreadCountIsRecordedAndNotAskedAgain) {
    auto frame = frameOf(Depth::Bits8);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    ledger().failOp("AEGP_GetNumThreads", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(info.getThreadNum(), 1);
    EXPECT_EQ(info.getError(), PF_Err_OUT_OF_MEMORY);
    info.getThreadNum();
    EXPECT_EQ(ledger().callsOf("AEGP_GetNumThreads"), 1);
}

PF_Err noThreads(A_long* count) {
    *count = 0;
    return PF_Err_NONE;
}

TEST_F(SourceInfoTest, ThreadCountBelowOneIsOne) {
    const AEGP_IterateSuite1 none{&noThreads};
    host_->registerSuite(kAEGPIterateSuite, 1, &none);
    auto frame = frameOf(Depth::Bits8);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    EXPECT_EQ(info.getThreadNum(), 1);
    EXPECT_EQ(info.getError(), 0);
}

TEST_F(SourceInfoTest, MissingIterateSuiteThrowsTheMissingSuiteError) {
    auto frame = frameOf(Depth::Bits8);
    host_->hideSuite(kAEGPIterateSuite, 1);
    SourceInfo info(&in_, &out_, frame->smartRenderExtra());
    EXPECT_THROW(info.getThreadNum(), PF_Err);
}

}  // namespace
