// One smart-render frame as the host runs it: the layer checkout and its rectangles, the input
// and output worlds it hands out, downsampling, the ledger's view of the checkouts, and what the
// host checks and gives back at the end of the frame.
#include "ImagesFixture.h"

#include "SmartFrame.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

using namespace vtest;
using vhost::Depth;
using vhost::Image;
using vhost::SmartFrame;

namespace {

class SmartFrameTest : public HostTest {
protected:
    // A layer whose every pixel is unique.
    static Image markedLayer(int w, int h, Depth depth) {
        Image image(w, h, depth);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                switch (depth) {
                    case Depth::Bits8: image.at<PF_Pixel>(x, y) = DepthOf<PF_Pixel>::mark(x, y); break;
                    case Depth::Bits16: image.at<PF_Pixel16>(x, y) = DepthOf<PF_Pixel16>::mark(x, y); break;
                    case Depth::Float32:
                        image.at<PF_PixelFloat>(x, y) = DepthOf<PF_PixelFloat>::mark(x, y);
                        break;
                }
            }
        return image;
    }

    PF_Err checkoutLayer(SmartFrame& frame, PF_LRect request, PF_CheckoutResult& result, A_long id = 0) {
        PF_RenderRequest req{};
        req.rect = request;
        return frame.preRenderExtra()->cb->checkout_layer(in_.effect_ref, 0, id, &req, 0, 1, 30, &result);
    }
    PF_Err inputPixels(SmartFrame& frame, PF_EffectWorld*& world, A_long id = 0) {
        return frame.smartRenderExtra()->cb->checkout_layer_pixels(in_.effect_ref, id, &world);
    }
    PF_Err output(SmartFrame& frame, PF_EffectWorld*& world) {
        return frame.smartRenderExtra()->cb->checkout_output(in_.effect_ref, &world);
    }
};

bool sameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(SmartFrameTest, CheckoutClipsTheRequestAndHandsOutExactlyThatWorld) {
    SmartFrame frame(markedLayer(10, 6, Depth::Bits16));
    frame.attach(*effect_);
    PF_CheckoutResult result{};
    ASSERT_EQ(checkoutLayer(frame, PF_LRect{-5, 2, 7, 40}, result), 0);
    EXPECT_TRUE(sameRect(result.result_rect, PF_LRect{0, 2, 7, 6}));
    EXPECT_TRUE(sameRect(result.max_result_rect, PF_LRect{0, 0, 10, 6}));

    PF_EffectWorld* input = nullptr;
    ASSERT_EQ(inputPixels(frame, input), 0);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->width, 7);
    EXPECT_EQ(input->height, 4);
    EXPECT_EQ(input->origin_x, 0);
    EXPECT_EQ(input->origin_y, 2);
    EXPECT_GT(input->rowbytes, 7 * 8);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_TRUE(samePixel(pixelOf<PF_Pixel16>(input, x, y), DepthOf<PF_Pixel16>::mark(x, y + 2)));
    EXPECT_EQ(vhost::worldPixelFormat(input), PF_PixelFormat_ARGB64);
    // Asked again, the same world.
    PF_EffectWorld* again = nullptr;
    ASSERT_EQ(inputPixels(frame, again), 0);
    EXPECT_EQ(again, input);
    EXPECT_EQ(ledger().openCount("checkout:layer pixels"), 1);
}

TEST_F(SmartFrameTest, OutputWorldCoversTheReportedResultWithItsOrigin) {
    SmartFrame frame(markedLayer(8, 8, Depth::Float32));
    frame.attach(*effect_);
    frame.preRenderExtra()->output->result_rect = PF_LRect{-12, 7, 3, 9};
    PF_EffectWorld* out = nullptr;
    ASSERT_EQ(output(frame, out), 0);
    EXPECT_EQ(out->width, 15);
    EXPECT_EQ(out->height, 2);
    EXPECT_EQ(out->origin_x, -12);
    EXPECT_EQ(out->origin_y, 7);
    EXPECT_EQ(frame.outputWorld(), out);
    EXPECT_EQ(vhost::worldDepth(out), Depth::Float32);
}

TEST_F(SmartFrameTest, RequestOutsideTheLayerGivesAnEmptyResult) {
    SmartFrame frame(markedLayer(4, 4, Depth::Bits8));
    frame.attach(*effect_);
    PF_CheckoutResult result{};
    ASSERT_EQ(checkoutLayer(frame, PF_LRect{10, 10, 20, 20}, result), 0);
    EXPECT_TRUE(sameRect(result.result_rect, PF_LRect{0, 0, 0, 0}));
    PF_EffectWorld* input = nullptr;
    ASSERT_EQ(inputPixels(frame, input), 0);
    EXPECT_EQ(input->width, 0);
    EXPECT_EQ(input->height, 0);
}

TEST_F(SmartFrameTest, DownsamplingAveragesEachBlockWithRounding) {
    Image layer(5, 3, Depth::Bits8);
    const int values[3][5] = {{10, 11, 0, 1, 200}, {12, 14, 1, 1, 100}, {3, 4, 7, 8, 50}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            layer.at<PF_Pixel>(x, y) = PF_Pixel{255, static_cast<A_u_char>(values[y][x]), 0, 0};
    SmartFrame frame(layer, {1, 2}, {1, 2});
    ASSERT_EQ(frame.layerWidth(), 3);
    ASSERT_EQ(frame.layerHeight(), 2);
    // 47 / 4 = 11.75, 3 / 4 = 0.75, (200 + 100) / 2, (3 + 4) / 2 = 3.5, 15 / 2 = 7.5, 50 alone.
    const int want[2][3] = {{12, 1, 150}, {4, 8, 50}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(frame.layer().at<PF_Pixel>(x, y).red, want[y][x]) << x << "," << y;
            EXPECT_EQ(frame.layer().at<PF_Pixel>(x, y).alpha, 255);
        }
    PF_InData in{};
    frame.prepareInData(in);
    EXPECT_EQ(in.width, 3);
    EXPECT_EQ(in.height, 2);
    EXPECT_EQ(in.downsample_x.num, 1);
    EXPECT_EQ(in.downsample_x.den, 2u);
    EXPECT_EQ(frame.preRenderExtra()->input->output_request.rect.right, 3);
    EXPECT_EQ(frame.preRenderExtra()->input->bitdepth, 8);
}

TEST_F(SmartFrameTest, DeepDownsamplingKeepsItsPrecision) {
    Image deep(3, 1, Depth::Bits16), flt(3, 1, Depth::Float32);
    deep.at<PF_Pixel16>(0, 0).red = 32768;
    deep.at<PF_Pixel16>(1, 0).red = 1;
    deep.at<PF_Pixel16>(2, 0).red = 7;
    flt.at<PF_PixelFloat>(0, 0).red = 1.5f;
    flt.at<PF_PixelFloat>(1, 0).red = -0.25f;
    flt.at<PF_PixelFloat>(2, 0).red = 0x1p-20f;
    SmartFrame deepFrame(deep, {1, 3}, {1, 1});
    EXPECT_EQ(deepFrame.layer().at<PF_Pixel16>(0, 0).red, 10925);  // 32776 / 3 = 10925.33
    SmartFrame floatFrame(flt, {1, 2}, {1, 1});
    EXPECT_EQ(floatFrame.layer().at<PF_PixelFloat>(0, 0).red, 0x1.4p-1f);
    EXPECT_EQ(floatFrame.layer().at<PF_PixelFloat>(1, 0).red, 0x1p-20f);
    EXPECT_EQ(floatFrame.preRenderExtra()->input->bitdepth, 32);
    EXPECT_THROW(SmartFrame(deep, {2, 3}, {1, 1}), std::invalid_argument);
}

TEST_F(SmartFrameTest, CheckoutsAreCountedAndAllReturnedAtTheEndOfTheFrame) {
    {
        SmartFrame frame(markedLayer(6, 6, Depth::Bits8));
        frame.attach(*effect_);
        PF_CheckoutResult result{};
        ASSERT_EQ(checkoutLayer(frame, PF_LRect{0, 0, 6, 6}, result, 0), 0);
        ASSERT_EQ(checkoutLayer(frame, PF_LRect{1, 1, 2, 2}, result, 3), 0);
        frame.preRenderExtra()->output->result_rect = result.result_rect;
        PF_EffectWorld *input = nullptr, *other = nullptr, *out = nullptr;
        ASSERT_EQ(inputPixels(frame, input, 0), 0);
        ASSERT_EQ(inputPixels(frame, other, 3), 0);
        ASSERT_EQ(output(frame, out), 0);
        EXPECT_EQ(ledger().openCount("checkout:layer"), 2);
        EXPECT_EQ(ledger().openCount("checkout:layer pixels"), 2);
        EXPECT_EQ(ledger().openCount("checkout:output"), 1);
        // Given back early by the module: gone at once, and only once.
        EXPECT_EQ(frame.smartRenderExtra()->cb->checkin_layer_pixels(in_.effect_ref, 3), 0);
        EXPECT_EQ(ledger().openCount("checkout:layer pixels"), 1);
        EXPECT_EQ(frame.smartRenderExtra()->cb->checkin_layer_pixels(in_.effect_ref, 3),
                  PF_Err_BAD_CALLBACK_PARAM);
        // An id that was never checked out has no pixels.
        EXPECT_EQ(inputPixels(frame, other, 9), PF_Err_BAD_CALLBACK_PARAM);
        frame.finish();
        EXPECT_TRUE(ledger().outstanding().empty());
        EXPECT_TRUE(frame.outputIntact());
        EXPECT_TRUE(frame.inputUnchanged());
        // The frame is over: its callbacks answer no more.
        EXPECT_EQ(output(frame, out), PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ(vhost::liveWorldCount(), 0);
}

TEST_F(SmartFrameTest, InjectedCheckoutFailuresOpenNothing) {
    SmartFrame frame(markedLayer(4, 4, Depth::Bits8));
    frame.attach(*effect_);
    PF_CheckoutResult result{};
    ledger().failOp("checkout_layer", 1, PF_Interrupt_CANCEL);
    EXPECT_EQ(checkoutLayer(frame, PF_LRect{0, 0, 4, 4}, result), PF_Interrupt_CANCEL);
    EXPECT_EQ(ledger().openCount("checkout:layer"), 0);
    ASSERT_EQ(checkoutLayer(frame, PF_LRect{0, 0, 4, 4}, result), 0);
    frame.preRenderExtra()->output->result_rect = result.result_rect;
    PF_EffectWorld* world = nullptr;
    ledger().failOp("checkout_layer_pixels", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(inputPixels(frame, world), PF_Err_OUT_OF_MEMORY);
    ledger().failOp("checkout_output", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(output(frame, world), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(world, nullptr);
    EXPECT_EQ(ledger().openCount("checkout:layer pixels"), 0);
    EXPECT_EQ(ledger().openCount("checkout:output"), 0);
    EXPECT_EQ(vhost::liveWorldCount(), 0);
}

TEST_F(SmartFrameTest, CallbacksNeedTheirFrameAndSaneArguments) {
    SmartFrame frame(markedLayer(4, 4, Depth::Bits8));
    PF_CheckoutResult result{};
    // Not attached: the effect has no frame.
    EXPECT_EQ(checkoutLayer(frame, PF_LRect{0, 0, 4, 4}, result), PF_Err_BAD_CALLBACK_PARAM);
    frame.attach(*effect_);
    PF_RenderRequest req{};
    auto* cb = frame.preRenderExtra()->cb;
    EXPECT_EQ(cb->checkout_layer(in_.effect_ref, 1, 0, &req, 0, 1, 30, &result), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(cb->checkout_layer(in_.effect_ref, 0, 0, nullptr, 0, 1, 30, &result),
              PF_Err_BAD_CALLBACK_PARAM);
    int notAnEffect = 0;
    EXPECT_EQ(cb->checkout_layer(reinterpret_cast<PF_ProgPtr>(&notAnEffect), 0, 0, &req, 0, 1, 30, &result),
              PF_Err_BAD_CALLBACK_PARAM);
    // An output larger than the host makes is refused.
    frame.preRenderExtra()->output->result_rect = PF_LRect{0, 0, vhost::kMaxWorldSide + 1, 1};
    PF_EffectWorld* world = nullptr;
    EXPECT_EQ(output(frame, world), PF_Err_BAD_CALLBACK_PARAM);
    frame.detach();
    EXPECT_EQ(effect_->renderContext(), nullptr);
}

TEST_F(SmartFrameTest, OutputIsKeptAfterTheFrameAndZeroBeyondIt) {
    SmartFrame frame(markedLayer(4, 4, Depth::Bits8));
    frame.attach(*effect_);
    frame.preRenderExtra()->output->result_rect = PF_LRect{1, 1, 3, 4};
    PF_EffectWorld* out = nullptr;
    ASSERT_EQ(output(frame, out), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            pixelOf<PF_Pixel>(out, x, y) =
                PF_Pixel{255, static_cast<A_u_char>(x + 1), static_cast<A_u_char>(y + 1), 9};
    const Image during = frame.output(PF_LRect{0, 0, 4, 4});
    frame.finish();
    const Image after = frame.output(PF_LRect{0, 0, 4, 4});
    EXPECT_EQ(during.bytes, after.bytes);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool covered = x >= 1 && x < 3 && y >= 1;
            const PF_Pixel want =
                covered ? PF_Pixel{255, static_cast<A_u_char>(x), static_cast<A_u_char>(y), 9} : PF_Pixel{};
            EXPECT_TRUE(samePixel(after.at<PF_Pixel>(x, y), want)) << x << "," << y;
        }
}

// Rectangles anywhere in the 32-bit range: sides are measured in 64 bits, so an output whose
// width overflows 32 bits is refused instead of wrapping to a small world, and areas far from the
// output are zero (or, too large for any image, thrown as std::length_error).
TEST_F(SmartFrameTest, RectanglesAtTheEndsOfTheRangeNeitherWrapNorOverflow) {
    for (const PF_LRect huge : {PF_LRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, PF_LRect{INT_MIN, 0, 5, 5},
                                PF_LRect{-(1 << 30), 0, 1 << 30, 1}}) {
        SmartFrame frame(markedLayer(4, 4, Depth::Bits8));
        frame.attach(*effect_);
        frame.preRenderExtra()->output->result_rect = huge;
        PF_EffectWorld* world = nullptr;
        EXPECT_EQ(output(frame, world), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(frame.outputWorld(), nullptr);
    }
    SmartFrame frame(markedLayer(4, 4, Depth::Bits8));
    frame.attach(*effect_);
    frame.preRenderExtra()->output->result_rect = PF_LRect{0, 0, 4, 4};
    PF_EffectWorld* out = nullptr;
    ASSERT_EQ(output(frame, out), PF_Err_NONE);
    pixelOf<PF_Pixel>(out, 3, 3) = PF_Pixel{255, 1, 2, 3};
    for (bool finished : {false, true}) {
        if (finished) frame.finish();
        const Image far = frame.output(PF_LRect{INT_MAX - 2, INT_MIN, INT_MAX, INT_MIN + 3});
        EXPECT_EQ(far.width, 2);
        EXPECT_EQ(far.height, 3);
        EXPECT_TRUE(std::all_of(far.bytes.begin(), far.bytes.end(), [](std::uint8_t b) { return b == 0; }));
        const Image corner = frame.output(PF_LRect{3, 3, 4, 4});
        EXPECT_TRUE(samePixel(corner.at<PF_Pixel>(0, 0), PF_Pixel{255, 1, 2, 3})) << finished;
        EXPECT_THROW(frame.output(PF_LRect{INT_MIN, 0, INT_MAX, 1}), std::length_error);
    }
}

TEST_F(SmartFrameTest, UnwrittenOutputPixelsStandOut) {
    SmartFrame poisoned(markedLayer(2, 2, Depth::Bits8));
    poisoned.attach(*effect_);
    poisoned.preRenderExtra()->output->result_rect = PF_LRect{0, 0, 2, 2};
    PF_EffectWorld* out = nullptr;
    ASSERT_EQ(output(poisoned, out), 0);
    EXPECT_EQ(pixelOf<PF_Pixel>(out, 1, 1).alpha, vhost::kWorldUnclearedByte);
}

TEST_F(SmartFrameTest, WritingOutsideTheOutputOrIntoTheInputIsAFault) {
    expectedFaults_ = {"the render wrote outside its output world",
                       "the render wrote to its input layer's pixels"};
    SmartFrame frame(markedLayer(3, 3, Depth::Bits8));
    frame.attach(*effect_);
    PF_CheckoutResult result{};
    ASSERT_EQ(checkoutLayer(frame, PF_LRect{0, 0, 3, 3}, result), 0);
    frame.preRenderExtra()->output->result_rect = result.result_rect;
    PF_EffectWorld *input = nullptr, *out = nullptr;
    ASSERT_EQ(inputPixels(frame, input), 0);
    ASSERT_EQ(output(frame, out), 0);
    pixelOf<PF_Pixel>(out, 3, 0).red = 1;  // one past the row: padding
    pixelOf<PF_Pixel>(input, 1, 1).red ^= 1;
    frame.finish();
    EXPECT_FALSE(frame.outputIntact());
    EXPECT_FALSE(frame.inputUnchanged());
    EXPECT_TRUE(ledger().outstanding().empty());
}

TEST_F(SmartFrameTest, EachInputLeftCheckedOutIsCheckedOnItsOwnWhenTheFrameEnds) {
    // Three checkouts of different heights left for finish(): one untouched, one written in its
    // padding, one in its last row. Exactly the two written ones are faults, and the output is
    // still copied out whole: into fresh storage, and into storage of the output's size handed
    // back (the comparison and the copy then share one sweep over the rows).
    expectedFaults_ = {
        "the render wrote to its input layer's pixels", "the render wrote to its input layer's pixels",
        "the render wrote to its input layer's pixels", "the render wrote to its input layer's pixels"};
    const Image layer = markedLayer(5, 9, Depth::Bits16);
    for (const bool handBack : {false, true}) {
        SmartFrame frame(layer);
        frame.attach(*effect_);
        const PF_LRect rects[] = {{0, 0, 5, 9}, {1, 2, 4, 5}, {0, 3, 5, 8}};
        PF_EffectWorld* inputs[3] = {};
        for (A_long id = 0; id < 3; ++id) {
            PF_CheckoutResult result{};
            ASSERT_EQ(checkoutLayer(frame, rects[id], result, id), 0);
            ASSERT_EQ(inputPixels(frame, inputs[id], id), 0);
        }
        frame.preRenderExtra()->output->result_rect = PF_LRect{0, 0, 5, 9};
        PF_EffectWorld* out = nullptr;
        ASSERT_EQ(output(frame, out), 0);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 5; ++x) pixelOf<PF_Pixel16>(out, x, y) = layer.at<PF_Pixel16>(x, y);
        pixelOf<PF_Pixel16>(inputs[1], 3, 0).red = 1;  // one past the row: padding
        pixelOf<PF_Pixel16>(inputs[2], 4, 4).blue ^= 1;
        frame.finish(std::vector<std::uint8_t>(handBack ? layer.bytes.size() : 0, 0xEE));
        EXPECT_TRUE(frame.outputIntact());
        EXPECT_FALSE(frame.inputUnchanged()) << handBack;
        EXPECT_EQ(frame.takeOutput(PF_LRect{0, 0, 5, 9}).bytes, layer.bytes) << handBack;
        EXPECT_TRUE(ledger().outstanding().empty());
    }
}

TEST_F(SmartFrameTest, PreRenderDataHandleIsDisposedAfterTheFrame) {
    PF_Handle handle = host_->newHandle(16);
    {
        SmartFrame frame(markedLayer(2, 2, Depth::Bits8));
        frame.attach(*effect_);
        frame.preRenderExtra()->output->pre_render_data = handle;
        EXPECT_EQ(frame.smartRenderExtra()->input->pre_render_data, handle);
        host_->lockHandle(handle);  // a record the render left locked goes all the same
    }
    EXPECT_FALSE(host_->isLiveHandle(handle));
    EXPECT_EQ(effect_->renderContext(), nullptr);
}

}  // namespace
