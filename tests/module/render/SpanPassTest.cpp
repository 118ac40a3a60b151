// The pass that decides whole spans of a row at once against the pass that classifies every
// pixel on its own: byte for byte the same output over thousands of random frames, at every
// depth, for every mode, state, order, easing and Outside mode, with band widths from below a
// pixel to beyond the image, directions on and a hair off the axes and diagonals, grid offsets
// (the wrap seam), layers whose origin is not 0,0, buffers reaching beyond the layer, and
// 1-pixel and odd sizes.
#include "PassFixture.h"

#include "BlindTestSupport.h"

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

using namespace vtest;
using Velmor::Blind;
using Velmor::BlindImplAccess;
using Velmor::Layer;
using Velmor::Rect;
using vhost::Depth;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Frame {
    int width = 1;
    int height = 1;
    int origin_x = 0;
    int origin_y = 0;
    PF_LRect layer{};
    Rect region;
    std::string text;  // the parameters, for a failure message
};

class SpanPassTest : public PassTest {
protected:
    std::mt19937 random{20261207};

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); }
    double real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); }
    bool chance(double p) { return real(0.0, 1.0) < p; }

    // Random controls on a random layer and buffer.
    Blind::Parameter randomFrame(Frame& f) {
        static const int sizes[] = {1, 1, 2, 3, 5, 7, 13, 17, 31, 33};
        f.width = chance(0.5) ? sizes[uniform(0, 9)] : uniform(1, 48);
        f.height = chance(0.5) ? sizes[uniform(0, 9)] : uniform(1, 48);
        f.origin_x = chance(0.3) ? 0 : uniform(-40, 60);
        f.origin_y = chance(0.3) ? 0 : uniform(-40, 60);
        // Usually the buffer lies inside the layer (the pre-render grows the request); sometimes
        // the layer is the buffer itself, and sometimes the buffer reaches beyond it.
        const int grow = chance(0.3) ? 0 : uniform(-3, 12);
        f.layer = PF_LRect{f.origin_x - std::max(grow, 0), f.origin_y - uniform(0, std::max(grow, 0)),
                           f.origin_x + f.width + uniform(std::min(grow, 0), std::max(grow, 0)),
                           f.origin_y + f.height + std::max(grow, 0)};
        if (f.layer.right <= f.layer.left) f.layer.right = f.layer.left + 1;
        f.region = Rect(0, 0, f.width, f.height);
        if (chance(0.2))  // a band of rows, as the executor cuts them, or a region past the edges
            f.region = Rect(uniform(-2, 2), uniform(-2, f.height), f.width + uniform(-2, 2),
                            f.height + uniform(-2, 2));

        const double diagonal = std::hypot(f.layer.right - f.layer.left, f.layer.bottom - f.layer.top);
        double width;
        switch (uniform(0, 3)) {
            case 0: width = real(0.05, 1.0); break;  // thinner than a pixel
            case 1: width = uniform(1, 30); break;   // whole pixels
            case 2: width = std::exp(real(0.0, std::log(diagonal * 3 + 2))); break;
            default: width = diagonal * real(0.9, 3.0); break;  // one band, or beyond the image
        }
        double direction;
        const double axis = uniform(0, 7) * 45.0 * kPi / 180.0;  // as the render path converts
        switch (uniform(0, 2)) {
            case 0: direction = axis; break;
            case 1: direction = axis + (chance(0.5) ? 1e-9 : -1e-9) * real(0.1, 1.0); break;
            default: direction = real(0.0, 2.0 * kPi); break;
        }
        if (direction < 0.0) direction += 2.0 * kPi;
        const double completions[] = {0.0, 1e-6, 0.5, 0.999999, 1.0};
        const double completion = chance(0.2) ? completions[uniform(0, 4)] : real(0.0, 1.0);
        const double delay = chance(0.2) ? (chance(0.5) ? 0.0 : 1.0) : real(0.0, 1.0);
        const double offset = chance(0.3) ? 0.0 : real(0.0, 0.999);

        Blind::Parameter p = parameter(1, 1);
        p.setLayerRect(f.layer)
            .setIsAA(chance(0.6))
            .setMode(uniform(1, 2))
            .setCompletion(completion)
            .setDelay(delay)
            .setWidth(width)
            .setDirection(direction)
            .setOffset(offset)
            .setOrder(uniform(1, 3))
            .setSeed(uniform(0, 99999))
            .setEasingType(uniform(1, 11))
            .setEasingMode(uniform(1, 3))
            .setState(uniform(1, 3))
            .setBorderType(uniform(1, 4));
        std::ostringstream text;
        text.precision(17);
        text << f.width << "x" << f.height << " at " << f.origin_x << "," << f.origin_y << " layer "
             << f.layer.left << "," << f.layer.top << "," << f.layer.right << "," << f.layer.bottom
             << " region " << f.region.left << "," << f.region.top << "," << f.region.right << ","
             << f.region.bottom << " aa " << p.is_aa() << " mode " << p.mode() << " state " << p.state()
             << " order " << p.order() << " seed " << p.seed() << " easing " << p.easing_type() << "/"
             << p.easing_mode() << " outside " << p.border_type() << " completion " << completion << " delay "
             << delay << " width " << width << " direction " << direction << " offset " << offset;
        f.text = text.str();
        return p;
    }

    // Random pixels at the depth; float channels include values outside 0..1.
    vhost::Image picture(const Frame& f, Depth depth) {
        vhost::Image image(f.width, f.height, depth);
        if (depth == Depth::Float32) {
            auto* v = reinterpret_cast<float*>(image.bytes.data());
            for (std::size_t i = 0; i < image.bytes.size() / sizeof(float); ++i)
                v[i] = static_cast<float>(real(-0.25, 1.25));
        } else if (depth == Depth::Bits16) {
            auto* v = reinterpret_cast<A_u_short*>(image.bytes.data());
            for (std::size_t i = 0; i < image.bytes.size() / 2; ++i)
                v[i] = static_cast<A_u_short>(uniform(0, 32768));
        } else {
            for (auto& b : image.bytes) b = static_cast<std::uint8_t>(uniform(0, 255));
        }
        return image;
    }
};

TEST_F(SpanPassTest, SpansGiveTheBytesOfThePerPixelPassOverRandomFrames) {
    int with_zones = 0;
    constexpr int kFrames = 2400;
    for (int n = 0; n < kFrames; ++n) {
        Frame f;
        const Blind::Parameter p = randomFrame(f);
        const Blind::Impl impl(p);
        const double reach = 200.0 + 2.0 * std::fabs(f.origin_x) + 2.0 * std::fabs(f.origin_y);
        if (BlindImplAccess::zone_count(impl, reach) > 0) ++with_zones;
        for (Depth depth : {Depth::Bits8, Depth::Bits16, Depth::Float32}) {
            const vhost::Image input = picture(f, depth);
            TestWorld src(input), spans(f.width, f.height, depth, Fill::Uncleared),
                each(f.width, f.height, depth, Fill::Uncleared);
            for (TestWorld* w : {&src, &spans, &each}) {
                w->get()->origin_x = f.origin_x;
                w->get()->origin_y = f.origin_y;
            }
            Layer in(&in_, &out_, src.get(), bpcOf(depth));
            Layer a(&in_, &out_, spans.get(), bpcOf(depth));
            Layer b(&in_, &out_, each.get(), bpcOf(depth));
            const_cast<Blind::Impl&>(impl).execute(in, a, f.region);
            BlindImplAccess::execute_per_pixel(impl, in, b, f.region);
            const vhost::Image got = spans.image(), want = each.image();
            ASSERT_EQ(std::memcmp(got.bytes.data(), want.bytes.data(), got.bytes.size()), 0)
                << "frame " << n << " at " << static_cast<int>(depth) << " bits: " << f.text;
            ASSERT_TRUE(vhost::worldGuardsIntact(spans.get())) << f.text;
        }
    }
    // The frames must mostly be ones the span pass cuts into zones, or the comparison proves
    // little.
    EXPECT_GT(with_zones, kFrames / 2);
}

}  // namespace
