// The host's samplers at the three depths: integer positions give the pixel itself, positions
// between pixels the weighted sum with the depth's rounding, positions beyond the edge count the
// missing neighbours as zero, and nothing outside the world is ever read. The worlds here are
// allocated to their last pixel exactly (the address sanitizer sees any read past them) and their
// row padding holds a poison value that would show in a result.
#include "ImagesFixture.h"

#include "Sampling.h"

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

using namespace vtest;

namespace {

template <typename P>
struct SampleDepth;

template <>
struct SampleDepth<PF_Pixel> {
    using Channel = A_u_char;
    static const PF_Sampling8Suite1& suite() { return vhost::sampling8Suite(); }
    static constexpr Channel poison = 0xEE;
    // Four neighbours p00, p10, p01, p11; each channel c adds offset * c.
    static constexpr double base[4] = {10, 21, 30, 41};
    static constexpr double offset = 50;
    // Expected channel 0 at (.5, 0), (0, .5), (.5, .5), (.25, 0), (.75, .75): sums + 0.5, truncated.
    static constexpr double between[5] = {16, 20, 26, 13, 33};
    // Each channel at (-.5, 0), (1.5, 0), (1.5, 1.5): the neighbours beyond the world count as
    // zero.
    static constexpr double beyond[3][4] = {{5, 30, 55, 80}, {11, 36, 61, 86}, {10, 23, 35, 48}};
};

template <>
struct SampleDepth<PF_Pixel16> {
    using Channel = A_u_short;
    static const PF_Sampling16Suite1& suite() { return vhost::sampling16Suite(); }
    static constexpr Channel poison = 0xEEEE;
    static constexpr double base[4] = {1001, 2100, 3000, 4100};
    static constexpr double offset = 5000;
    static constexpr double between[5] = {1551, 2001, 2550, 1276, 3325};
    static constexpr double beyond[3][4] = {
        {501, 3001, 5501, 8001}, {1050, 3550, 6050, 8550}, {1025, 2275, 3525, 4775}};
};

template <>
struct SampleDepth<PF_PixelFloat> {
    using Channel = float;
    static const PF_SamplingFloatSuite1& suite() { return vhost::samplingFloatSuite(); }
    static constexpr Channel poison = std::numeric_limits<float>::quiet_NaN();
    static constexpr double base[4] = {0.5, 0.25, 1.0, -2.0};
    static constexpr double offset = 0.125;
    static constexpr double between[5] = {0x1.8p-2, 0x1.8p-1, -0x1p-4, 0x1.cp-2, -0x1.b8p-1};
    static constexpr double beyond[3][4] = {{0x1p-2, 0x1.4p-2, 0x1.8p-2, 0x1.cp-2},
                                            {0x1p-3, 0x1.8p-3, 0x1p-2, 0x1.4p-2},
                                            {-0x1p-1, -0x1.ep-2, -0x1.cp-2, -0x1.ap-2}};
};

// A world whose allocation ends exactly at its last pixel, with `pad` poisoned pixels at the end
// of every other row.
template <typename P>
struct ExactWorld {
    std::vector<P> pixels;
    PF_EffectWorld world{};
    ExactWorld(int w, int h, int pad) {
        using C = typename SampleDepth<P>::Channel;
        const C p = SampleDepth<P>::poison;
        pixels.assign(static_cast<std::size_t>((h - 1) * (w + pad) + w), P{p, p, p, p});
        pixels.shrink_to_fit();
        world.data = pixels.data();
        world.rowbytes = (w + pad) * static_cast<int>(sizeof(P));
        world.width = w;
        world.height = h;
    }
    P& at(int x, int y) {
        return pixels[static_cast<std::size_t>(y * (world.rowbytes / int(sizeof(P))) + x)];
    }
};

template <typename P>
P channels(double base, double offset) {
    using C = typename SampleDepth<P>::Channel;
    return P{static_cast<C>(base), static_cast<C>(base + offset), static_cast<C>(base + 2 * offset),
             static_cast<C>(base + 3 * offset)};
}

constexpr PF_Fixed kOne = 65536;
constexpr PF_Fixed kHalf = 32768;

template <typename P>
class SamplingTest : public ::testing::Test {
protected:
    using D = SampleDepth<P>;

    // The 2 x 2 world of the four neighbours.
    ExactWorld<P> square{2, 2, 3};
    PF_SampPB params{};

    void SetUp() override {
        for (int i = 0; i < 4; ++i) square.at(i % 2, i / 2) = channels<P>(D::base[i], D::offset);
        params.src = &square.world;
    }

    P nn(PF_Fixed x, PF_Fixed y, const PF_SampPB* pb = nullptr) {
        P out{};
        EXPECT_EQ(D::suite().nn_sample(nullptr, x, y, pb ? pb : &params, &out), PF_Err_NONE);
        return out;
    }
    P bilinear(PF_Fixed x, PF_Fixed y, const PF_SampPB* pb = nullptr) {
        P out{};
        EXPECT_EQ(D::suite().subpixel_sample(nullptr, x, y, pb ? pb : &params, &out), PF_Err_NONE);
        return out;
    }
};
TYPED_TEST_SUITE(SamplingTest, PixelTypes);

TYPED_TEST(SamplingTest, IntegerPositionsGiveThePixelItselfEverywhere) {
    using P = TypeParam;
    ExactWorld<P> w(5, 4, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) w.at(x, y) = DepthOf<P>::mark(x, y);
    PF_SampPB pb{};
    pb.src = &w.world;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            // The last row and column included: their zero-weight neighbours are never read.
            EXPECT_TRUE(samePixel(this->bilinear(x * kOne, y * kOne, &pb), DepthOf<P>::mark(x, y)))
                << x << "," << y;
            EXPECT_TRUE(samePixel(this->nn(x * kOne, y * kOne, &pb), DepthOf<P>::mark(x, y)))
                << x << "," << y;
        }
    }
}

TYPED_TEST(SamplingTest, PositionsBetweenPixelsWeighTheirNeighbours) {
    using P = TypeParam;
    using D = SampleDepth<P>;
    const PF_Fixed positions[5][2] = {
        {kHalf, 0}, {0, kHalf}, {kHalf, kHalf}, {kOne / 4, 0}, {3 * kOne / 4, 3 * kOne / 4}};
    for (int i = 0; i < 5; ++i) {
        const P got = this->bilinear(positions[i][0], positions[i][1]);
        EXPECT_TRUE(samePixel(got, channels<P>(D::between[i], D::offset))) << "position " << i;
    }
}

TYPED_TEST(SamplingTest, NeighboursBeyondTheEdgeCountAsZero) {
    using P = TypeParam;
    using D = SampleDepth<P>;
    const PF_Fixed positions[3][2] = {{-kHalf, 0}, {kOne + kHalf, 0}, {kOne + kHalf, kOne + kHalf}};
    for (int i = 0; i < 3; ++i) {
        const P got = this->bilinear(positions[i][0], positions[i][1]);
        using C = typename D::Channel;
        const P want{static_cast<C>(D::beyond[i][0]), static_cast<C>(D::beyond[i][1]),
                     static_cast<C>(D::beyond[i][2]), static_cast<C>(D::beyond[i][3])};
        EXPECT_TRUE(samePixel(got, want)) << "position " << i;
    }
    // Wholly outside, as far as 16.16 reaches: zero, with no overflow on the way.
    for (PF_Fixed x : {INT_MIN, -kOne - 1, 2 * kOne, INT_MAX}) {
        EXPECT_TRUE(samePixel(this->bilinear(x, 0), P{})) << x;
        EXPECT_TRUE(samePixel(this->bilinear(0, x), P{})) << x;
        EXPECT_TRUE(samePixel(this->nn(x, x), P{})) << x;
    }
}

// Nearest neighbour goes to the next pixel at exactly half way, to this one just before it.
TYPED_TEST(SamplingTest, NearestRoundsHalfWayUp) {
    using P = TypeParam;
    const P p00 = this->square.at(0, 0), p10 = this->square.at(1, 0), p01 = this->square.at(0, 1);
    EXPECT_TRUE(samePixel(this->nn(kHalf - 1, 0), p00));
    EXPECT_TRUE(samePixel(this->nn(kHalf, 0), p10));
    EXPECT_TRUE(samePixel(this->nn(0, kHalf), p01));
    EXPECT_TRUE(samePixel(this->nn(-kHalf, -kHalf), p00));
    EXPECT_TRUE(samePixel(this->nn(-kHalf - 1, 0), P{}));
    EXPECT_TRUE(samePixel(this->nn(kOne + kHalf - 1, 0), p10));
    EXPECT_TRUE(samePixel(this->nn(kOne + kHalf, 0), P{}));
}

TYPED_TEST(SamplingTest, MissingWorldOrPixelIsRefused) {
    using P = TypeParam;
    using D = SampleDepth<P>;
    P out{};
    PF_SampPB empty{};
    EXPECT_EQ(D::suite().nn_sample(nullptr, 0, 0, &empty, &out), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(D::suite().subpixel_sample(nullptr, 0, 0, nullptr, &out), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(D::suite().subpixel_sample(nullptr, 0, 0, &this->params, nullptr), PF_Err_BAD_CALLBACK_PARAM);
}

// A neighbour of weight 0 is not read at all: an infinite or NaN pixel next to the position
// does not reach the result (0 x NaN would be NaN).
TEST(SamplingFloat, ZeroWeightNeighbourIsNeverRead) {
    ExactWorld<PF_PixelFloat> w(2, 2, 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    w.at(0, 0) = PF_PixelFloat{1.0f, 0.5f, 0.25f, 2.0f};
    w.at(1, 0) = PF_PixelFloat{nan, nan, nan, nan};
    w.at(0, 1) = PF_PixelFloat{1.0f, 1.0f, 1.0f, 1.0f};
    w.at(1, 1) = PF_PixelFloat{inf, -inf, inf, nan};
    PF_SampPB pb{};
    pb.src = &w.world;
    PF_PixelFloat out{};
    ASSERT_EQ(vhost::samplingFloatSuite().subpixel_sample(nullptr, 0, 0, &pb, &out), PF_Err_NONE);
    EXPECT_TRUE(samePixel(out, w.at(0, 0)));
    ASSERT_EQ(vhost::samplingFloatSuite().subpixel_sample(nullptr, 0, kHalf, &pb, &out), PF_Err_NONE);
    EXPECT_TRUE(samePixel(out, PF_PixelFloat{1.0f, 0.75f, 0.625f, 1.5f}));
}

// The 8- and 16-bit samplers sum in integers; they must give exactly what the documented double
// sum gives (weights (1 - fx)(1 - fy), fx(1 - fy), (1 - fx)fy, fx fy; + 0.5, truncated), for
// channels over the whole range of their type and positions in, between and beyond the pixels.
template <typename P, typename Suite>
void expectDoubleSum(const Suite& suite, unsigned maxChannel) {
    ExactWorld<P> w(5, 3, 2);
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            using C = decltype(P{}.alpha);
            w.at(x, y) =
                P{static_cast<C>(next() % (maxChannel + 1)), static_cast<C>(next() % (maxChannel + 1)),
                  static_cast<C>(next() % (maxChannel + 1)),
                  static_cast<C>(x + y == 0 ? maxChannel : next() % (maxChannel + 1))};
        }
    PF_SampPB pb{};
    pb.src = &w.world;
    for (int i = 0; i < 20000; ++i) {
        const PF_Fixed px = static_cast<PF_Fixed>(next() % (7 * kOne)) - kOne;
        const PF_Fixed py = static_cast<PF_Fixed>(next() % (5 * kOne)) - kOne;
        const double fx = static_cast<double>(px & 0xFFFF) / 65536.0,
                     fy = static_cast<double>(py & 0xFFFF) / 65536.0;
        const int x0 = px >> 16, y0 = py >> 16;
        const double weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        double sum[4] = {0, 0, 0, 0};
        for (int t = 0; t < 4; ++t) {
            const int tx = x0 + t % 2, ty = y0 + t / 2;
            if (weights[t] == 0.0 || tx < 0 || ty < 0 || tx >= 5 || ty >= 3) continue;
            const P& n = w.at(tx, ty);
            sum[0] += n.alpha * weights[t];
            sum[1] += n.red * weights[t];
            sum[2] += n.green * weights[t];
            sum[3] += n.blue * weights[t];
        }
        P got{};
        ASSERT_EQ(suite.subpixel_sample(nullptr, px, py, &pb, &got), PF_Err_NONE);
        const double channels[4] = {static_cast<double>(got.alpha), static_cast<double>(got.red),
                                    static_cast<double>(got.green), static_cast<double>(got.blue)};
        for (int c = 0; c < 4; ++c)
            ASSERT_EQ(channels[c], std::trunc(sum[c] + 0.5)) << px << "," << py << " channel " << c;
    }
}

TEST(SamplingIntegers, EightAndSixteenBitSumsEqualTheDoubleSum) {
    expectDoubleSum<PF_Pixel>(vhost::sampling8Suite(), 255);
    expectDoubleSum<PF_Pixel16>(vhost::sampling16Suite(), 65535);
}

// The samplers the host hands out through its suites are these.
class SamplingSuitesTest : public HostTest {};

TEST_F(SamplingSuitesTest, HostRegistersTheThreeSamplers) {
    EXPECT_EQ(host_->findSuite(kPFSampling8Suite, 1), &vhost::sampling8Suite());
    EXPECT_EQ(host_->findSuite(kPFSampling16Suite, 1), &vhost::sampling16Suite());
    EXPECT_EQ(host_->findSuite(kPFSamplingFloatSuite, 1), &vhost::samplingFloatSuite());
    // Samplers keep no bookkeeping: a frame calls them per pixel.
    ExactWorld<PF_Pixel> w(1, 1, 0);
    PF_SampPB pb{};
    pb.src = &w.world;
    PF_Pixel out{};
    vhost::sampling8Suite().subpixel_sample(nullptr, kHalf, kHalf, &pb, &out);
    EXPECT_EQ(ledger().callCount(), 0u);
}

}  // namespace
