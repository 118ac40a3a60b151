// An image buffer as the host's callers (tests, the command-line renderer) hand it to a render:
// tightly packed rows of pixels in the host's channel order alpha, red, green, blue, at one of the
// three depths (8-bit 0..255, 16-bit 0..32768, float 0..1 nominal), straight alpha.
#pragma once

#include "AE_Effect.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vhost {

enum class Depth { Bits8 = 8, Bits16 = 16, Float32 = 32 };

inline std::size_t bytesPerPixel(Depth depth) {
    switch (depth) {
        case Depth::Bits8: return sizeof(PF_Pixel);
        case Depth::Bits16: return sizeof(PF_Pixel16);
        case Depth::Float32: return sizeof(PF_PixelFloat);
    }
    return 0;
}

struct Image {
    int width = 0;
    int height = 0;
    Depth depth = Depth::Bits8;
    std::vector<std::uint8_t> bytes;  // width * height * bytesPerPixel(depth), rows top to bottom

    Image() = default;
    Image(int w, int h, Depth d)
        : width(w), height(h), depth(d),
          bytes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * bytesPerPixel(d)) {}

    template <typename Pixel>
    Pixel* pixels() { return reinterpret_cast<Pixel*>(bytes.data()); }
    template <typename Pixel>
    const Pixel* pixels() const { return reinterpret_cast<const Pixel*>(bytes.data()); }
    template <typename Pixel>
    Pixel& at(int x, int y) { return pixels<Pixel>()[static_cast<std::size_t>(y) * width + x]; }
    template <typename Pixel>
    const Pixel& at(int x, int y) const {
        return pixels<Pixel>()[static_cast<std::size_t>(y) * width + x];
    }
};

}  // namespace vhost
