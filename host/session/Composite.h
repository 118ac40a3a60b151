// Putting the effect's output over something: a second image or a flat colour, with the
// straight-alpha "over" operator, so a transition shows one shot giving way to another.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vsession {

// An image of one 8-bit colour at a depth: 16-bit channels are v x 32768 / 255 rounded, float v / 255.
vhost::Image solidImage(int width, int height, vhost::Depth depth, PF_Pixel colour);

// The same pixels at another depth (8-bit -> 16-bit rounds v x 32768 / 255; 16-bit -> 8-bit rounds
// to nearest; float -> integer clamps to 0..1 and rounds to nearest).
vhost::Image toDepth(const vhost::Image& image, vhost::Depth depth);

// front = front over back, straight alpha, computed in double; integer depths round to nearest.
// Both images must have the same size and depth (the caller checks and says so). 8-bit pixels go
// through over8 (the same bytes, in integers).
void compositeOver(vhost::Image& front, const vhost::Image& back);

// The weights of the straight-alpha "over" for front and back alphas a and b in 0..full:
// front alpha fa = a / full, the back's weight bw = b / full x (1 - fa), the result's alpha fa + bw.
struct OverWeights {
    double fa, bw, oa;
    OverWeights(double a, double b, double full) : fa(a / full), bw(b / full * (1.0 - fa)), oa(fa + bw) {}
    // A colour channel of the result in 0..1 before rounding: (fc fa + bc bw) / oa / full.
    double channel(double fc, double bc, double full) const { return (fc * fa + bc * bw) / (oa * full); }
};

// One 8-bit pixel of front over back: what compositeOver's double formula gives, in integers.
// With N = 255 Fa + Ba (255 - Fa) and M = 255 fc Fa + bc Ba (255 - Fa), a colour channel is
// M / N rounded and alpha N / 255 rounded; the double formula agrees except where M / N lies
// exactly halfway between two integers (alpha never does), and there the double formula itself
// decides. Opaque fronts are kept, clear ones give the back (or transparent black).
inline PF_Pixel over8(PF_Pixel f, PF_Pixel b) {
    if (f.alpha == 255) return f;
    if (f.alpha == 0) return b.alpha == 0 ? PF_Pixel{} : b;
    const std::uint32_t fa = f.alpha, bk = std::uint32_t{b.alpha} * (255u - fa);
    const std::uint32_t n = 255u * fa + bk, twoN = 2 * n;
    // (2M + N) / 2N rounded down, by one reciprocal for the three channels: below 2^26 over at
    // most 130050, the product is within 1e-13 of the true quotient, whose fraction is either 0
    // or at least 1 / 130050 from a whole number, so adding 1e-9 and truncating is exact.
    const double inverse = 1.0 / twoN;
    auto mix = [&](std::uint32_t fc, std::uint32_t bc) -> A_u_char {
        const std::uint32_t twiceM = 2 * (255u * fc * fa + bc * bk) + n;
        const auto q = static_cast<std::uint32_t>(twiceM * inverse + 1e-9);
        if (q * twoN != twiceM) return static_cast<A_u_char>(q);
        const double v = OverWeights(fa, b.alpha, 255.0).channel(fc, bc, 255.0);
        return static_cast<A_u_char>(std::clamp(std::floor(v * 255.0 + 0.5), 0.0, 255.0));
    };
    return PF_Pixel{static_cast<A_u_char>((2 * n + 255) / 510), mix(f.red, b.red), mix(f.green, b.green),
                    mix(f.blue, b.blue)};
}

}  // namespace vsession
