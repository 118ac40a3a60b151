// Properties of the prepared bands and of the classification of every pixel, over many random
// parameter sets: all modes, states, orders, easing curves and modes (with a few codes outside the
// tables), offsets in [0, 1), widths from 1 to 500, directions over the whole turn, and layers on
// and off the origin. Pixels up to three widths beyond the layer on every side are classified
// too; under the address sanitizer this proves the classification never reads outside the band
// arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BlindTestSupport.h"
#include "VelmorEasing.h"

using namespace vtest;
using Impl = Blind::Impl;

namespace {

const double kTwoPi = 6.283185307179586;

struct Drawn {
    PF_LRect layer;
    int mode, state, order, easing_type, easing_mode, seed;
    double completion, delay, width, direction, offset;

    std::string describe() const {
        std::ostringstream s;
        s.precision(17);
        s << "layer (" << layer.left << "," << layer.top << "," << layer.right << "," << layer.bottom
          << ") mode " << mode << " state " << state << " order " << order << " easing " << easing_type << "/"
          << easing_mode << " seed " << seed << " completion " << completion << " delay " << delay
          << " width " << width << " direction " << direction << " offset " << offset;
        return s.str();
    }
};

class Draw {
public:
    explicit Draw(unsigned seed) : rng_(seed) {}

    Drawn next() {
        static const PF_LRect layers[] = {
            rect(0, 0, 100, 50), rect(-37, 12, 20, 61), rect(1000, -500, 1031, -470), rect(0, 0, 1, 1),
            rect(3, 4, 4, 40),   rect(-5, -5, 60, 3),   rect(-64, -64, 0, 0),         rect(250, 7, 290, 8),
        };
        Drawn d;
        d.layer = layers[pick(0, 7)];
        d.mode = chance(0.05) ? pick(0, 1) * 3 : pick(1, 2);  // 0 or 3 now and then
        d.state = chance(0.05) ? 4 : pick(1, 3);
        d.order = chance(0.05) ? 0 : pick(1, 3);
        d.easing_type = chance(0.05) ? pick(0, 1) * 12 : pick(1, 11);
        d.easing_mode = chance(0.05) ? pick(0, 1) * 4 : pick(1, 3);
        d.seed = static_cast<int>(rng_());
        d.completion = chance(0.1) ? pick(0, 1) : unit();
        d.delay = chance(0.25) ? 0.0 : (chance(0.2) ? 1.0 : unit());
        d.width = chance(0.5) ? pick(1, 500) : std::exp(unit() * std::log(500.0));
        d.direction = chance(0.1) ? pick(0, 3) * (kTwoPi / 4) : unit() * kTwoPi;
        d.offset = chance(0.2) ? 0.0 : unit() * 0.999999;
        return d;
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    double unit() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }
    bool chance(double p) { return unit() < p; }

    std::mt19937 rng_;
};

Impl build(TestHost& host, const Drawn& d) {
    return Impl(params(host, d.layer)
                    .setMode(d.mode)
                    .setState(d.state)
                    .setOrder(d.order)
                    .setEasingType(d.easing_type)
                    .setEasingMode(d.easing_mode)
                    .setSeed(d.seed)
                    .setCompletion(d.completion)
                    .setDelay(d.delay)
                    .setWidth(d.width)
                    .setDirection(d.direction)
                    .setOffset(d.offset));
}

// Everything that must hold for one pixel in both variants; returns false after the first
// failure so that a broken set reports once.
bool checkPixel(const Impl& impl, const Drawn& d, int x, int y) {
    const int n = Access::num_bands(impl);
    const Info hard = classify(impl, x, y, false);
    const Info soft = classify(impl, x, y, true);
    const auto where = [&] { return testing::Message() << "pixel (" << x << "," << y << ")"; };

    EXPECT_TRUE(hard.slot >= 0 && hard.slot < n) << where() << " slot " << hard.slot;
    if (hard.slot < 0 || hard.slot >= n) return false;
    EXPECT_EQ(soft.slot, hard.slot) << where();
    const double e = Access::band(impl, hard.slot).progress;
    const bool closing = e > 0.0 && e < 1.0;
    bool ok = true;
    for (const Info* info : {&hard, &soft}) {
        const bool aa = info == &soft;
        ok &= info->closing == closing;
        ok &= info->coverage >= 0.0 && info->coverage <= 1.0;
        ok &= info->squeeze >= 0.0;
        ok &= info->squeeze == 0.0 || (closing && d.state == Blind::Shrink);
        ok &= info->seam >= 0.0 && info->seam <= 1.0;
        ok &= (info->seam == 0.0 && !info->at_seam) || (aa && closing && d.state == Blind::Move);
        ok &= !info->at_seam || info->seam < 1.0;
        ok &= !info->first_half || (closing && d.mode == Blind::Both);
        if (e >= 1.0) ok &= info->coverage == 0.0;
        EXPECT_TRUE(ok) << where() << (aa ? " anti-aliased" : " hard") << ": progress " << e << " coverage "
                        << info->coverage << " squeeze " << info->squeeze << " seam " << info->seam
                        << " closing " << info->closing << " first_half " << info->first_half << " at_seam "
                        << info->at_seam;
        if (!ok) return false;
    }
    const bool hard_ok = hard.coverage == 0.0 || hard.coverage == 1.0;
    EXPECT_TRUE(hard_ok) << where() << " hard coverage " << hard.coverage;
    const bool idle_ok = e > 0.0 || hard.coverage == 1.0;
    EXPECT_TRUE(idle_ok) << where() << " band not started but hidden";
    return hard_ok && idle_ok;
}

// Pixel coordinates from `margin` before lo to `margin` past hi: every one near the two edges and
// a stride through the rest.
std::vector<int> around(int lo, int hi, int margin) {
    std::vector<int> v;
    for (int c = lo - 3; c < lo + 3; ++c) v.push_back(c);
    for (int c = hi - 3; c < hi + 3; ++c) v.push_back(c);
    const int from = lo - margin, to = hi + margin;
    const int stride = std::max(1, (to - from) / 40);
    for (int c = from; c < to; c += stride) v.push_back(c);
    v.push_back(to - 1);
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

}  // namespace

TEST(BlindProperties, PreparedBandsAndEveryPixel) {
    TestHost host;
    Draw draw(0x5eedB11d);
    const int sets = 500;
    for (int set = 0; set < sets; ++set) {
        const Drawn d = draw.next();
        SCOPED_TRACE(d.describe());
        const Impl impl = build(host, d);
        const int n = Access::num_bands(impl);
        const double extent = Access::extent(impl);

        // The bands cover the grid, with no band wholly past its end.
        ASSERT_GE(n, 1);
        if (extent > 0.0) {
            EXPECT_GE(n * d.width, extent);
            EXPECT_LT((n - 1) * d.width, extent);
        }

        // The order is a permutation of the slots.
        std::vector<int> seen(n, 0);
        for (int k = 0; k < n; ++k) {
            const int slot = Access::order(impl, k);
            ASSERT_TRUE(slot >= 0 && slot < n) << "band " << k << " slot " << slot;
            ++seen[slot];
        }
        ASSERT_EQ(std::count(seen.begin(), seen.end(), 1), n);

        // Without delay every band follows the eased completion; only closing Move bands move,
        // and against the axis.
        const Velmor::Easing easing(d.easing_type, d.easing_mode);
        for (int i = 0; i < n; ++i) {
            const Access::BandState& b = Access::band(impl, i);
            if (d.delay == 0.0) {
                ASSERT_EQ(b.progress, easing.getTime(d.completion)) << "slot " << i;
            }
            const bool moving = d.state == Blind::Move && b.progress > 0.0 && b.progress < 1.0 &&
                                (d.mode == Blind::One || d.mode == Blind::Both);
            if (!moving) {
                ASSERT_EQ(b.shift, Velmor::VectorFixed(0, 0)) << "slot " << i;
            } else {
                ASSERT_LE(b.shift.x * Access::dir(impl).x + b.shift.y * Access::dir(impl).y, 0.0);
            }
        }

        // Every pixel of the layer.
        bool ok = true;
        for (int y = d.layer.top; ok && y < d.layer.bottom; ++y)
            for (int x = d.layer.left; ok && x < d.layer.right; ++x) ok = checkPixel(impl, d, x, y);
        ASSERT_TRUE(ok);

        // Pixels of a larger buffer, up to three widths beyond the layer on every side.
        const int margin = static_cast<int>(std::ceil(3.0 * d.width)) + 2;
        const std::vector<int> xs = around(d.layer.left, d.layer.right, margin);
        const std::vector<int> ys = around(d.layer.top, d.layer.bottom, margin);
        for (int y : ys)
            for (int x : xs) {
                const bool inside =
                    x >= d.layer.left && x < d.layer.right && y >= d.layer.top && y < d.layer.bottom;
                if (!inside && !checkPixel(impl, d, x, y)) FAIL();
            }
    }
    EXPECT_EQ(counters().acquire, 0);
}
