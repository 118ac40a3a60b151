// The seeded generator: its sequences and the exact mapping of raw values to ranges.
#include "VelmorRandom.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>

using namespace Velmor;

namespace {

// The seed whose next raw value comes from the state `next`: inverts one step of the
// recurrence, so that a test can drive the mappings with a chosen raw value.
int seedGiving(std::uint32_t next) {
    const std::uint32_t a = 1103515245u;
    std::uint32_t inv = a;  // Newton iteration for the inverse of an odd number mod 2^32
    for (int i = 0; i < 5; ++i) inv *= 2u - a * inv;
    return static_cast<int>((next - 12345u) * inv);
}

Random withRaw(std::uint32_t state) { return Random(seedGiving(state)); }

}  // namespace

TEST(Random, KnownSequences) {
    Random zero(0);
    EXPECT_EQ(zero.rand(), 12345);
    EXPECT_EQ(zero.rand(), 1406932606);
    EXPECT_EQ(zero.rand(), 654583775);

    Random def;
    EXPECT_EQ(def.rand(), 1645833306);
    EXPECT_EQ(def.rand(), 728940171);
    EXPECT_EQ(def.rand(), 543927144);

    EXPECT_EQ(Random().randD(), 0.7664008559659123);
    EXPECT_EQ(Random().rand(9), 7);
    EXPECT_EQ(Random(1029).rand(), 1645833306);
}

TEST(Random, SeedingRestartsTheSequence) {
    for (int seed : {0, 1, 77, -1, -123456789, 2147483647}) {
        Random a(seed);
        Random b(999);
        b.rand();
        b.randD();
        b.srand(seed);
        Random c = a;  // copies continue independently from the same state
        for (int i = 0; i < 20; ++i) {
            const int v = a.rand();
            EXPECT_EQ(b.rand(), v) << seed;
            EXPECT_EQ(c.rand(), v) << seed;
            EXPECT_GE(v, 0);
        }
    }
}

TEST(Random, NegativeSeedsAreTakenAsTheirUnsignedBits) {
    // The state of seed -1 is 0xFFFFFFFF; the step wraps modulo 2^32.
    Random r(-1);
    const std::uint64_t next = (0xFFFFFFFFull * 1103515245ull + 12345ull) & 0xFFFFFFFFull;
    EXPECT_EQ(r.rand(), static_cast<int>(next & 0x7FFFFFFFu));
}

TEST(Random, TopBitOfTheStateIsDropped) {
    Random r = withRaw(0xFFFFFFFFu);
    EXPECT_EQ(r.rand(), Random::RANDOM_MAX);
    Random s = withRaw(0x80000005u);
    EXPECT_EQ(s.rand(), 5);
    EXPECT_EQ(Random::RANDOM_MAX, 2147483647);
}

TEST(Random, RandDNeverReachesOne) {
    EXPECT_EQ(withRaw(0x7FFFFFFFu).randD(), 1 - 0x1p-31);
    EXPECT_EQ(withRaw(0x7FFFFFFFu).randD(10.0), 10 - 10 * 0x1p-31);
    EXPECT_EQ(withRaw(0x7FFFFFFFu).randD(2.0, 5.0), 5 - 3 * 0x1p-31);
    EXPECT_EQ(withRaw(0u).randD(2.0, 5.0), 2.0);
    EXPECT_EQ(withRaw(1u).randD(), 0x1p-31);
    Random r(4242);
    for (int i = 0; i < 10000; ++i) {
        const double d = r.randD();
        ASSERT_GE(d, 0.0);
        ASSERT_LT(d, 1.0);
    }
}

TEST(Random, RandFReachesOneFromTheTopSixtyFourRawValues) {
    // Raw values from 2^31 - 64 up round to 2^31 in single precision.
    EXPECT_EQ(withRaw(0x7FFFFFFFu).randF(), 1.0f);
    EXPECT_EQ(withRaw(2147483584u).randF(), 1.0f);
    EXPECT_EQ(withRaw(2147483583u).randF(), 0x1.fffffep-1f);
    EXPECT_EQ(withRaw(0x7FFFFFFFu).randF(10.0f), 10.0f);
    // Single precision throughout: the double form stays below the bound, this one reaches it.
    EXPECT_EQ(withRaw(0x7FFFFFFFu).randF(2.0f, 5.0f), 5.0f);
    EXPECT_EQ(withRaw(0u).randF(2.0f, 5.0f), 2.0f);
}

TEST(Random, IntFormsTruncateTowardZero) {
    // lo = -3, hi = 3: -3 + x with x in [0, 7); -3 only for a raw value of 0.
    EXPECT_EQ(withRaw(0u).rand(-3, 3), -3);
    EXPECT_EQ(withRaw(1u).rand(-3, 3), -2);
    EXPECT_EQ(withRaw(0x7FFFFFFFu).rand(-3, 3), 3);
    EXPECT_EQ(withRaw(0x7FFFFFFFu).rand(9), 9);
    EXPECT_EQ(withRaw(0u).rand(9), 0);

    std::map<int, int> counts;
    Random r(2024);
    const int draws = 70000;
    for (int i = 0; i < draws; ++i) ++counts[r.rand(-3, 3)];
    EXPECT_EQ(counts.count(-3), 0u);
    EXPECT_EQ(counts.size(), 6u);
    for (int v : {-2, -1, 1, 2, 3}) {
        EXPECT_GT(counts[v], draws / 7 * 9 / 10) << v;
        EXPECT_LT(counts[v], draws / 7 * 11 / 10) << v;
    }
    EXPECT_GT(counts[0], 2 * draws / 7 * 9 / 10);
    EXPECT_LT(counts[0], 2 * draws / 7 * 11 / 10);
}

TEST(Random, RangesStayInsideTheirBounds) {
    Random r(31337);
    bool seen[10] = {};
    for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(r.rand(0), 0);
        EXPECT_EQ(r.rand(4, 4), 4);
        const int v = r.rand(9);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 9);
        seen[v] = true;
        const int w = r.rand(5, 8);
        ASSERT_GE(w, 5);
        ASSERT_LE(w, 8);
    }
    for (bool s : seen) EXPECT_TRUE(s);
}

TEST(Random, EveryDrawAdvancesExactlyOneStep) {
    Random ref(555);
    ref.rand();
    const int second = ref.rand();
    Random a(555), b(555), c(555), d(555), e(555), f(555), g(555), h(555);
    a.rand(3);
    b.rand(-10, 10);
    c.randF();
    d.randF(7.0f);
    e.randF(-1.0f, 1.0f);
    f.randD();
    g.randD(3.0);
    h.randD(-2.0, 2.0);
    for (Random* x : {&a, &b, &c, &d, &e, &f, &g, &h}) EXPECT_EQ(x->rand(), second);
}
