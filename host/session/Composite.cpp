#include "Composite.h"

#include "PixelConvert.h"
#include "PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vsession {

namespace {

// A host channel from a value in 0..1 at the pixel type's scale.
template <typename Channel>
Channel fromUnit(double v, double full) {
    if constexpr (std::is_same_v<Channel, float>) {
        return static_cast<float>(v);
    } else {
        const double scaled = std::floor(v * full + 0.5);
        return static_cast<Channel>(scaled < 0 ? 0 : scaled > full ? full : scaled);
    }
}

// The host-to-host value table (8-bit and float mean the same in files and in the host; only the
// 16-bit scale differs, which PixelConvert keeps).
template <typename To, typename From>
To hostValue(From v) {
    if constexpr (std::is_same_v<To, From>)
        return v;
    else if constexpr (std::is_same_v<From, std::uint16_t>)
        return px::toFile<To>(v);  // 16 -> 8/float
    else if constexpr (std::is_same_v<To, std::uint16_t>)
        return px::toHost<To>(v);  // 8/float -> 16
    else if constexpr (std::is_same_v<To, float>)
        return px::floatFrom8(v);  // 8 -> float
    else
        return px::to8(v);  // float -> 8
}

template <typename ToPixel, typename FromPixel>
void convertPixels(const vhost::Image& src, vhost::Image& dst) {
    using To = typename PixelTraits<ToPixel>::Channel;
    const FromPixel* s = src.pixels<FromPixel>();
    ToPixel* d = dst.pixels<ToPixel>();
    const std::size_t count = static_cast<std::size_t>(src.width) * src.height;
    for (std::size_t i = 0; i < count; ++i) {
        d[i].alpha = hostValue<To>(s[i].alpha);
        d[i].red = hostValue<To>(s[i].red);
        d[i].green = hostValue<To>(s[i].green);
        d[i].blue = hostValue<To>(s[i].blue);
    }
}

template <typename Pixel>
void over(vhost::Image& front, const vhost::Image& back) {
    using Channel = typename PixelTraits<Pixel>::Channel;
    constexpr double full = PixelTraits<Pixel>::full;
    Pixel* f = front.pixels<Pixel>();
    const Pixel* b = back.pixels<Pixel>();
    const std::size_t count = static_cast<std::size_t>(front.width) * front.height;
    if constexpr (std::is_same_v<Pixel, PF_Pixel>) {
        for (std::size_t i = 0; i < count; ++i) f[i] = over8(f[i], b[i]);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if constexpr (!std::is_same_v<Channel, float>) {
            // Most pixels of a transition are opaque or clear in front. There the formula below
            // gives the front pixel, the back pixel or transparent black, each channel clamped
            // to full scale, with no error that could cross a rounding step: taken directly.
            static constexpr Channel top = static_cast<Channel>(full);
            auto clamped = [](const Pixel& p) {
                return Pixel{std::min(p.alpha, top), std::min(p.red, top), std::min(p.green, top),
                             std::min(p.blue, top)};
            };
            if (f[i].alpha == top) {
                f[i] = clamped(f[i]);
                continue;
            }
            if (f[i].alpha == 0) {
                f[i] = b[i].alpha == 0 ? Pixel{} : clamped(b[i]);
                continue;
            }
        }
        const OverWeights w(f[i].alpha, b[i].alpha, full);
        if (w.oa <= 0.0) {
            f[i] = Pixel{};
            continue;
        }
        auto mix = [&](double fc, double bc) { return fromUnit<Channel>(w.channel(fc, bc, full), full); };
        f[i].red = mix(f[i].red, b[i].red);
        f[i].green = mix(f[i].green, b[i].green);
        f[i].blue = mix(f[i].blue, b[i].blue);
        f[i].alpha = fromUnit<Channel>(w.oa, full);
    }
}

}  // namespace

vhost::Image solidImage(int width, int height, vhost::Depth depth, PF_Pixel colour) {
    vhost::Image one(1, 1, vhost::Depth::Bits8);
    one.at<PF_Pixel>(0, 0) = colour;
    const vhost::Image converted = toDepth(one, depth);
    vhost::Image image(width, height, depth);
    const std::size_t size = bytesPerPixel(depth);
    for (std::size_t i = 0; i < image.bytes.size(); i += size)
        std::copy(converted.bytes.begin(), converted.bytes.end(),
                  image.bytes.begin() + static_cast<std::ptrdiff_t>(i));
    return image;
}

vhost::Image toDepth(const vhost::Image& image, vhost::Depth depth) {
    if (image.depth == depth) return image;
    vhost::Image out(image.width, image.height, depth);
    withPixelType(depth, [&](auto to) {
        withPixelType(image.depth,
                      [&](auto from) { convertPixels<decltype(to), decltype(from)>(image, out); });
    });
    return out;
}

void compositeOver(vhost::Image& front, const vhost::Image& back) {
    withPixelType(front.depth, [&](auto pixel) { over<decltype(pixel)>(front, back); });
}

}  // namespace vsession
