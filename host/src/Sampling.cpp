#include "Sampling.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace vhost {

namespace {

// A world's pixel (x, y); the caller has checked the position.
template <typename Pixel>
const Pixel& pixelAt(const PF_EffectWorld* world, std::int64_t x, std::int64_t y) {
    const auto* base = static_cast<const std::uint8_t*>(world->data);
    return *reinterpret_cast<const Pixel*>(base + y * world->rowbytes +
                                           x * static_cast<std::int64_t>(sizeof(Pixel)));
}

template <typename Pixel>
bool inside(const PF_EffectWorld* world, std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < world->width && y < world->height;
}

template <typename Pixel>
PF_Err checkArguments(const PF_SampPB* params, const Pixel* dst) {
    if (params == nullptr || dst == nullptr || params->src == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const PF_EffectWorld* world = params->src;
    if (world->width < 0 || world->height < 0) return PF_Err_BAD_CALLBACK_PARAM;
    if (world->width > 0 && world->height > 0 &&
        (world->data == nullptr ||
         world->rowbytes < static_cast<std::int64_t>(world->width) * std::int64_t{sizeof(Pixel)}))
        return PF_Err_BAD_CALLBACK_PARAM;
    return PF_Err_NONE;
}

// Nearest neighbour: the pixel whose centre is nearest, .5 going to the right/down (the position
// plus half a pixel, floored by the arithmetic shift); outside the world all four channels are 0.
template <typename Pixel>
PF_Err nnSample(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
    if (PF_Err err = checkArguments(params, dst)) return err;
    const PF_EffectWorld* world = params->src;
    const std::int64_t col = (std::int64_t{x} + 32768) >> 16;
    const std::int64_t row = (std::int64_t{y} + 32768) >> 16;
    *dst = inside<Pixel>(world, col, row) ? pixelAt<Pixel>(world, col, row) : Pixel{};
    return PF_Err_NONE;
}

// Bilinear: the four neighbours of the position weighted by their overlap, summed in double in
// the order (x0,y0), (x0+1,y0), (x0,y0+1), (x0+1,y0+1). A neighbour outside the world counts as
// zero; a neighbour of weight 0 is never read, so integer positions touch one pixel only.
//
// For 8- and 16-bit channels that double sum is exact: the fractions are whole multiples of
// 2^-16, each weight a whole multiple of 2^-32 below 1, and channel x weight summed over four
// neighbours stays below 2^50, inside a double's 53 bits. So the same sum is formed in 64-bit
// integers in units of 2^-32, and "+ 0.5, truncated" becomes adding 2^31 and shifting: the
// same bits, without a conversion per channel and tap.
template <typename Pixel>
PF_Err subpixelSample(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* params, Pixel* dst) {
    if (PF_Err err = checkArguments(params, dst)) return err;
    const PF_EffectWorld* world = params->src;
    const std::int64_t x0 = x >> 16, y0 = y >> 16;
    using Channel = decltype(Pixel{}.alpha);
    if constexpr (std::is_integral_v<Channel>) {
        const std::uint64_t fx = static_cast<std::uint32_t>(x) & 0xFFFFu;
        const std::uint64_t fy = static_cast<std::uint32_t>(y) & 0xFFFFu;
        const std::uint64_t gx = 65536 - fx, gy = 65536 - fy;
        const struct {
            std::int64_t x, y;
            std::uint64_t weight;
        } taps[4] = {
            {x0, y0, gx * gy},
            {x0 + 1, y0, fx * gy},
            {x0, y0 + 1, gx * fy},
            {x0 + 1, y0 + 1, fx * fy},
        };
        std::uint64_t a = 0, r = 0, g = 0, b = 0;
        for (const auto& tap : taps) {
            if (tap.weight == 0 || !inside<Pixel>(world, tap.x, tap.y)) continue;
            const Pixel& p = pixelAt<Pixel>(world, tap.x, tap.y);
            a += p.alpha * tap.weight;
            r += p.red * tap.weight;
            g += p.green * tap.weight;
            b += p.blue * tap.weight;
        }
        constexpr std::uint64_t half = std::uint64_t{1} << 31;
        dst->alpha = static_cast<Channel>((a + half) >> 32);
        dst->red = static_cast<Channel>((r + half) >> 32);
        dst->green = static_cast<Channel>((g + half) >> 32);
        dst->blue = static_cast<Channel>((b + half) >> 32);
        return PF_Err_NONE;
    } else {
        const double fx = static_cast<double>(x & 0xFFFF) / 65536.0;
        const double fy = static_cast<double>(y & 0xFFFF) / 65536.0;
        const struct {
            std::int64_t x, y;
            double weight;
        } taps[4] = {
            {x0, y0, (1.0 - fx) * (1.0 - fy)},
            {x0 + 1, y0, fx * (1.0 - fy)},
            {x0, y0 + 1, (1.0 - fx) * fy},
            {x0 + 1, y0 + 1, fx * fy},
        };
        double a = 0.0, r = 0.0, g = 0.0, b = 0.0;
        for (const auto& tap : taps) {
            if (tap.weight == 0.0) continue;
            if (!inside<Pixel>(world, tap.x, tap.y)) {
                a += 0.0 * tap.weight;
                r += 0.0 * tap.weight;
                g += 0.0 * tap.weight;
                b += 0.0 * tap.weight;
                continue;
            }
            const Pixel& p = pixelAt<Pixel>(world, tap.x, tap.y);
            a += static_cast<double>(p.alpha) * tap.weight;
            r += static_cast<double>(p.red) * tap.weight;
            g += static_cast<double>(p.green) * tap.weight;
            b += static_cast<double>(p.blue) * tap.weight;
        }
        dst->alpha = static_cast<Channel>(a);
        dst->red = static_cast<Channel>(r);
        dst->green = static_cast<Channel>(g);
        dst->blue = static_cast<Channel>(b);
        return PF_Err_NONE;
    }
}

const PF_Sampling8Suite1 kSampling8{&nnSample<PF_Pixel>, &subpixelSample<PF_Pixel>};
const PF_Sampling16Suite1 kSampling16{&nnSample<PF_Pixel16>, &subpixelSample<PF_Pixel16>};
const PF_SamplingFloatSuite1 kSamplingFloat{&nnSample<PF_PixelFloat>, &subpixelSample<PF_PixelFloat>};

}  // namespace

const PF_Sampling8Suite1& sampling8Suite() { return kSampling8; }
const PF_Sampling16Suite1& sampling16Suite() { return kSampling16; }
const PF_SamplingFloatSuite1& samplingFloatSuite() { return kSamplingFloat; }

}  // namespace vhost
