// The host's passes over whole worlds shared out on its worker pool: the ranges a pool hands out,
// and worlds made, compared and packed on several threads holding the very bytes the calling
// thread alone gives.
#include "ImagesFixture.h"
#include "Image.h"
#include "WorkerPool.h"
#include "Worlds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

using vhost::Depth;
using vhost::WorkerPool;

namespace {

TEST(WorkerPoolRanges, RunsTileTheRangeOnceAndFailuresReachTheCaller) {
    WorkerPool pool(3);
    std::mutex mutex;
    std::vector<std::pair<int, int>> runs;
    pool.runRanges(1000, 10, [&](int begin, int end) {
        std::lock_guard lock(mutex);
        runs.emplace_back(begin, end);
    });
    std::sort(runs.begin(), runs.end());
    ASSERT_GT(runs.size(), 1u);
    int at = 0;
    for (const auto& [begin, end] : runs) {
        EXPECT_EQ(begin, at);
        EXPECT_GE(end - begin, 10);
        at = end;
    }
    EXPECT_EQ(at, 1000);

    // Too little for two runs: one call.
    runs.clear();
    pool.runRanges(19, 10, [&](int begin, int end) { runs.emplace_back(begin, end); });
    EXPECT_EQ(runs, (std::vector<std::pair<int, int>>{{0, 19}}));

    std::atomic<int> covered{0};
    EXPECT_THROW(pool.runRanges(1000, 10,
                                [&](int begin, int end) {
                                    covered += end - begin;
                                    if (begin == 0) throw std::runtime_error("run failed");
                                }),
                 std::runtime_error);
    EXPECT_EQ(covered.load(), 1000);

    // From inside a job of the same pool: inline, whole.
    std::atomic<int> inner{0};
    pool.run(2, [&](int, int) { pool.runRanges(1000, 10, [&](int b, int e) { inner += e - b; }); });
    EXPECT_EQ(inner.load(), 2000);

    // From a thread of the caller's own while its band runs on the pool: whole, not waiting for
    // the pool (which waits for that band).
    std::atomic<int> foreign{0};
    pool.run(2, [&](int, int i) {
        if (i == 0)
            std::thread([&] { pool.runRanges(1000, 10, [&](int b, int e) { foreign += e - b; }); }).join();
    });
    EXPECT_EQ(foreign.load(), 1000);
}

vhost::Image pattern(int w, int h, Depth depth) {
    vhost::Image image(w, h, depth);
    for (std::size_t i = 0; i < image.bytes.size(); ++i)
        image.bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 977);
    return image;
}

// Every byte of a world's block, guards included, from its first guard row to its last.
std::vector<std::uint8_t> blockBytes(const PF_EffectWorld& world, Depth depth) {
    const std::size_t guardLeft = (vhost::kWorldRowSlackPixels / 2) * vhost::bytesPerPixel(depth);
    const auto* first = static_cast<const std::uint8_t*>(world.data) -
                        vhost::kWorldGuardRows * static_cast<std::size_t>(world.rowbytes) - guardLeft;
    const std::size_t size =
        (world.height + 2 * vhost::kWorldGuardRows) * static_cast<std::size_t>(world.rowbytes);
    return std::vector<std::uint8_t>(first, first + size);
}

TEST(WorldRowsThreads, WorldsMadeComparedAndPackedOnThePoolMatchTheCallingThreads) {
    WorkerPool pool(3);
    for (Depth depth : {Depth::Bits8, Depth::Bits16, Depth::Float32}) {
        SCOPED_TRACE(static_cast<int>(depth));
        // Large enough to be shared out; read at an offset that leaves zero rows and columns.
        const vhost::Image image = pattern(301, 700, depth);
        PF_EffectWorld alone{}, shared{}, poisoned{};
        ASSERT_EQ(vhost::createWorldFrom(image, -3, 40, 310, 700, &alone), PF_Err_NONE);
        ASSERT_EQ(vhost::createWorldFrom(image, -3, 40, 310, 700, &shared, &pool), PF_Err_NONE);
        EXPECT_EQ(blockBytes(shared, depth), blockBytes(alone, depth));
        EXPECT_TRUE(vhost::worldMatchesImage(&shared, image, -3, 40, &pool));

        // A changed byte is found wherever it lies: in the image's area, in the zero area.
        const int ps = vhost::pixelBytes(depth);
        for (auto [x, y] : {std::pair{150, 699}, std::pair{0, 350}, std::pair{309, 0}}) {
            std::uint8_t* byte = vhost::worldPixelAddress(&shared, x, y, ps) + ps - 1;
            *byte ^= 0x10;
            EXPECT_FALSE(vhost::worldMatchesImage(&shared, image, -3, 40, &pool)) << x << "," << y;
            *byte ^= 0x10;
        }

        std::vector<std::uint8_t> packed(static_cast<std::size_t>(310) * 700 * ps);
        vhost::worldToPacked(&shared, depth, packed.data(), &pool);
        EXPECT_EQ(packed, vhost::worldToImage(&alone, depth, 0, 0, 310, 700).bytes);

        ASSERT_EQ(vhost::createWorld(310, 700, depth, false, &poisoned, &pool), PF_Err_NONE);
        std::vector<std::uint8_t> expected = blockBytes(alone, depth);
        for (int y = 0; y < 700; ++y)
            std::memset(expected.data() +
                            (y + vhost::kWorldGuardRows) * static_cast<std::size_t>(alone.rowbytes) +
                            (vhost::kWorldRowSlackPixels / 2) * ps,
                        vhost::kWorldUnclearedByte, static_cast<std::size_t>(310) * ps);
        EXPECT_EQ(blockBytes(poisoned, depth), expected);
        for (PF_EffectWorld* w : {&alone, &shared, &poisoned}) EXPECT_TRUE(vhost::destroyWorld(w));
    }
}

TEST(WorldRowsThreads, WorldMadeAgainInGivenBackStorageHoldsTheNewImage) {
    // A world given back leaves its storage for the next one of the same size, which only
    // rewrites the bytes that differ: changes at the start and end of a row and on both sides of
    // a 1 KB boundary must all land, on the calling thread and on the pool.
    WorkerPool pool(2);
    for (WorkerPool* on : {static_cast<WorkerPool*>(nullptr), &pool}) {
        const vhost::Image first = pattern(600, 600, Depth::Bits8);
        PF_EffectWorld world{};
        ASSERT_EQ(vhost::createWorldFrom(first, 0, 0, 600, 600, &world, on), PF_Err_NONE);
        ASSERT_TRUE(vhost::destroyWorld(&world));
        vhost::Image second = first;
        for (std::size_t at : {std::size_t{0}, std::size_t{1023}, std::size_t{1024}, std::size_t{2399},
                               std::size_t{2400 * 300 + 1500}, second.bytes.size() - 1})
            second.bytes[at] ^= 0x5A;
        ASSERT_EQ(vhost::createWorldFrom(second, 0, 0, 600, 600, &world, on), PF_Err_NONE);
        EXPECT_TRUE(vhost::worldMatchesImage(&world, second, 0, 0));
        EXPECT_TRUE(vhost::worldGuardsIntact(&world));
        EXPECT_TRUE(vhost::destroyWorld(&world));
    }
}

TEST(WorldRowsThreads, WorldsMadeInOnePassMatchWorldsMadeOneByOne) {
    // The second world, blank, is taller than the first in one case and shorter in the other:
    // every row of both is as their own functions make them, guards included.
    WorkerPool pool(3);
    const vhost::Image image = pattern(301, 700, Depth::Bits16);
    for (auto [height, blankHeight, clear] : {std::tuple{300, 700, false}, std::tuple{700, 301, true}}) {
        SCOPED_TRACE(height);
        PF_EffectWorld world{}, blank{}, alone{}, blankAlone{};
        ASSERT_EQ(vhost::createWorldsFrom(image, -3, 40, 310, height, &world, 320, blankHeight, clear, &blank,
                                          &pool),
                  PF_Err_NONE);
        ASSERT_EQ(vhost::createWorldFrom(image, -3, 40, 310, height, &alone), PF_Err_NONE);
        ASSERT_EQ(vhost::createWorld(320, blankHeight, Depth::Bits16, clear, &blankAlone), PF_Err_NONE);
        EXPECT_EQ(blockBytes(world, Depth::Bits16), blockBytes(alone, Depth::Bits16));
        EXPECT_EQ(blockBytes(blank, Depth::Bits16), blockBytes(blankAlone, Depth::Bits16));
        for (PF_EffectWorld* w : {&world, &blank, &alone, &blankAlone}) EXPECT_TRUE(vhost::destroyWorld(w));
    }
    // A refused second world leaves neither behind.
    const int live = vhost::liveWorldCount();
    PF_EffectWorld world{}, blank{};
    EXPECT_EQ(vhost::createWorldsFrom(image, 0, 0, 10, 10, &world, -1, 10, false, &blank, &pool),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(vhost::liveWorldCount(), live);
}

class HostCopyThreadsTest : public vtest::HostTest {
protected:
    HostCopyThreadsTest() : HostTest(3) {}
};

TEST_F(HostCopyThreadsTest, LargeCopyOnThePoolLandsEveryRowInStep) {
    vtest::TestWorld src(300, 900, Depth::Bits8), dst(300, 900, Depth::Bits8);
    for (int y = 0; y < 900; ++y)
        for (int x = 0; x < 300; ++x)
            vtest::pixelOf<PF_Pixel>(src.get(), x, y) = PF_Pixel{
                static_cast<A_u_char>(y), static_cast<A_u_char>(y >> 8), static_cast<A_u_char>(x), 1};
    // Source (x, y) lands on (x + 5, y - 7); the rest of the destination stays zero.
    PF_Rect from{0, 0, 300, 900}, to{5, -7, 305, 893};
    ASSERT_EQ(host_->utilCallbacks()->copy(in_.effect_ref, src.get(), dst.get(), &from, &to), 0);
    for (int y = 0; y < 900; ++y)
        for (int x = 0; x < 300; ++x) {
            const PF_Pixel want =
                x >= 5 && y < 893 ? vtest::pixelOf<PF_Pixel>(src.get(), x - 5, y + 7) : PF_Pixel{};
            const PF_Pixel got = vtest::pixelOf<PF_Pixel>(dst.get(), x, y);
            ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << x << "," << y;
        }
    EXPECT_TRUE(vhost::worldGuardsIntact(dst.get()));
}

}  // namespace
