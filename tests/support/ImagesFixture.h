// Shared set-up for the image tests: the host fixture, pixels of each depth
// addressed by rowbytes, and a pixel unique to its place for each depth.
#pragma once

#include "HostFixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vtest {

using hostfixture::Fill;
using hostfixture::HostTest;
using hostfixture::TestWorld;

// Pixel (x, y) of a world of pixel type P, by rowbytes.
template <typename P>
P& pixelOf(PF_EffectWorld* w, int x, int y) {
    return *reinterpret_cast<P*>(static_cast<unsigned char*>(w->data) +
                                 static_cast<std::ptrdiff_t>(y) * w->rowbytes +
                                 static_cast<std::ptrdiff_t>(x) * sizeof(P));
}

// Per-depth facts the tests are written over once.
template <typename P>
struct DepthOf;
template <>
struct DepthOf<PF_Pixel> {
    static constexpr vhost::Depth depth = vhost::Depth::Bits8;
    static constexpr int bpc = hostfixture::bpcOf(depth);
    // A pixel unique to (x, y) within small worlds.
    static PF_Pixel mark(int x, int y) {
        return PF_Pixel{255, static_cast<A_u_char>(x), static_cast<A_u_char>(y),
                        static_cast<A_u_char>(x * 16 + y)};
    }
};
template <>
struct DepthOf<PF_Pixel16> {
    static constexpr vhost::Depth depth = vhost::Depth::Bits16;
    static constexpr int bpc = hostfixture::bpcOf(depth);
    static PF_Pixel16 mark(int x, int y) {
        return PF_Pixel16{32768, static_cast<A_u_short>(x * 300 + 1), static_cast<A_u_short>(y * 300 + 2),
                          static_cast<A_u_short>(x * 1000 + y)};
    }
};
template <>
struct DepthOf<PF_PixelFloat> {
    static constexpr vhost::Depth depth = vhost::Depth::Float32;
    static constexpr int bpc = hostfixture::bpcOf(depth);
    static PF_PixelFloat mark(int x, int y) {
        return PF_PixelFloat{1.0f, static_cast<float>(x) * 0.125f, static_cast<float>(y) * 0.25f,
                             static_cast<float>(x * 16 + y) / 64.0f};
    }
};

template <typename P>
bool samePixel(const P& a, const P& b) {
    return std::memcmp(&a, &b, sizeof(P)) == 0;
}

template <typename P>
void markWorld(PF_EffectWorld* w) {
    for (int y = 0; y < w->height; ++y)
        for (int x = 0; x < w->width; ++x) pixelOf<P>(w, x, y) = DepthOf<P>::mark(x, y);
}

using PixelTypes = ::testing::Types<PF_Pixel, PF_Pixel16, PF_PixelFloat>;

}  // namespace vtest
