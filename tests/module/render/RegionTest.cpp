// Region requests, as a host's viewer, tiled render or region of interest makes them: whatever
// rectangle the host asks for, the module renders exactly that cut of the whole frame, every
// channel (colour under zero alpha too), while a region whose settings sample near the pixel
// alone keeps asking for no more than the region grown by the band width. Requests the host
// cannot make are refused with an error code, never a signal or an escaping exception.
#include "RenderRig.h"

#include <climits>
#include <sstream>

using namespace vtest;

namespace {

// Small enough to render hundreds of thousands of pixels quickly, large enough for several
// bands of Width 7 (ceil(37 / 2) x ceil(23 / 2) at half resolution) and margins that matter.
constexpr int kW = 37;
constexpr int kH = 23;

PF_LRect rect(int left, int top, int right, int bottom) { return PF_LRect{left, top, right, bottom}; }

std::string str(const PF_LRect& r) {
    std::ostringstream s;
    s << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
    return s.str();
}

bool sameRect(const PF_LRect& a, const PF_LRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// `area` of a whole w x h frame, zero where it leaves the frame.
Image cut(const Image& frame, const PF_LRect& area) {
    Image out(area.right - area.left, area.bottom - area.top, frame.depth);
    const std::size_t ps = vhost::bytesPerPixel(frame.depth);
    for (int y = std::max(area.top, 0); y < std::min(area.bottom, frame.height); ++y)
        for (int x = std::max(area.left, 0); x < std::min(area.right, frame.width); ++x)
            std::memcpy(
                &out.bytes[(static_cast<std::size_t>(y - area.top) * out.width + (x - area.left)) * ps],
                &frame.bytes[(static_cast<std::size_t>(y) * frame.width + x) * ps], ps);
    return out;
}

// Where two images of the same size first differ, as "x, y".
std::string firstDifference(const Image& a, const Image& b) {
    const std::size_t ps = vhost::bytesPerPixel(a.depth);
    for (std::size_t i = 0; i < a.bytes.size(); ++i)
        if (a.bytes[i] != b.bytes[i]) {
            const std::size_t p = i / ps;
            return std::to_string(p % a.width) + ", " + std::to_string(p / a.width);
        }
    return "nowhere";
}

// The rectangles a host asks for, in a w x h frame: inside, along each edge, at each corner, a
// pixel, a column and a row, partly and wholly outside, the whole frame, and a 16 x 16 tiling.
std::vector<PF_LRect> regionsOf(int w, int h) {
    std::vector<PF_LRect> r = {
        rect(w / 3, h / 3, 2 * w / 3, 2 * h / 3),  // interior
        rect(0, h / 3, 5, 2 * h / 3),              // edges
        rect(w - 5, h / 3, w, 2 * h / 3),
        rect(w / 3, 0, 2 * w / 3, 4),
        rect(w / 3, h - 4, 2 * w / 3, h),
        rect(0, 0, 6, 5),  // corners
        rect(w - 6, 0, w, 5),
        rect(0, h - 5, 6, h),
        rect(w - 6, h - 5, w, h),
        rect(w / 2, h / 2, w / 2 + 1, h / 2 + 1),  // 1 x 1
        rect(w - 1, h - 1, w, h),                  // the far corner's pixel
        rect(w / 2, 0, w / 2 + 1, h),              // 1 x N
        rect(0, h / 2, w, h / 2 + 1),              // N x 1
        rect(-4, -3, 9, 8),                        // partly outside
        rect(w - 5, h - 4, w + 6, h + 3),
        rect(w + 2, 1, w + 9, 6),  // wholly outside
        rect(0, 0, w, h),          // the whole frame
    };
    for (int y = 0; y < h; y += 16)
        for (int x = 0; x < w; x += 16) r.push_back(rect(x, y, std::min(x + 16, w), std::min(y + 16, h)));
    return r;
}

TEST(Region, EveryRegionRendersExactlyItsCutOfTheWholeFrame) {
    Rig rig;
    // Bands of 7 pixels at different stages, a slanted axis (positions beyond both pairs of
    // edges), a grid offset (the wrap seam) and a random order.
    rig.set({{kCompletion, 58.0},
             {kDelay, 45.0},
             {kWidth, 7.0},
             {kDirection, 27.0},
             {kOffset, 100.0},
             {kOrder, Random},
             {kSeed, 5},
             {kEasing, 3}});
    const AEGP_LayerQuality qualities[] = {AEGP_LayerQual_BEST, AEGP_LayerQual_DRAFT,
                                           AEGP_LayerQual_WIREFRAME};
    int renders = 0, failures = 0;
    forEachDepth([&](auto d) {
        constexpr Depth depth = decltype(d)::value;
        const Image input = markedImage(kW, kH, depth);
        for (int ds : {1, 2}) {
            const int w = (kW + ds - 1) / ds, h = (kH + ds - 1) / ds;
            const std::vector<PF_LRect> regions = regionsOf(w, h);
            for (int outside = Void; outside <= Mirror; ++outside)
                for (int state = Still; state <= Shrink; ++state)
                    for (int mode = One; mode <= Both; ++mode)
                        for (AEGP_LayerQuality quality : qualities) {
                            rig.set({{kOutside, outside}, {kState, state}, {kMode, mode}});
                            vhost::RenderOptions options;
                            options.quality = quality;
                            options.downsampleX = options.downsampleY = ds;
                            Image whole;
                            ASSERT_EQ(rig.render(input, whole, options), PF_Err_NONE);
                            ASSERT_EQ(whole.width, w);
                            for (const PF_LRect& region : regions) {
                                options.request = region;
                                Image part;
                                ASSERT_EQ(rig.render(input, part, options), PF_Err_NONE) << str(region);
                                ++renders;
                                const Image expected = cut(whole, region);
                                ASSERT_EQ(part.width, expected.width);
                                ASSERT_EQ(part.height, expected.height);
                                if (part.bytes != expected.bytes && ++failures <= 10)
                                    ADD_FAILURE()
                                        << "Outside " << outside << " State " << state << " Mode " << mode
                                        << " quality " << quality << " at " << depthLabel(depth) << ", 1/"
                                        << ds << ": region " << str(region) << " differs first at "
                                        << firstDifference(part, expected);
                            }
                        }
        }
    });
    EXPECT_EQ(failures, 0) << "of " << renders << " region renders";
    EXPECT_TRUE(rig.ledger().faults().empty());
    EXPECT_TRUE(rig.clean());
}

TEST(Region, OnlySettingsThatSampleFarAskForTheWholeLayer) {
    Rig rig;
    rig.set({{kCompletion, 50.0}, {kWidth, 3.0}});
    const Image input = markedImage(60, 40, Depth::Bits8);
    const PF_LRect region = rect(20, 15, 30, 22);
    const PF_LRect grown = rect(17, 12, 33, 25);  // by ceil(Width) on every side
    const PF_LRect whole = rect(0, 0, 60, 40);
    for (int outside = Void; outside <= Mirror; ++outside)
        for (int state = Still; state <= Shrink; ++state)
            for (int mode = One; mode <= Both; ++mode) {
                rig.set({{kOutside, outside}, {kState, state}, {kMode, mode}});
                vhost::RenderOptions options;
                options.request = region;
                vhost::RenderReport report;
                Image out;
                ASSERT_EQ(rig.render(input, out, options, &report), PF_Err_NONE);
                // Tile wraps Move and Shrink samples around the layer; Shrink in Both squeezes
                // hidden pixels without bound. Everything else samples within a band width.
                const bool far = (outside == Tile && state != Still) || (state == Shrink && mode == Both);
                const PF_LRect& asked = report.preRenderOutput.result_rect;
                EXPECT_TRUE(sameRect(asked, far ? whole : grown))
                    << "Outside " << outside << " State " << state << " Mode " << mode << ": " << str(asked);
            }
    EXPECT_TRUE(rig.clean());
}

TEST(Region, RequestsTheHostCannotMakeAreRefusedAndOthersRenderTheirCut) {
    Rig rig;
    rig.set({{kCompletion, 40.0}, {kWidth, 4.0}, {kState, Shrink}, {kMode, Both}, {kOutside, Tile}});
    const Image input = markedImage(kW, kH, Depth::Bits16);
    Image whole;
    ASSERT_EQ(rig.render(input, whole), PF_Err_NONE);
    const struct {
        PF_LRect request;
        PF_Err expected;
        std::uint64_t budget;
    } cases[] = {
        {rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), PF_Err_BAD_CALLBACK_PARAM, 0},
        {rect(INT_MIN, 0, 5, 5), PF_Err_BAD_CALLBACK_PARAM, 0},
        {rect(0, 0, 100000, 100000), PF_Err_BAD_CALLBACK_PARAM, 0},
        {rect(-(1 << 30), 0, 1 << 30, 1), PF_Err_BAD_CALLBACK_PARAM, 0},  // 2^31 wide
        {rect(INT_MAX, INT_MAX, INT_MIN, INT_MIN), PF_Err_BAD_CALLBACK_PARAM, 0},
        {rect(0, 0, 30000, 30000), PF_Err_OUT_OF_MEMORY, 1 << 20},           // over the budget
        {rect(kW - 1, kH - 1, kW, kH), PF_Err_NONE, 0},                      // the far corner's pixel
        {rect(INT_MAX - 3, INT_MAX - 2, INT_MAX, INT_MAX), PF_Err_NONE, 0},  // far off the layer
        {rect(INT_MIN, INT_MIN, INT_MIN + 2, INT_MIN + 1), PF_Err_NONE, 0},
        {rect(-2, -1, kW + 3, kH + 2), PF_Err_NONE, 0},
    };
    for (const auto& c : cases) {
        vhost::RenderOptions options;
        options.request = c.request;
        options.memoryBudget = c.budget;
        Image out;
        EXPECT_EQ(rig.render(input, out, options), c.expected) << str(c.request);
        if (c.expected == PF_Err_NONE) {
            const Image expected = cut(whole, c.request);
            EXPECT_EQ(out.width, expected.width) << str(c.request);
            EXPECT_TRUE(out.bytes == expected.bytes) << str(c.request);
        } else {
            EXPECT_EQ(out.width, 0) << "nothing written for " << str(c.request);
        }
    }
    EXPECT_TRUE(rig.ledger().faults().empty());
    EXPECT_TRUE(rig.clean());
}

}  // namespace
