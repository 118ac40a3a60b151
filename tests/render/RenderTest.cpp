// PF_Cmd_SMART_RENDER of the module loaded from disk, through the host's frame render: the two
// ends of the transition, the layer quality, the worked examples of the pixel pass at each depth,
// and an allocation failure deep in the filter coming back as a result code.
#include "RenderRig.h"

#include "VelmorSmartRender.h"
#include "Worlds.h"

#include <algorithm>
#include <cstring>

using namespace vtest;

namespace {

using vhost::RenderOptions;
using vhost::RenderReport;

int samplingAcquisitions(const vhost::Ledger& ledger) {
    return ledger.acquisitions("PF Sampling8 Suite", 1) + ledger.acquisitions("PF Sampling16 Suite", 1) +
           ledger.acquisitions("PF SamplingFloat Suite", 1);
}

// ---- the two ends ------------------------------------------------------------------------------

TEST(Render, CompletionZeroCopiesTheInputAndHundredClearsItWithoutTheFilter) {
    forEachDepth([](auto d) {
        constexpr Depth depth = decltype(d)::value;
        SCOPED_TRACE(depthLabel(depth));
        Rig rig(3);
        const Image input = markedImage(30, 17, depth);
        // However the other controls are set.
        rig.set({{kMode, Both},
                 {kState, Move},
                 {kOutside, Tile},
                 {kWidth, 3.5},
                 {kDirection, 33.0},
                 {kOffset, 100.0},
                 {kOrder, Random},
                 {kSeed, 9},
                 {kEasing, 4}});
        for (int ds : {1, 2}) {
            rig.set(kCompletion, 0.0);
            rig.ledger().resetLog();
            Image out;
            RenderOptions options;
            options.downsampleX = options.downsampleY = ds;
            ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
            vhost::SmartFrame reference(input, {1, static_cast<A_u_long>(ds)},
                                        {1, static_cast<A_u_long>(ds)});
            EXPECT_EQ(out.bytes, reference.layer().bytes) << "1/" << ds;
            EXPECT_EQ(rig.ledger().callsOf("copy"), 1);

            rig.set(kCompletion, 100.0);
            ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
            EXPECT_EQ(out.width, reference.layer().width);
            EXPECT_TRUE(
                std::all_of(out.bytes.begin(), out.bytes.end(), [](std::uint8_t b) { return b == 0; }));
            EXPECT_EQ(rig.ledger().callsOf("fill"), 1);

            // Neither end builds the filter: no thread count, no iteration, no sampler, no quality.
            for (const char* op :
                 {"AEGP_GetNumThreads", "iterate_generic", "AEGP_GetEffectLayer", "AEGP_GetLayerQuality"})
                EXPECT_FALSE(rig.called(op)) << op;
            EXPECT_EQ(samplingAcquisitions(rig.ledger()), 0);
        }
        EXPECT_TRUE(rig.clean());
    });
}

TEST(Render, TheRecordsHandleIsGoneAfterTheRender) {
    Rig rig;
    rig.set({{kCompletion, 40.0}, {kState, Move}});
    const std::size_t handles = rig.host().liveHandleCount();
    Image out;
    RenderReport report;
    ASSERT_EQ(rig.render(markedImage(20, 10, Depth::Bits8), out, {}, &report), PF_Err_NONE);
    EXPECT_TRUE(report.rendered);
    EXPECT_EQ(rig.host().liveHandleCount(), handles);
    EXPECT_GE(rig.ledger().callsOf("host_new_handle"), 1);
    EXPECT_TRUE(report.outputIntact);
    EXPECT_TRUE(report.inputUnchanged);
    EXPECT_TRUE(rig.clean());
}

// ---- quality -----------------------------------------------------------------------------------

// One, Still, bands of 10 along x, progress 0.07: the pixel 1 into each band is 0.3 covered when
// anti-aliased, and wholly visible with hard edges.
TEST(Render, DraftTurnsAntiAliasingOffBestAndWireframeLeaveItOn) {
    Rig rig;
    rig.set({{kCompletion, 7.0}, {kDelay, 0.0}, {kWidth, 10.0}, {kDirection, 0.0}, {kState, Still}});
    const Image input = markedImage(40, 4, Depth::Bits8);
    Image best, draft, wire;
    RenderOptions options;
    options.quality = AEGP_LayerQual_BEST;
    ASSERT_EQ(rig.render(input, best, options), PF_Err_NONE);
    EXPECT_TRUE(rig.called("AEGP_GetLayerQuality"));
    options.quality = AEGP_LayerQual_WIREFRAME;
    ASSERT_EQ(rig.render(input, wire, options), PF_Err_NONE);
    options.quality = AEGP_LayerQual_DRAFT;
    ASSERT_EQ(rig.render(input, draft, options), PF_Err_NONE);

    EXPECT_EQ(best.bytes, wire.bytes);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 40; ++x) {
            const PF_Pixel in = input.at<PF_Pixel>(x, y);
            const PF_Pixel b = best.at<PF_Pixel>(x, y);
            const PF_Pixel d = draft.at<PF_Pixel>(x, y);
            const int v = x % 10;
            EXPECT_EQ(d.alpha, v == 0 ? 0 : in.alpha) << x;
            const int soft = static_cast<int>(in.alpha * (1.0 - 0.07 * 10.0) + 0.5);
            EXPECT_EQ(b.alpha, v == 0 ? 0 : (v == 1 ? soft : in.alpha)) << x;
            EXPECT_TRUE(sameColour(b, in) && sameColour(d, in));
        }
    }
    EXPECT_TRUE(rig.clean());
}

// ---- the worked examples -----------------------------------------------------------------------

// Move, One, bands of 10 along x, progress 0.5: a visible pixel shows the input 5 pixels behind
// it; the leading 5 pixels of each band are transparent (6 when anti-aliased: the ramp ends at
// the pixel on the edge).
template <typename P>
void moveOne(Rig& rig, Depth depth, AEGP_LayerQuality quality) {
    rig.set({{kMode, One},
             {kState, Move},
             {kCompletion, 50.0},
             {kDelay, 0.0},
             {kWidth, 10.0},
             {kDirection, 0.0},
             {kOutside, Mirror}});
    const Image input = markedImage(40, 3, depth);
    Image out;
    RenderOptions options;
    options.quality = quality;
    ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
    const int hidden = quality == AEGP_LayerQual_DRAFT ? 5 : 6;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 40; ++x) {
            const P got = out.at<P>(x, y);
            if (x % 10 < hidden)
                EXPECT_EQ(got.alpha, 0) << x;
            else
                EXPECT_TRUE(samePixel(got, input.at<P>(x - 5, y))) << x << "," << y;
        }
    }
}

TEST(Render, MoveOneShowsTheInputBehindAndHidesTheLeadingPixels) {
    forEachDepth([](auto d) {
        constexpr Depth depth = decltype(d)::value;
        using P = typename PixelOf<depth>::type;
        SCOPED_TRACE(depthLabel(depth));
        Rig rig;
        moveOne<P>(rig, depth, AEGP_LayerQual_DRAFT);
        moveOne<P>(rig, depth, AEGP_LayerQual_BEST);
        EXPECT_TRUE(rig.clean());
    });
}

// The centre-line mix of two samples: each channel the plain average, rounded half up at 8 and
// 16 bits, exact at float.
template <typename P>
P average(const P& a, const P& b, const P& alphaFrom) {
    auto mean = [](auto u, auto v) -> ChannelOf<P> {
        const double m = static_cast<double>(u) * 0.5 + static_cast<double>(v) * 0.5;
        if constexpr (std::is_floating_point_v<ChannelOf<P>>)
            return static_cast<ChannelOf<P>>(m);
        else
            return static_cast<ChannelOf<P>>(m + 0.5);
    };
    return P{alphaFrom.alpha, mean(a.red, b.red), mean(a.green, b.green), mean(a.blue, b.blue)};
}

// Move, Both, bands of 20 along x, progress 0.5: each half slides 5 pixels towards the centre
// line, so a first-half pixel shows the input 5 behind it and a second-half pixel 5 ahead; the
// outer 5 pixels of each side are hidden. Anti-aliased, the pixel on the centre line averages
// the two.
template <typename P>
void moveBoth(Rig& rig, Depth depth, AEGP_LayerQuality quality) {
    rig.set({{kMode, Both},
             {kState, Move},
             {kCompletion, 50.0},
             {kDelay, 0.0},
             {kWidth, 20.0},
             {kDirection, 0.0},
             {kOutside, Edge}});
    const Image input = markedImage(80, 3, depth);
    Image out;
    RenderOptions options;
    options.quality = quality;
    ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
    const bool aa = quality != AEGP_LayerQual_DRAFT;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 75; ++x) {
            const int v = x % 20;
            const P got = out.at<P>(x, y);
            const bool hidden = aa ? (v <= 5 || v >= 15) : (v < 5 || v > 15);
            if (hidden) {
                EXPECT_EQ(got.alpha, 0) << x;
            } else if (aa && v == 10) {
                const P ahead = input.at<P>(x + 5, y);
                EXPECT_TRUE(samePixel(got, average(ahead, input.at<P>(x - 5, y), ahead))) << x;
            } else {
                EXPECT_TRUE(samePixel(got, input.at<P>(v < 10 ? x - 5 : x + 5, y))) << x << "," << y;
            }
        }
    }
}

TEST(Render, MoveBothSamplesBehindThenAheadAndAveragesOnTheCentreLine) {
    forEachDepth([](auto d) {
        constexpr Depth depth = decltype(d)::value;
        using P = typename PixelOf<depth>::type;
        SCOPED_TRACE(depthLabel(depth));
        Rig rig;
        moveBoth<P>(rig, depth, AEGP_LayerQual_DRAFT);
        moveBoth<P>(rig, depth, AEGP_LayerQual_BEST);
        EXPECT_TRUE(rig.clean());
    });
}

// Both, Still, bands of 10 along x, progress 0.5, anti-aliased: the pixels 3 and 7 into a band
// are half covered.
TEST(Render, SixteenBitFullAlphaHalfCoveredIsExactlyHalf) {
    Rig rig;
    rig.set({{kMode, Both},
             {kState, Still},
             {kCompletion, 50.0},
             {kDelay, 0.0},
             {kWidth, 10.0},
             {kDirection, 0.0}});
    const PF_Pixel16 full{32768, 1000, 2000, 3000};
    Image out;
    ASSERT_EQ(rig.render(flatImage(40, 2, Depth::Bits16, full), out), PF_Err_NONE);
    for (int x = 0; x < 40; ++x) {
        const int v = x % 10;
        const PF_Pixel16 got = out.at<PF_Pixel16>(x, 1);
        const int want = (v == 3 || v == 7) ? 16384 : (v >= 4 && v <= 6 ? 32768 : 0);
        EXPECT_EQ(got.alpha, want) << x;
        EXPECT_TRUE(sameColour(got, full));
    }
    EXPECT_TRUE(rig.clean());
}

// One, Still, bands of 10, progress 0.07, anti-aliased: the pixel 1 into a band is covered
// 1 - 0.7 = 0.3; float alpha 0.5 becomes 0.15 with no rounding added.
TEST(Render, FloatAlphaIsScaledWithoutRounding) {
    Rig rig;
    rig.set({{kMode, One},
             {kState, Still},
             {kCompletion, 7.0},
             {kDelay, 0.0},
             {kWidth, 10.0},
             {kDirection, 0.0}});
    const PF_PixelFloat half{0.5f, 0.25f, 1.5f, -0.125f};
    Image out;
    ASSERT_EQ(rig.render(flatImage(30, 2, Depth::Float32, half), out), PF_Err_NONE);
    for (int x = 0; x < 30; ++x) {
        const PF_PixelFloat got = out.at<PF_PixelFloat>(x, 0);
        const int v = x % 10;
        EXPECT_EQ(got.alpha, v == 0 ? 0.0f : (v == 1 ? 0.15f : 0.5f)) << x;
        EXPECT_TRUE(sameColour(got, half)) << "values beyond 0..1 pass through";
    }
    EXPECT_TRUE(rig.clean());
}

// ---- failures deep inside --------------------------------------------------------------------

// A record whose layer is far larger than any image, with bands of one pixel: the band count
// cannot be represented and the filter's preparation throws std::bad_alloc. The entry point
// turns it into PF_Err_OUT_OF_MEMORY, and everything taken on the way is given back.
TEST(Render, AnAllocationFailureInTheFilterIsOutOfMemoryWithEverythingReleased) {
    Rig rig(2);
    rig.set({{kCompletion, 50.0}, {kState, Move}, {kWidth, 1.0}, {kDirection, 0.0}});
    vhost::SmartFrame frame(markedImage(16, 8, Depth::Bits16));
    frame.attach(rig.effect());
    vhost::EffectLayer layer(rig.effect(), AEGP_LayerQual_BEST);
    PF_InData in = rig.effect().makeInData();
    frame.prepareInData(in);
    PF_OutData out{};
    ASSERT_EQ(rig.effect().command(PF_Cmd_SMART_PRE_RENDER, in, out, rig.effect().currentParams(), nullptr,
                                   frame.preRenderExtra()),
              PF_Err_NONE);
    auto handle = static_cast<PF_Handle>(frame.preRenderOutput().pre_render_data);
    auto* record = static_cast<PreRenderParams*>(rig.host().lockHandle(handle));
    record->layer_rect = PF_LRect{-2000000000, 0, 2000000000, 1};
    rig.host().unlockHandle(handle);

    EXPECT_EQ(rig.effect().command(PF_Cmd_SMART_RENDER, in, out, rig.effect().currentParams(), nullptr,
                                   frame.smartRenderExtra()),
              PF_Err_OUT_OF_MEMORY);
    EXPECT_FALSE(rig.called("iterate_generic"));
    frame.finish();
    EXPECT_TRUE(rig.ledger().faults().empty()) << "no exception reached the host";
    EXPECT_TRUE(rig.clean());
}

TEST(Render, FrameAfterFrameEachOutputIsHandedOverWholeAndAFailedFrameKeepsThePrevious) {
    // A caller rendering into one image frame after frame (the renderer): the output is made in
    // storage the effect keeps and handed over; its bytes are those of a render with a report.
    Rig rig(2);
    const Image input = markedImage(29, 17, Depth::Bits8);
    rig.set({{kMode, Both}, {kState, Move}, {kWidth, 5.0}, {kDirection, 25.0}});
    Image out;
    for (double completion : {0.0, 20.0, 55.0, 80.0, 100.0, 40.0}) {
        rig.set(kCompletion, completion);
        RenderReport report;
        Image viaReport;
        ASSERT_EQ(rig.render(input, viaReport, {}, &report), PF_Err_NONE);
        ASSERT_EQ(rig.render(input, out), PF_Err_NONE);
        EXPECT_EQ(out.width, 29);
        EXPECT_EQ(out.height, 17);
        EXPECT_EQ(out.bytes, viaReport.bytes) << completion;
    }
    const Image before = out;
    rig.set(kCompletion, 60.0);
    rig.ledger().failOp("iterate_generic", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_NE(rig.render(input, out), PF_Err_NONE);
    EXPECT_EQ(out.bytes, before.bytes);
    EXPECT_TRUE(rig.clean());
}

// ---- the unchecked path (the frei0r plug-in's) ---------------------------------------------------

TEST(Render, UncheckedRendersReadTheLayerInPlaceAndGiveTheSameBytes) {
    forEachDepth([](auto d) {
        constexpr Depth depth = decltype(d)::value;
        SCOPED_TRACE(depthLabel(depth));
        Rig rig(2);
        const Image input = markedImage(37, 23, depth);
        rig.set({{kMode, Both}, {kState, Move}, {kWidth, 4.5}, {kDirection, 30.0}});
        for (double completion : {0.0, 45.0, 100.0}) {
            rig.set(kCompletion, completion);
            Image checked;
            ASSERT_EQ(rig.render(input, checked), PF_Err_NONE);

            RenderOptions options;
            options.checked = false;
            Image unchecked;
            ASSERT_EQ(rig.render(input, unchecked, options), PF_Err_NONE);
            EXPECT_EQ(unchecked.bytes, checked.bytes) << completion;

            // The output read from its world: the same pixels, `output` left alone.
            Image untouched(1, 1, depth), read(input.width, input.height, depth);
            int calls = 0;
            options.readOutput = [&](const PF_EffectWorld& world) {
                ++calls;
                ASSERT_EQ(world.width, input.width);
                ASSERT_EQ(world.height, input.height);
                const std::size_t row = static_cast<std::size_t>(world.width) * vhost::bytesPerPixel(depth);
                for (int y = 0; y < world.height; ++y)
                    std::memcpy(read.bytes.data() + y * row,
                                static_cast<const std::uint8_t*>(world.data) + y * world.rowbytes, row);
            };
            ASSERT_EQ(rig.render(input, untouched, options), PF_Err_NONE);
            EXPECT_EQ(calls, 1);
            EXPECT_EQ(read.bytes, checked.bytes) << completion;
            EXPECT_EQ(untouched.width, 1);

            // The output world made over the caller's memory (rows padded here): the module
            // writes there, and the pixels are the same.
            const std::size_t ps = vhost::bytesPerPixel(depth);
            const std::size_t stride = (input.width + 3) * ps;
            std::vector<std::uint8_t> mine(stride * input.height, 0x5A);
            options.outputPixels = mine.data();
            options.outputRowBytes = stride;
            const void* seen = nullptr;
            auto readRows = options.readOutput;
            options.readOutput = [&](const PF_EffectWorld& world) {
                seen = world.data;
                readRows(world);
            };
            ASSERT_EQ(rig.render(input, untouched, options), PF_Err_NONE);
            EXPECT_EQ(seen, mine.data());
            EXPECT_EQ(read.bytes, checked.bytes) << completion;
            for (int y = 0; y < input.height; ++y)
                EXPECT_EQ(std::memcmp(mine.data() + y * stride, checked.bytes.data() + y * input.width * ps,
                                      input.width * ps),
                          0);
            EXPECT_EQ(mine[input.width * ps], 0x5A) << "the padding stays the caller's";
            // A checked render keeps its own world: the caller's memory is left alone.
            options.checked = true;
            std::fill(mine.begin(), mine.end(), 0x5A);
            ASSERT_EQ(rig.render(input, untouched, options), PF_Err_NONE);
            EXPECT_NE(seen, mine.data());
            EXPECT_EQ(read.bytes, checked.bytes) << completion;
            EXPECT_TRUE(std::all_of(mine.begin(), mine.end(), [](std::uint8_t b) { return b == 0x5A; }));
        }
        EXPECT_TRUE(rig.clean());
    });
}

TEST(Render, UncheckedInputWorldsAreTheLayersOwnPixels) {
    // A view of the checked-out rectangle of the caller's layer, rows a layer's width apart: what
    // a module writes there lands in the layer, and nothing compares it.
    Rig rig(1);
    Image input = markedImage(9, 7, Depth::Bits8);
    vhost::SmartFrame::Options frameOptions;
    frameOptions.checked = false;
    vhost::SmartFrame frame(vhost::SmartFrame::Borrow{}, input, {1, 1}, {1, 1}, frameOptions);
    frame.attach(rig.effect());
    PF_CheckoutResult result{};
    PF_RenderRequest request{};
    request.rect = PF_LRect{2, 1, 9, 7};
    ASSERT_EQ(vhost::SmartFrame::checkoutLayer(rig.effect().ref(), 0, 0, &request, 0, 1, 1, &result),
              PF_Err_NONE);
    PF_EffectWorld* world = nullptr;
    ASSERT_EQ(vhost::SmartFrame::checkoutLayerPixels(rig.effect().ref(), 0, &world), PF_Err_NONE);
    EXPECT_EQ(world->data, &input.at<PF_Pixel>(2, 1));
    EXPECT_EQ(world->rowbytes, 9 * 4);
    EXPECT_EQ(world->width, 7);
    EXPECT_TRUE(vhost::isHostWorld(world));
    static_cast<PF_Pixel*>(world->data)[0].red ^= 0xFF;
    frame.finish();
    EXPECT_TRUE(frame.inputUnchanged());  // nothing is compared
    EXPECT_EQ(input.at<PF_Pixel>(2, 1).red, markedImage(9, 7, Depth::Bits8).at<PF_Pixel>(2, 1).red ^ 0xFF);
}

}  // namespace
