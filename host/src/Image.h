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

// The depth as lines of test and check output name it: "8", "16" or "32f".
inline const char* depthLabel(Depth depth) {
    switch (depth) {
        case Depth::Bits8: return "8";
        case Depth::Bits16: return "16";
        case Depth::Float32: return "32f";
    }
    return "?";
}

// Where an image's pixels sit in a larger frame, as some image files record it (an OpenEXR data
// window inside its display window, a TIFF's position). Renders ignore it; the command-line renderer
// carries it from the file it reads to the files it writes.
struct Placement {
    int x = 0, y = 0;                   // the pixels' top-left corner in the frame
    int fullX = 0, fullY = 0;           // the frame's top-left corner
    int fullWidth = 0, fullHeight = 0;  // 0: the frame is the image itself

    bool isDefault() const {
        return x == 0 && y == 0 && fullX == 0 && fullY == 0 && fullWidth == 0 && fullHeight == 0;
    }
    // The same placement for an image rendered at 1/downsample of the size.
    Placement downsampled(int downsample) const {
        if (downsample <= 1) return *this;
        auto down = [downsample](int v) {
            return v >= 0 ? v / downsample : -((-v + downsample - 1) / downsample);
        };
        auto up = [downsample](int v) { return (v + downsample - 1) / downsample; };
        return Placement{down(x), down(y), down(fullX), down(fullY), up(fullWidth), up(fullHeight)};
    }
};

struct Image {
    int width = 0;
    int height = 0;
    Depth depth = Depth::Bits8;
    // width * height * bytesPerPixel(depth), rows top to bottom. The constructor below fills it with
    // zeros; a reader that is about to overwrite every byte reserves it instead and appends rows as
    // they arrive, so that memory is only touched for data that really came.
    std::vector<std::uint8_t> bytes;
    Placement placement;

    Image() = default;
    Image(int w, int h, Depth d)
        : width(w),
          height(h),
          depth(d),
          bytes(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * bytesPerPixel(d)) {}

    template <typename Pixel>
    Pixel* pixels() {
        return reinterpret_cast<Pixel*>(bytes.data());
    }
    template <typename Pixel>
    const Pixel* pixels() const {
        return reinterpret_cast<const Pixel*>(bytes.data());
    }
    template <typename Pixel>
    Pixel& at(int x, int y) {
        return pixels<Pixel>()[static_cast<std::size_t>(y) * width + x];
    }
    template <typename Pixel>
    const Pixel& at(int x, int y) const {
        return pixels<Pixel>()[static_cast<std::size_t>(y) * width + x];
    }
};

}  // namespace vhost
