// Renders on the host's real worker threads (run these under the thread sanitizer as well): the
// same frame gives the same bytes on 1, 2, 7 and 64 threads and in any order of the bands, and
// the sampling suite is acquired once per render however many threads ask for it first.
#include "PassFixture.h"
#include "RenderRig.h"

using namespace vtest;

namespace {

struct Setting {
    const char* name;
    Rig::Controls controls;
    AEGP_LayerQuality quality;
};

const std::vector<Setting>& settings() {
    static const std::vector<Setting> s = {
        {"move-both-best",
         {{kMode, Both},
          {kState, Move},
          {kOutside, Mirror},
          {kCompletion, 52.0},
          {kDelay, 35.0},
          {kWidth, 7.0},
          {kDirection, 150.0},
          {kOffset, 40.0},
          {kOrder, Random},
          {kSeed, 3},
          {kEasing, 7}},
         AEGP_LayerQual_BEST},
        {"shrink-tile-best",
         {{kMode, One},
          {kState, Shrink},
          {kOutside, Tile},
          {kCompletion, 64.0},
          {kDelay, 10.0},
          {kWidth, 9.5},
          {kDirection, 260.0},
          {kOffset, 200.0},
          {kOrder, Inverse},
          {kEasing, 5}},
         AEGP_LayerQual_BEST},
        {"move-one-draft",
         {{kMode, One},
          {kState, Move},
          {kOutside, Void},
          {kCompletion, 30.0},
          {kDelay, 80.0},
          {kWidth, 4.0},
          {kDirection, 10.0},
          {kOffset, 0.0},
          {kOrder, Normal},
          {kEasing, 1}},
         AEGP_LayerQual_DRAFT},
    };
    return s;
}

TEST(Threads, TheSameFrameOnAnyNumberOfThreadsGivesTheSameBytes) {
    Rig rig(1);
    for (const Setting& s : settings()) {
        rig.set(s.controls);
        for (Depth depth : {Depth::Bits8, Depth::Bits16, Depth::Float32}) {
            // 29 rows: with 64 threads most bands are empty.
            const Image input = markedImage(45, 29, depth);
            Image reference;
            vhost::RenderOptions options;
            options.quality = s.quality;
            options.threads = 1;
            options.order = vhost::IterationOrder::InOrder;
            ASSERT_EQ(rig.render(input, reference, options), PF_Err_NONE);
            for (int threads : {1, 2, 7, 64}) {
                SCOPED_TRACE(std::string(s.name) + " at " + depthLabel(depth) + " on " +
                             std::to_string(threads) + " threads");
                options.threads = threads;
                options.order = vhost::IterationOrder::Threads;
                rig.ledger().resetLog();
                Image out;
                ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
                EXPECT_EQ(out.bytes, reference.bytes);
                EXPECT_EQ(rig.ledger().acquisitions(samplingSuiteOf(depth), 1), 1);
                EXPECT_EQ(rig.ledger().releases(samplingSuiteOf(depth), 1), 1);
                EXPECT_EQ(rig.ledger().callsOf("AEGP_GetNumThreads"), 1);

                options.order = vhost::IterationOrder::Shuffled;
                ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
                EXPECT_EQ(out.bytes, reference.bytes) << "shuffled bands";
            }
            EXPECT_TRUE(rig.clean());
        }
    }
}

// A frame large enough that the host shares its own passes (input world, output marking, copy,
// comparison, copy out) among its threads: the same bytes on 1, 2 and 7 threads, also when the
// previous frame's output storage is handed back, and at Completion 0 (the module's copy).
TEST(Threads, HostPassesOnThreadsGiveTheSameBytes) {
    Rig rig(1);
    const Image input = markedImage(401, 700, Depth::Bits8);
    for (double completion : {52.0, 0.0}) {
        Rig::Controls controls = settings()[0].controls;
        controls.emplace_back(kCompletion, completion);
        rig.set(controls);
        vhost::RenderOptions options;
        options.threads = 1;
        Image reference;
        ASSERT_EQ(rig.render(input, reference, options), PF_Err_NONE);
        Image out;
        for (int threads : {2, 7, 2}) {
            options.threads = threads;
            ASSERT_EQ(rig.render(input, out, options), PF_Err_NONE);
            EXPECT_EQ(out.bytes, reference.bytes) << completion << " on " << threads << " threads";
        }
        EXPECT_TRUE(rig.clean());
    }
}

// Many threads start their bands at once, each wanting the sampling suite on its first sample.
TEST(Threads, TheSamplingSuiteIsAcquiredOnceHoweverManyThreadsStartTogether) {
    Rig rig(64);
    rig.set(
        {{kMode, One}, {kState, Move}, {kCompletion, 50.0}, {kDelay, 0.0}, {kWidth, 3.0}, {kDirection, 0.0}});
    const Image input = markedImage(30, 256, Depth::Bits16);
    for (int round = 0; round < 200; ++round) {
        rig.ledger().resetLog();
        Image out;
        ASSERT_EQ(rig.render(input, out), PF_Err_NONE);
        ASSERT_EQ(rig.ledger().acquisitions("PF Sampling16 Suite", 1), 1) << "round " << round;
        ASSERT_EQ(rig.ledger().releases("PF Sampling16 Suite", 1), 1);
    }
    EXPECT_TRUE(rig.clean());
}

// The same at the filter itself, on host worlds: one Blind, its bands on 16 threads.
class PassThreadsTest : public vtest::PassTest {
protected:
    PassThreadsTest() : PassTest(16) {}
};

TEST_F(PassThreadsTest, OneFilterServesEveryBandAndAcquiresItsSuiteOnce) {
    using Velmor::Blind;
    vtest::TestWorld input(markedImage(33, 160, Depth::Float32));
    vtest::TestWorld output(33, 160, Depth::Float32, vtest::Fill::Uncleared);
    vtest::TestWorld single(33, 160, Depth::Float32, vtest::Fill::Uncleared);
    Velmor::Layer src(&in_, &out_, input.get(), 2);
    Velmor::Layer dst(&in_, &out_, output.get(), 2);
    Velmor::Layer one(&in_, &out_, single.get(), 2);
    Blind::Parameter p = parameter(33, 160);
    p.setState(Blind::Shrink)
        .setMode(Blind::Both)
        .setBorderType(3)
        .setCompletion(0.6)
        .setWidth(5.0)
        .setDirection(1.1)
        .setOffset(0.3)
        .setDelay(0.5)
        .setOrder(Blind::RandomOrder)
        .setSeed(5);
    for (int round = 0; round < 10; ++round) {
        ledger().resetLog();
        ASSERT_EQ(Velmor::FilterMulti<Blind>(&in_, src, dst, p), PF_Err_NONE);
        ASSERT_EQ(ledger().acquisitions("PF SamplingFloat Suite", 1), 1);
        ASSERT_EQ(ledger().releases("PF SamplingFloat Suite", 1), 1);
    }
    Blind filter(p);
    filter.execute(src, one);
    EXPECT_EQ(output.image().bytes, single.image().bytes);
    EXPECT_TRUE(vhost::worldGuardsIntact(output.get()));
}

}  // namespace
