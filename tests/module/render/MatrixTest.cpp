// Every Mode x State x Outside x quality at each depth, on small synthetic images whose pixels are
// all different, checked by properties that hold for any setting of the other controls:
//  - the render succeeds and gives back everything, writes nothing outside its output and leaves
//    its input as it was; only the depth's sampling suite is acquired, at most once, never for Still;
//  - Best and Wireframe render the same bytes;
//  - Still keeps every colour, only lowers alpha (hard-edged: to 0 or not at all), and does not
//    depend on Outside;
//  - hard-edged Move and Shrink show input pixels unchanged but for alpha (0 or the pixel's own),
//    or, with Void only, nothing at all (beyond the image);
//  - anti-aliased Move and Shrink mix input pixels only: each channel within the input's range
//    (from 0 with Void);
//  - the hard-edged geometry (what is hidden, which input pixel is shown) is the same at 8, 16
//    and 32 bits.
#include "RenderRig.h"

#include <algorithm>
#include <map>
#include <tuple>

using namespace vtest;

namespace {

constexpr int kW = 23;
constexpr int kH = 17;

struct Combo {
    int mode, state, outside;
    AEGP_LayerQuality quality;
    double completion;
};

std::string describe(const Combo& c, Depth depth) {
    static const char* modes[] = {"", "One", "Both"};
    static const char* states[] = {"", "Still", "Move", "Shrink"};
    static const char* outsides[] = {"", "Void", "Edge", "Tile", "Mirror"};
    static const char* qualities[] = {"Wireframe", "Draft", "Best"};
    return std::string(modes[c.mode]) + " " + states[c.state] + " " + outsides[c.outside] + " " +
           qualities[c.quality] + " " + std::to_string(c.completion) + "% at " + depthLabel(depth);
}

// What a hard-edged render shows at each pixel: the index of the input pixel whose colour it has
// (-1 for none) and whether it is visible.
struct Geometry {
    std::vector<int> source;
    std::vector<bool> visible;
    bool operator==(const Geometry&) const = default;
};

template <typename P>
std::tuple<double, double, double> colourKey(const P& p) {
    return {static_cast<double>(p.red), static_cast<double>(p.green), static_cast<double>(p.blue)};
}

template <typename P>
class Checker {
public:
    explicit Checker(const Image& input) : input_(input) {
        for (int i = 0; i < kW * kH; ++i) {
            const P& p = input.pixels<P>()[i];
            index_[colourKey(p)] = i;
            for (int c = 0; c < 4; ++c) {
                lo_[c] = std::min(lo_[c], channelOf(p, c));
                hi_[c] = std::max(hi_[c], channelOf(p, c));
            }
        }
    }

    static double channelOf(const P& p, int c) {
        switch (c) {
            case 0: return p.alpha;
            case 1: return p.red;
            case 2: return p.green;
            default: return p.blue;
        }
    }

    void still(const Image& out, bool hard) const {
        for (int i = 0; i < kW * kH; ++i) {
            const P& in = input_.pixels<P>()[i];
            const P& got = out.pixels<P>()[i];
            ASSERT_TRUE(sameColour(got, in)) << "pixel " << i;
            ASSERT_LE(got.alpha, in.alpha) << "pixel " << i;
            if (hard) {
                ASSERT_TRUE(got.alpha == 0 || got.alpha == in.alpha) << "pixel " << i;
            }
        }
    }

    Geometry hardSamples(const Image& out, bool isVoid) const {
        Geometry g;
        for (int i = 0; i < kW * kH; ++i) {
            const P& got = out.pixels<P>()[i];
            auto it = index_.find(colourKey(got));
            if (it == index_.end()) {
                EXPECT_TRUE(isVoid && samePixel(got, P{})) << "pixel " << i << " shows no input pixel";
                g.source.push_back(-1);
                g.visible.push_back(false);
                continue;
            }
            const P& shown = input_.pixels<P>()[it->second];
            EXPECT_TRUE(got.alpha == 0 || got.alpha == shown.alpha) << "pixel " << i;
            g.source.push_back(it->second);
            g.visible.push_back(got.alpha != 0);
        }
        return g;
    }

    void mixes(const Image& out, bool isVoid) const {
        for (int i = 0; i < kW * kH; ++i) {
            const P& got = out.pixels<P>()[i];
            for (int c = 0; c < 4; ++c) {
                const double v = channelOf(got, c);
                const double low = isVoid || c == 0 ? 0.0 : lo_[c];
                ASSERT_TRUE(v >= low && v <= hi_[c]) << "pixel " << i << " channel " << c << ": " << v;
            }
        }
    }

private:
    const Image& input_;
    std::map<std::tuple<double, double, double>, int> index_;
    double lo_[4] = {1e300, 1e300, 1e300, 1e300};
    double hi_[4] = {-1e300, -1e300, -1e300, -1e300};
};

TEST(Matrix, EveryModeStateOutsideAndQualityAtEachDepthKeepsItsProperties) {
    Rig rig(2);
    rig.set({{kDelay, 30.0},
             {kWidth, 5.5},
             {kDirection, 30.0},
             {kOffset, 45.0},
             {kOrder, Random},
             {kSeed, 11},
             {kEasing, 3},
             {kEasingMode, 3}});

    std::map<std::tuple<int, int, int, double>, Geometry> geometry;  // hard-edged, by depth-free key
    int renders = 0;
    forEachDepth([&](auto d) {
        constexpr Depth depth = decltype(d)::value;
        using P = typename PixelOf<depth>::type;
        const Image input = markedImage(kW, kH, depth);
        const Checker<P> check(input);
        for (double completion : {37.0, 81.0}) {
            for (int mode : {One, Both}) {
                for (int state : {Still, Move, Shrink}) {
                    std::vector<Image> stillByOutside;
                    for (int outside : {Void, Edge, Tile, Mirror}) {
                        rig.set(
                            {{kCompletion, completion}, {kMode, mode}, {kState, state}, {kOutside, outside}});
                        Image byQuality[3];
                        for (AEGP_LayerQuality quality :
                             {AEGP_LayerQual_WIREFRAME, AEGP_LayerQual_DRAFT, AEGP_LayerQual_BEST}) {
                            const Combo combo{mode, state, outside, quality, completion};
                            SCOPED_TRACE(describe(combo, depth));
                            rig.ledger().resetLog();
                            vhost::RenderOptions options;
                            options.quality = quality;
                            vhost::RenderReport report;
                            Image& out = byQuality[quality];
                            ASSERT_EQ(rig.render(input, out, options, &report), PF_Err_NONE);
                            ++renders;
                            ASSERT_TRUE(rig.clean());
                            ASSERT_TRUE(report.outputIntact && report.inputUnchanged);
                            ASSERT_EQ(out.width, kW);
                            ASSERT_EQ(out.height, kH);
                            for (Depth other : {Depth::Bits8, Depth::Bits16, Depth::Float32}) {
                                const int n = rig.ledger().acquisitions(samplingSuiteOf(other), 1);
                                EXPECT_LE(n, other == depth && state != Still ? 1 : 0)
                                    << samplingSuiteOf(other);
                            }

                            const bool hard = quality == AEGP_LayerQual_DRAFT;
                            if (state == Still) {
                                check.still(out, hard);
                            } else if (hard) {
                                const Geometry g = check.hardSamples(out, outside == Void);
                                const auto key = std::make_tuple(mode * 100 + state, outside, 0, completion);
                                auto [it, added] = geometry.try_emplace(key, g);
                                EXPECT_TRUE(added || it->second == g)
                                    << "the geometry differs from the 8-bit render";
                            } else {
                                check.mixes(out, outside == Void);
                            }
                        }
                        EXPECT_EQ(byQuality[AEGP_LayerQual_BEST].bytes,
                                  byQuality[AEGP_LayerQual_WIREFRAME].bytes);
                        if (state == Still) stillByOutside.push_back(byQuality[AEGP_LayerQual_BEST]);
                    }
                    for (const Image& image : stillByOutside)
                        EXPECT_EQ(image.bytes, stillByOutside.front().bytes)
                            << "Still does not depend on Outside";
                }
            }
        }
    });
    EXPECT_EQ(renders, 3 * 2 * 2 * 3 * 4 * 3);
}

}  // namespace
