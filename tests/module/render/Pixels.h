// Pixels for the render tests: the host pixel type of each depth, a picture that looks the same
// at every depth with no two pixels alike, and flat images.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace vtest {

using vhost::Depth;
using vhost::depthLabel;
using vhost::Image;

// ---- pixels ------------------------------------------------------------------------------------

template <typename P>
using ChannelOf = std::remove_cv_t<decltype(P::alpha)>;

template <Depth D>
struct PixelOf;
template <>
struct PixelOf<Depth::Bits8> {
    using type = PF_Pixel;
};
template <>
struct PixelOf<Depth::Bits16> {
    using type = PF_Pixel16;
};
template <>
struct PixelOf<Depth::Float32> {
    using type = PF_PixelFloat;
};

// An 8-bit value at a depth: 16 bits as v x 128 (exact), float as v / 255.
template <typename P>
ChannelOf<P> channel(int v8) {
    if constexpr (std::is_same_v<P, PF_Pixel>)
        return static_cast<A_u_char>(v8);
    else if constexpr (std::is_same_v<P, PF_Pixel16>)
        return static_cast<A_u_short>(v8 * 128);
    else
        return static_cast<float>(v8) / 255.0f;
}

template <typename P>
double fullScale() {
    if constexpr (std::is_same_v<P, PF_Pixel>)
        return 255.0;
    else if constexpr (std::is_same_v<P, PF_Pixel16>)
        return 32768.0;
    else
        return 1.0;
}

template <typename P>
bool samePixel(const P& a, const P& b) {
    return std::memcmp(&a, &b, sizeof(P)) == 0;
}

template <typename P>
bool sameColour(const P& a, const P& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// The picture every synthetic input shows: no two pixels alike (red follows x, green y), never
// an all-zero colour, alpha between 100 and 249 (of 255). The same values at every depth.
inline void markedValues(int x, int y, int& a, int& r, int& g, int& b) {
    a = 100 + (x * 3 + y * 5) % 150;
    r = 10 + (x * 9) % 240;
    g = 10 + (y * 11) % 240;
    b = 20 + (x * 7 + y * 13) % 200;
}

template <typename P>
P markedPixel(int x, int y) {
    int a, r, g, b;
    markedValues(x, y, a, r, g, b);
    return P{channel<P>(a), channel<P>(r), channel<P>(g), channel<P>(b)};
}

template <typename P>
Image markedImage(int w, int h, Depth depth) {
    Image image(w, h, depth);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.at<P>(x, y) = markedPixel<P>(x, y);
    return image;
}

inline Image markedImage(int w, int h, Depth depth) {
    switch (depth) {
        case Depth::Bits8: return markedImage<PF_Pixel>(w, h, depth);
        case Depth::Bits16: return markedImage<PF_Pixel16>(w, h, depth);
        case Depth::Float32: return markedImage<PF_PixelFloat>(w, h, depth);
    }
    return Image();
}

// One colour all over.
template <typename P>
Image flatImage(int w, int h, Depth depth, const P& p) {
    Image image(w, h, depth);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.at<P>(x, y) = p;
    return image;
}

template <typename F>
void forEachDepth(F&& f) {
    f(std::integral_constant<Depth, Depth::Bits8>{});
    f(std::integral_constant<Depth, Depth::Bits16>{});
    f(std::integral_constant<Depth, Depth::Float32>{});
}

}  // namespace vtest
