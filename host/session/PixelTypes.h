// The host's three pixel types by depth, so that a pass over an image is written once as a template
// and dispatched once per call.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <cstdint>
#include <utility>

namespace vsession {

template <typename Pixel>
struct PixelTraits;
template <>
struct PixelTraits<PF_Pixel> {
    using Channel = std::uint8_t;
    static constexpr vhost::Depth depth = vhost::Depth::Bits8;
    static constexpr double full = 255.0;
};
template <>
struct PixelTraits<PF_Pixel16> {
    using Channel = std::uint16_t;
    static constexpr vhost::Depth depth = vhost::Depth::Bits16;
    static constexpr double full = 32768.0;
};
template <>
struct PixelTraits<PF_PixelFloat> {
    using Channel = float;
    static constexpr vhost::Depth depth = vhost::Depth::Float32;
    static constexpr double full = 1.0;
};

// Calls f with a value-initialised pixel of the depth's type (only its type matters).
template <typename F>
decltype(auto) withPixelType(vhost::Depth depth, F&& f) {
    switch (depth) {
        case vhost::Depth::Bits16: return std::forward<F>(f)(PF_Pixel16{});
        case vhost::Depth::Float32: return std::forward<F>(f)(PF_PixelFloat{});
        case vhost::Depth::Bits8: break;
    }
    return std::forward<F>(f)(PF_Pixel{});
}

inline const char* depthName(vhost::Depth depth) {
    switch (depth) {
        case vhost::Depth::Bits8: return "8-bit";
        case vhost::Depth::Bits16: return "16-bit";
        case vhost::Depth::Float32: return "float";
    }
    return "?";
}

}  // namespace vsession
