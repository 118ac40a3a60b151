// Straight-alpha "over", solid background images and depth changes.
#include "Composite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace vsession;

namespace {

template <typename Pixel>
vhost::Image one(vhost::Depth depth, Pixel p) {
    vhost::Image image(1, 1, depth);
    image.at<Pixel>(0, 0) = p;
    return image;
}

}  // namespace

TEST(Over, EndsOfTheTransition) {
    // Opaque front hides the back; transparent front shows the back exactly.
    vhost::Image front = one(vhost::Depth::Bits8, PF_Pixel{255, 10, 20, 30});
    compositeOver(front, one(vhost::Depth::Bits8, PF_Pixel{255, 200, 100, 0}));
    EXPECT_EQ(front.at<PF_Pixel>(0, 0).red, 10);
    EXPECT_EQ(front.at<PF_Pixel>(0, 0).alpha, 255);

    vhost::Image clear = one(vhost::Depth::Bits16, PF_Pixel16{0, 32768, 32768, 32768});
    compositeOver(clear, one(vhost::Depth::Bits16, PF_Pixel16{32768, 1, 16384, 32767}));
    const PF_Pixel16 c = clear.at<PF_Pixel16>(0, 0);
    EXPECT_EQ(c.alpha, 32768);
    EXPECT_EQ(c.red, 1);
    EXPECT_EQ(c.green, 16384);
    EXPECT_EQ(c.blue, 32767);

    // Nothing over nothing is transparent black, whatever colour either carried.
    vhost::Image none = one(vhost::Depth::Float32, PF_PixelFloat{0, 0.5f, 0.5f, 0.5f});
    compositeOver(none, one(vhost::Depth::Float32, PF_PixelFloat{0, 1, 1, 1}));
    const PF_PixelFloat n = none.at<PF_PixelFloat>(0, 0);
    EXPECT_EQ(n.alpha, 0.0f);
    EXPECT_EQ(n.red, 0.0f);
}

TEST(Over, StraightAlphaMixesByCoverage) {
    // Half-covered white over opaque black: mid grey, opaque.
    vhost::Image f = one(vhost::Depth::Float32, PF_PixelFloat{0.5f, 1, 1, 1});
    compositeOver(f, one(vhost::Depth::Float32, PF_PixelFloat{1, 0, 0, 0}));
    EXPECT_EQ(f.at<PF_PixelFloat>(0, 0).red, 0.5f);
    EXPECT_EQ(f.at<PF_PixelFloat>(0, 0).alpha, 1.0f);

    // Over a half-covered back: oa = 0.5 + 0.5 * 0.5 = 0.75; colour (1 * 0.5 + 0 * 0.25) / 0.75.
    vhost::Image g = one(vhost::Depth::Float32, PF_PixelFloat{0.5f, 1, 0, 0});
    compositeOver(g, one(vhost::Depth::Float32, PF_PixelFloat{0.5f, 0, 1, 0}));
    EXPECT_EQ(g.at<PF_PixelFloat>(0, 0).alpha, 0.75f);
    EXPECT_EQ(g.at<PF_PixelFloat>(0, 0).red, static_cast<float>(0.5 / 0.75));
    EXPECT_EQ(g.at<PF_PixelFloat>(0, 0).green, static_cast<float>(0.25 / 0.75));

    // 8-bit rounds to nearest: 255 * 128/255 = 128; 200 * 0.5 + 100 * 0.5 = 150.2 for a = 128.
    vhost::Image e = one(vhost::Depth::Bits8, PF_Pixel{128, 255, 200, 0});
    compositeOver(e, one(vhost::Depth::Bits8, PF_Pixel{255, 0, 100, 0}));
    EXPECT_EQ(e.at<PF_Pixel>(0, 0).alpha, 255);
    EXPECT_EQ(e.at<PF_Pixel>(0, 0).red, 128);
    EXPECT_EQ(e.at<PF_Pixel>(0, 0).green, 150);  // (200 * 128 + 100 * 127) / 255 = 150.196
}

TEST(Colour, SolidImagesConvertLikeTheHostFill) {
    const vhost::Image s = solidImage(3, 2, vhost::Depth::Bits16, PF_Pixel{255, 128, 1, 0});
    ASSERT_EQ(s.width, 3);
    ASSERT_EQ(s.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const PF_Pixel16 p = s.at<PF_Pixel16>(x, y);
            EXPECT_EQ(p.alpha, 32768);
            EXPECT_EQ(p.red, 16448);  // 128 * 32768 / 255 = 16448.25
            EXPECT_EQ(p.green, 129);  // 128.5 rounds up
            EXPECT_EQ(p.blue, 0);
        }
    const vhost::Image f = solidImage(1, 1, vhost::Depth::Float32, PF_Pixel{51, 255, 0, 51});
    EXPECT_EQ(f.at<PF_PixelFloat>(0, 0).alpha, 0x1.99999ap-3f);
    EXPECT_EQ(f.at<PF_PixelFloat>(0, 0).red, 1.0f);
}

TEST(Depth, ConversionsBetweenHostDepths) {
    const vhost::Image e = one(vhost::Depth::Bits8, PF_Pixel{255, 128, 1, 0});
    const vhost::Image s = toDepth(e, vhost::Depth::Bits16);
    EXPECT_EQ(s.at<PF_Pixel16>(0, 0).red, 16448);
    const vhost::Image back = toDepth(s, vhost::Depth::Bits8);
    EXPECT_EQ(back.bytes, e.bytes);
    const vhost::Image f = toDepth(s, vhost::Depth::Float32);
    EXPECT_EQ(f.at<PF_PixelFloat>(0, 0).red, 16448.0f / 32768.0f);
    const vhost::Image over =
        toDepth(one(vhost::Depth::Float32, PF_PixelFloat{2, -1, 0.5f, 1}), vhost::Depth::Bits8);
    EXPECT_EQ(over.at<PF_Pixel>(0, 0).alpha, 255);
    EXPECT_EQ(over.at<PF_Pixel>(0, 0).red, 0);
    EXPECT_EQ(over.at<PF_Pixel>(0, 0).green, 128);
}

namespace {

// "Over" as documented, computed in double for every pixel: the oracle for the shortcuts taken on
// opaque and clear front pixels.
template <typename Pixel, typename Channel>
Pixel referenceOver(Pixel f, Pixel b, double full) {
    const double fa = f.alpha / full, ba = b.alpha / full, bw = ba * (1.0 - fa), oa = fa + bw;
    if (oa <= 0.0) return Pixel{};
    auto unit = [&](double v) {
        return static_cast<Channel>(std::clamp(std::floor(v * full + 0.5), 0.0, full));
    };
    auto mix = [&](double fc, double bc) { return unit((fc * fa + bc * bw) / (oa * full)); };
    return Pixel{unit(oa), mix(f.red, b.red), mix(f.green, b.green), mix(f.blue, b.blue)};
}

template <typename Pixel>
bool samePixel(const Pixel& a, const Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

}  // namespace

TEST(Over, OpaqueAndClearFrontPixelsMatchTheFormulaExactly) {
    // 8-bit: every front colour against every back colour and back alpha, front opaque or clear.
    for (int fa : {0, 255}) {
        for (int ba = 0; ba < 256; ++ba) {
            vhost::Image front(256, 256, vhost::Depth::Bits8), back(256, 256, vhost::Depth::Bits8);
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    front.at<PF_Pixel>(x, y) =
                        PF_Pixel{static_cast<A_u_char>(fa), static_cast<A_u_char>(x),
                                 static_cast<A_u_char>(y), static_cast<A_u_char>(x ^ y)};
                    back.at<PF_Pixel>(x, y) =
                        PF_Pixel{static_cast<A_u_char>(ba), static_cast<A_u_char>(y),
                                 static_cast<A_u_char>(x), static_cast<A_u_char>(255 - x)};
                }
            const vhost::Image before = front;
            compositeOver(front, back);
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) {
                    const PF_Pixel want = referenceOver<PF_Pixel, A_u_char>(before.at<PF_Pixel>(x, y),
                                                                            back.at<PF_Pixel>(x, y), 255.0);
                    ASSERT_TRUE(samePixel(front.at<PF_Pixel>(x, y), want))
                        << fa << " " << ba << " " << x << "," << y;
                }
        }
    }
    // 16-bit, values above full scale included (the formula clamps them).
    std::mt19937 random(12);
    std::uniform_int_distribution<int> value(0, 40000);
    vhost::Image front(512, 512, vhost::Depth::Bits16), back(512, 512, vhost::Depth::Bits16);
    auto any = [&] { return static_cast<A_u_short>(value(random)); };
    for (std::size_t i = 0; i < 512 * 512; ++i) {
        const A_u_short fa = i % 3 == 0 ? 0 : i % 3 == 1 ? 32768 : any();
        front.pixels<PF_Pixel16>()[i] = PF_Pixel16{fa, any(), any(), any()};
        back.pixels<PF_Pixel16>()[i] = PF_Pixel16{i % 7 == 0 ? A_u_short{0} : any(), any(), any(), any()};
    }
    const vhost::Image before = front;
    compositeOver(front, back);
    for (std::size_t i = 0; i < 512 * 512; ++i) {
        const PF_Pixel16 want = referenceOver<PF_Pixel16, A_u_short>(before.pixels<PF_Pixel16>()[i],
                                                                     back.pixels<PF_Pixel16>()[i], 32768.0);
        ASSERT_TRUE(samePixel(front.pixels<PF_Pixel16>()[i], want)) << i;
    }
}

TEST(Over, PartlyCoveredEightBitPixelsMatchTheFormulaExactly) {
    // over8 works in integers and falls back on the double formula only where the result lies
    // exactly halfway between two values: every partial front alpha, every front channel value,
    // back alphas from clear to opaque, back values in steps (some of them halfway cases).
    for (int fa = 1; fa < 255; ++fa)
        for (int ba : {0, 77, 128, 255})
            for (int fc = 0; fc < 256; ++fc)
                for (int bc = 0; bc < 256; bc += 15) {
                    const PF_Pixel f{static_cast<A_u_char>(fa), static_cast<A_u_char>(fc),
                                     static_cast<A_u_char>(255 - fc), static_cast<A_u_char>(fc / 3)};
                    const PF_Pixel b{static_cast<A_u_char>(ba), static_cast<A_u_char>(bc),
                                     static_cast<A_u_char>(bc / 2), static_cast<A_u_char>(255 - bc)};
                    const PF_Pixel want = referenceOver<PF_Pixel, A_u_char>(f, b, 255.0);
                    ASSERT_TRUE(samePixel(over8(f, b), want)) << fa << " " << ba << " " << fc << " " << bc;
                }
}
