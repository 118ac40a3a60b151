// The pixel pass of the Blind filter on host worlds: the edge blend's rounding at each depth, the
// region it may write, what it leaves alone, the tile-seam softening, and how it comes by the
// sampling suite.
#include "PassFixture.h"
#include "Pixels.h"
#include "VelmorBlindImpl.h"

#include <cstring>

using namespace vtest;
using Velmor::Blind;
using Velmor::FilterMulti;
using Velmor::Layer;
using Velmor::Rect;
using vhost::Depth;
using vhost::Image;
using vtest::markedImage;
using vtest::markedPixel;

namespace {

// ---- the edge blend ------------------------------------------------------------------------

TEST_F(PassTest, EdgeBlendRoundsIntegerChannelsAndLeavesFloatAndAlphaAsComputed) {
    Blind::Impl impl(parameter(8, 8));

    // 8 bits: 201 x 0.5 + 100 x 0.5 = 150.5 becomes 151; alpha stays.
    PF_Pixel d8{7, 201, 0, 255};
    impl._blend_edge(d8, PF_Pixel{99, 100, 255, 0}, 0.5);
    EXPECT_EQ(d8.alpha, 7);
    EXPECT_EQ(d8.red, 151);
    EXPECT_EQ(d8.green, 128);  // 127.5 rounds up
    EXPECT_EQ(d8.blue, 128);

    // 16 bits: 32768 x 0.5 + 1 x 0.5 = 16384.5 becomes 16385; weight 1 keeps dst, 0 takes src.
    PF_Pixel16 d16{32768, 32768, 32768, 10};
    impl._blend_edge(d16, PF_Pixel16{0, 1, 0, 20}, 0.5);
    EXPECT_EQ(d16.alpha, 32768);
    EXPECT_EQ(d16.red, 16385);
    EXPECT_EQ(d16.green, 16384);
    EXPECT_EQ(d16.blue, 15);
    PF_Pixel16 keep{1, 2, 3, 4};
    impl._blend_edge(keep, PF_Pixel16{9, 9, 9, 9}, 1.0);
    EXPECT_EQ(keep.red, 2);
    impl._blend_edge(keep, PF_Pixel16{9, 9, 9, 9}, 0.0);
    EXPECT_EQ(keep.red, 9);
    EXPECT_EQ(keep.alpha, 1);

    // Float: no rounding, no clamping; values outside 0..1 pass through.
    PF_PixelFloat df{0.25f, 1.0f, 2.0f, 0.5f};
    impl._blend_edge(df, PF_PixelFloat{0.75f, 0.0f, -1.0f, 0.5f}, 0.3);
    EXPECT_EQ(df.alpha, 0.25f);
    EXPECT_EQ(df.red, 0.3f);
    EXPECT_EQ(df.green, static_cast<float>(2.0 * 0.3 - 0.7));  // -0.1, negative kept
    EXPECT_LT(df.green, 0.0f);
    EXPECT_EQ(df.blue, 0.5f);
}

// ---- where the pass writes -------------------------------------------------------------------

class PassRegionTest : public PassTest, public ::testing::WithParamInterface<Depth> {};

// Pixels of an image that differ from the bytes of a world never written.
int writtenPixels(const Image& image) {
    const std::size_t size = vhost::bytesPerPixel(image.depth);
    int written = 0;
    for (std::size_t i = 0; i < image.bytes.size(); i += size) {
        bool poisoned = true;
        for (std::size_t k = 0; k < size; ++k)
            poisoned = poisoned && image.bytes[i + k] == vhost::kWorldUnclearedByte;
        written += poisoned ? 0 : 1;
    }
    return written;
}

bool pixelWritten(const Image& image, int x, int y) {
    const std::size_t size = vhost::bytesPerPixel(image.depth);
    const std::uint8_t* p = image.bytes.data() + (static_cast<std::size_t>(y) * image.width + x) * size;
    for (std::size_t k = 0; k < size; ++k)
        if (p[k] != vhost::kWorldUnclearedByte) return true;
    return false;
}

TEST_P(PassRegionTest, ARegionBeyondTheImageIsClippedAndNothingOutsideItIsWritten) {
    const Depth depth = GetParam();
    const int w = 13, h = 9;
    TestWorld input(markedImage(w, h, depth));
    Blind::Parameter p = parameter(w, h);
    p.setState(Blind::Move).setCompletion(0.4).setWidth(3.5).setIsAA(true).setBorderType(3);
    Layer src(&in_, &out_, input.get(), bpcOf(depth));

    {
        // Reaching past every edge: the whole image is written, nothing around it.
        TestWorld output(w, h, depth, Fill::Uncleared);
        Layer dst(&in_, &out_, output.get(), bpcOf(depth));
        ASSERT_EQ(FilterMulti<Blind>(&in_, src, dst, Rect(-4, -3, w + 6, h + 5), p), PF_Err_NONE);
        EXPECT_TRUE(vhost::worldGuardsIntact(output.get()));
        EXPECT_EQ(writtenPixels(output.image()), w * h);
    }
    {
        // Inside: exactly the region.
        TestWorld output(w, h, depth, Fill::Uncleared);
        Layer dst(&in_, &out_, output.get(), bpcOf(depth));
        ASSERT_EQ(FilterMulti<Blind>(&in_, src, dst, Rect(3, 2, 8, 6), p), PF_Err_NONE);
        EXPECT_TRUE(vhost::worldGuardsIntact(output.get()));
        const Image out = output.image();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(pixelWritten(out, x, y), x >= 3 && x < 8 && y >= 2 && y < 6) << x << "," << y;
    }
    {
        // Starting left of and above the image, ending inside it.
        TestWorld output(w, h, depth, Fill::Uncleared);
        Layer dst(&in_, &out_, output.get(), bpcOf(depth));
        Blind filter(p);
        filter.execute(src, dst, Rect(-5, -7, 2, 1));
        EXPECT_TRUE(vhost::worldGuardsIntact(output.get()));
        const Image out = output.image();
        EXPECT_EQ(writtenPixels(out), 2);
        EXPECT_TRUE(pixelWritten(out, 0, 0));
        EXPECT_TRUE(pixelWritten(out, 1, 0));
    }
}

TEST_P(PassRegionTest, LayersOfDifferentSizesOrAnUnknownDepthLeaveTheOutputAsItWas) {
    const Depth depth = GetParam();
    TestWorld input(markedImage(10, 6, depth));
    Blind::Parameter p = parameter(10, 6);
    p.setState(Blind::Move).setCompletion(0.5).setWidth(4.0);
    Blind filter(p);

    TestWorld wider(11, 6, depth, Fill::Uncleared);
    Layer src(&in_, &out_, input.get(), bpcOf(depth));
    Layer dst(&in_, &out_, wider.get(), bpcOf(depth));
    filter.execute(src, dst);
    EXPECT_EQ(writtenPixels(wider.image()), 0);

    TestWorld same(10, 6, depth, Fill::Uncleared);
    Layer src3(&in_, &out_, input.get(), 3);
    Layer dst3(&in_, &out_, same.get(), 3);
    filter.execute(src3, dst3);
    EXPECT_EQ(writtenPixels(same.image()), 0);
    EXPECT_TRUE(vhost::worldGuardsIntact(same.get()));
    EXPECT_EQ(ledger().acquisitions("PF Sampling8 Suite", 1) +
                  ledger().acquisitions("PF Sampling16 Suite", 1) +
                  ledger().acquisitions("PF SamplingFloat Suite", 1),
              0);
}

INSTANTIATE_TEST_SUITE_P(Depths, PassRegionTest,
                         ::testing::Values(Depth::Bits8, Depth::Bits16, Depth::Float32),
                         [](const auto& info) {
                             return std::string("Bits") + vtest::depthLabel(info.param);
                         });

// ---- tile seams ------------------------------------------------------------------------------

// Shrink, One, anti-aliased, Tile, bands of 10 along x, progress 2/3, the grid shifted by a
// quarter pixel: the pixel at x = 7 shows its band's image at 7 - 6.5 = 0.5 pixel, half a pixel
// right of the image's left edge. Its own sample keeps 0.75 and a sample of the last column
// gives 0.25.
template <typename P>
void tileSeam(PF_InData* in, PF_OutData* out, Depth depth, Blind::Parameter p) {
    const int w = 37, h = 5;
    const P plain =
        P{vtest::channel<P>(200), vtest::channel<P>(50), vtest::channel<P>(60), vtest::channel<P>(70)};
    const P left =
        P{vtest::channel<P>(200), vtest::channel<P>(100), vtest::channel<P>(20), vtest::channel<P>(0)};
    const P last =
        P{vtest::channel<P>(200), vtest::channel<P>(200), vtest::channel<P>(220), vtest::channel<P>(40)};
    Image image = vtest::flatImage(w, h, depth, plain);
    for (int y = 0; y < h; ++y) {
        image.at<P>(0, y) = left;
        image.at<P>(1, y) = left;
        image.at<P>(w - 1, y) = last;
    }
    TestWorld input(image);
    TestWorld output(w, h, depth, Fill::Uncleared);
    Layer src(in, out, input.get(), bpcOf(depth));
    Layer dst(in, out, output.get(), bpcOf(depth));
    p.setLayerRect(PF_LRect{0, 0, w, h})
        .setState(Blind::Shrink)
        .setMode(Blind::One)
        .setBorderType(3)
        .setIsAA(true)
        .setWidth(10.0)
        .setCompletion(2.0 / 3.0)
        .setOffset(0.25 / 36.0);
    ASSERT_EQ(FilterMulti<Blind>(in, src, dst, p), PF_Err_NONE);
    const P got = output.image().at<P>(7, 2);
    EXPECT_EQ(got.red, vtest::channel<P>(125));   // 100 x 0.75 + 200 x 0.25
    EXPECT_EQ(got.green, vtest::channel<P>(70));  // 20 x 0.75 + 220 x 0.25
    EXPECT_EQ(got.blue, vtest::channel<P>(10));   // 0 x 0.75 + 40 x 0.25
}

TEST_F(PassTest, ShrinkTileSoftensTheSeamWithAQuarterOfTheLastColumn) {
    tileSeam<PF_Pixel>(&in_, &out_, Depth::Bits8, parameter(37, 5));
    tileSeam<PF_Pixel16>(&in_, &out_, Depth::Bits16, parameter(37, 5));
}

TEST_F(PassTest, ShrinkTileSofteningAtFloat) {
    const int w = 37, h = 5;
    Image image = vtest::flatImage(w, h, Depth::Float32, PF_PixelFloat{1.0f, 0.5f, 0.5f, 0.5f});
    for (int y = 0; y < h; ++y) {
        image.at<PF_PixelFloat>(0, y) = PF_PixelFloat{1.0f, 0.25f, 1.0f, 0.0f};
        image.at<PF_PixelFloat>(1, y) = PF_PixelFloat{1.0f, 0.25f, 1.0f, 0.0f};
        image.at<PF_PixelFloat>(w - 1, y) = PF_PixelFloat{1.0f, 1.0f, 0.0f, 2.0f};
    }
    TestWorld input(image);
    TestWorld output(w, h, Depth::Float32, Fill::Uncleared);
    Layer src(&in_, &out_, input.get(), 2);
    Layer dst(&in_, &out_, output.get(), 2);
    Blind::Parameter p = parameter(w, h);
    p.setState(Blind::Shrink)
        .setMode(Blind::One)
        .setBorderType(3)
        .setIsAA(true)
        .setWidth(10.0)
        .setCompletion(2.0 / 3.0)
        .setOffset(0.25 / 36.0);
    ASSERT_EQ(FilterMulti<Blind>(&in_, src, dst, p), PF_Err_NONE);
    const PF_PixelFloat got = output.image().at<PF_PixelFloat>(7, 2);
    EXPECT_EQ(got.red, 0.4375f);  // 0.25 x 0.75 + 1 x 0.25
    EXPECT_EQ(got.green, 0.75f);
    EXPECT_EQ(got.blue, 0.5f);  // 0 x 0.75 + 2 x 0.25: beyond 1 passes through
    // Softening needs anti-aliasing: with hard edges the pixel is its own sample alone.
    p.setIsAA(false);
    ASSERT_EQ(FilterMulti<Blind>(&in_, src, dst, p), PF_Err_NONE);
    // Nearest neighbour at 0.5 pixel takes column 1.
    EXPECT_EQ(output.image().at<PF_PixelFloat>(7, 2).red, 0.25f);
}

// ---- the sampling suite ----------------------------------------------------------------------

TEST_F(PassTest, PassesThatNeverSampleAcquireNoSamplingSuite) {
    TestWorld input(markedImage(16, 8, Depth::Bits16));
    TestWorld output(16, 8, Depth::Bits16, Fill::Uncleared);
    Layer src(&in_, &out_, input.get(), 1);
    Layer dst(&in_, &out_, output.get(), 1);
    Blind::Parameter p = parameter(16, 8);
    p.setCompletion(0.5).setWidth(4.0).setState(Blind::Still);
    // Asking for the hidden suite would fail the render.
    host_->hideSuite("PF Sampling16 Suite", 1);
    EXPECT_EQ(FilterMulti<Blind>(&in_, src, dst, p), PF_Err_NONE);
    EXPECT_EQ(ledger().acquisitions("PF Sampling16 Suite", 1), 0);
}

TEST_F(PassTest, AMissingSamplingSuiteFailsTheFilterWithNothingHeld) {
    TestWorld input(markedImage(16, 8, Depth::Float32));
    TestWorld output(16, 8, Depth::Float32, Fill::Uncleared);
    Layer src(&in_, &out_, input.get(), 2);
    Layer dst(&in_, &out_, output.get(), 2);
    Blind::Parameter p = parameter(16, 8);
    p.setCompletion(0.5).setWidth(4.0).setState(Blind::Move);
    host_->hideSuite("PF SamplingFloat Suite", 1);
    EXPECT_EQ(FilterMulti<Blind>(&in_, src, dst, p), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(ledger().acquisitions("PF SamplingFloat Suite", 1), 0);
}

TEST_F(PassTest, TheSamplingSuiteIsAcquiredOnceAndReleasedWithTheFilter) {
    TestWorld input(markedImage(16, 8, Depth::Bits8));
    TestWorld output(16, 8, Depth::Bits8, Fill::Uncleared);
    Layer src(&in_, &out_, input.get(), 0);
    Layer dst(&in_, &out_, output.get(), 0);
    Blind::Parameter p = parameter(16, 8);
    p.setCompletion(0.5).setWidth(4.0).setState(Blind::Move);
    {
        Blind filter(p);
        for (int band = 0; band < 8; ++band) filter.execute(src, dst, Rect(0, band, 16, band + 1));
        EXPECT_EQ(ledger().acquisitions("PF Sampling8 Suite", 1), 1);
        EXPECT_EQ(ledger().releases("PF Sampling8 Suite", 1), 0);

        // A copy has a handler of its own: it acquires for itself and renders the same.
        TestWorld again(16, 8, Depth::Bits8, Fill::Uncleared);
        Layer dst2(&in_, &out_, again.get(), 0);
        Blind copy(filter);
        copy.execute(src, dst2);
        EXPECT_EQ(ledger().acquisitions("PF Sampling8 Suite", 1), 2);
        EXPECT_EQ(output.image().bytes, again.image().bytes);
    }
    EXPECT_EQ(ledger().releases("PF Sampling8 Suite", 1), 2);
}

// ---- Outside modes against the layer -------------------------------------------------------

// A host may hand out buffers that are not the layer: here a buffer reaching 4 transparent
// pixels beyond every edge (origin -4, -4). Outside positions wrap, clamp and reflect at the
// layer's edges (`layer_rect`) and the tile seams lie there, so the layer's pixels come out as
// from a buffer of exactly the layer.
TEST_F(PassTest, OutsideModesMapAgainstTheLayerNotTheBuffer) {
    const int w = 29, h = 13, pad = 4;
    forEachDepth([&](auto d) {
        constexpr Depth depth = decltype(d)::value;
        using P = typename PixelOf<depth>::type;
        const Image image = markedImage(w, h, depth);
        Image padded(w + 2 * pad, h + 2 * pad, depth);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) padded.at<P>(x + pad, y + pad) = image.at<P>(x, y);
        TestWorld plainIn(image), paddedIn(padded);
        TestWorld plainOut(w, h, depth), paddedOut(w + 2 * pad, h + 2 * pad, depth);
        paddedIn.world.origin_x = paddedIn.world.origin_y = -pad;
        paddedOut.world.origin_x = paddedOut.world.origin_y = -pad;
        Layer plainSrc(&in_, &out_, plainIn.get(), bpcOf(depth)),
            plainDst(&in_, &out_, plainOut.get(), bpcOf(depth));
        Layer paddedSrc(&in_, &out_, paddedIn.get(), bpcOf(depth)),
            paddedDst(&in_, &out_, paddedOut.get(), bpcOf(depth));
        for (int outside = 1; outside <= 4; ++outside)
            for (int state = Blind::Move; state <= Blind::Shrink; ++state)
                for (int mode = Blind::One; mode <= Blind::Both; ++mode)
                    for (bool aa : {true, false}) {
                        Blind::Parameter p = parameter(w, h);
                        p.setBorderType(outside)
                            .setState(state)
                            .setMode(mode)
                            .setIsAA(aa)
                            .setWidth(5.0)
                            .setDirection(0.47)
                            .setCompletion(0.6)
                            .setDelay(0.4)
                            .setOffset(0.3);
                        ASSERT_EQ(FilterMulti<Blind>(&in_, plainSrc, plainDst, p), PF_Err_NONE);
                        ASSERT_EQ(FilterMulti<Blind>(&in_, paddedSrc, paddedDst, p), PF_Err_NONE);
                        const Image plain = plainOut.image(), inner = paddedOut.image();
                        int differing = 0;
                        for (int y = 0; y < h; ++y)
                            for (int x = 0; x < w; ++x)
                                differing += !samePixel(plain.at<P>(x, y), inner.at<P>(x + pad, y + pad));
                        EXPECT_EQ(differing, 0) << "Outside " << outside << " State " << state << " Mode "
                                                << mode << " aa " << aa << " at " << depthLabel(depth);
                    }
    });
}

}  // namespace
