// The stand-in host's world services as a module meets them: "PF World Suite" 1 and 2, the copy
// and fill callbacks, "PF Fill Matte Suite" 2, and the iteration suites on the calling thread.
#include "ImagesFixture.h"

#include "AE_EffectSuites.h"
#include "Checksum.h"
#include "Worlds.h"

#include <algorithm>
#include <numeric>
#include <vector>

using namespace vtest;
using vhost::Depth;

namespace {

class HostWorldsTest : public HostTest {
protected:
    template <typename Suite>
    const Suite* suite(const char* name, int version) {
        return static_cast<const Suite*>(host_->findSuite(name, version));
    }
    const PF_WorldSuite1* world1() { return suite<PF_WorldSuite1>(kPFWorldSuite, 1); }
    const PF_WorldSuite2* world2() { return suite<PF_WorldSuite2>(kPFWorldSuite, 2); }
    const PF_FillMatteSuite2* matte() { return suite<PF_FillMatteSuite2>(kPFFillMatteSuite, 2); }
    PF_UtilCallbacks* utils() { return host_->utilCallbacks(); }
};

// ---- worlds ----------------------------------------------------------------------------------

TEST_F(HostWorldsTest, WorldsOfEachDepthHavePaddedRowsAndTheirPixelFormat) {
    struct Case {
        const char* how;
        PF_PixelFormat format;
        int pixelSize;
    };
    PF_EffectWorld w8{}, w16{}, wf{};
    ASSERT_EQ(world1()->new_world(in_.effect_ref, 9, 4, PF_NewWorldFlag_CLEAR_PIXELS, &w8), 0);
    ASSERT_EQ(world1()->new_world(in_.effect_ref, 9, 4,
                                  PF_NewWorldFlag_CLEAR_PIXELS | PF_NewWorldFlag_DEEP_PIXELS, &w16),
              0);
    ASSERT_EQ(world2()->PF_NewWorld(in_.effect_ref, 9, 4, 1, PF_PixelFormat_ARGB128, &wf), 0);
    EXPECT_EQ(ledger().openCount("world"), 3);
    const std::pair<PF_EffectWorld*, Case> cases[] = {
        {&w8, {"8-bit", PF_PixelFormat_ARGB32, 4}},
        {&w16, {"16-bit", PF_PixelFormat_ARGB64, 8}},
        {&wf, {"float", PF_PixelFormat_ARGB128, 16}},
    };
    for (const auto& [w, c] : cases) {
        SCOPED_TRACE(c.how);
        EXPECT_EQ(w->width, 9);
        EXPECT_EQ(w->height, 4);
        EXPECT_EQ(w->origin_x, 0);
        EXPECT_EQ(w->origin_y, 0);
        EXPECT_GT(w->rowbytes, 9 * c.pixelSize);
        EXPECT_EQ(w->rowbytes % c.pixelSize, 0);
        PF_PixelFormat format = 0;
        EXPECT_EQ(world2()->PF_GetPixelFormat(w, &format), 0);
        EXPECT_EQ(format, c.format);
        const auto* bytes = static_cast<const unsigned char*>(w->data);
        for (int y = 0; y < 4; ++y)
            EXPECT_TRUE(std::all_of(bytes + y * w->rowbytes, bytes + y * w->rowbytes + 9 * c.pixelSize,
                                    [](unsigned char b) { return b == 0; }));
    }
    EXPECT_EQ(world1()->dispose_world(in_.effect_ref, &w8), 0);
    EXPECT_EQ(w8.data, nullptr);
    EXPECT_EQ(world1()->dispose_world(in_.effect_ref, &w16), 0);
    EXPECT_EQ(world2()->PF_DisposeWorld(in_.effect_ref, &wf), 0);
    EXPECT_EQ(ledger().openCount("world"), 0);
}

TEST_F(HostWorldsTest, WorldWithoutClearFlagIsNotZero) {
    PF_EffectWorld w{};
    ASSERT_EQ(world1()->new_world(in_.effect_ref, 3, 3, 0, &w), 0);
    EXPECT_NE(pixelOf<PF_Pixel>(&w, 1, 1).alpha, 0);
    world1()->dispose_world(in_.effect_ref, &w);
}

TEST_F(HostWorldsTest, PackedCopyIsExactAtEveryWidthAndDestinationAlignment) {
    // Rows shorter and longer than the bulk step of the copy, to destinations at every offset
    // within 16 bytes: every byte lands, and none before or after the rows.
    for (Depth depth : {Depth::Bits8, Depth::Float32})
        for (int width : {1, 3, 4, 5, 17, 33, 100}) {
            vhost::Image image(width, 3, depth);
            std::iota(image.bytes.begin(), image.bytes.end(), std::uint8_t{1});
            PF_EffectWorld w{};
            ASSERT_EQ(vhost::createWorldFrom(image, 0, 0, width, 3, &w), 0);
            for (std::size_t offset = 0; offset < 16; ++offset) {
                std::vector<std::uint8_t> to(image.bytes.size() + 32, 0xEE);
                vhost::worldToPacked(&w, depth, to.data() + offset);
                EXPECT_TRUE(std::equal(image.bytes.begin(), image.bytes.end(), to.begin() + offset))
                    << width << " " << offset;
                const auto end = to.begin() + static_cast<std::ptrdiff_t>(offset + image.bytes.size());
                EXPECT_TRUE(std::all_of(to.begin(), to.begin() + static_cast<std::ptrdiff_t>(offset),
                                        [](std::uint8_t b) { return b == 0xEE; }) &&
                            std::all_of(end, to.end(), [](std::uint8_t b) { return b == 0xEE; }))
                    << width << " " << offset;
            }
            vhost::destroyWorld(&w);
        }
}

TEST_F(HostWorldsTest, GuardCheckFindsAnyOneChangedGuardByte) {
    // Odd sizes, so that guard runs start and end off any word boundary.
    TestWorld world(5, 3, Depth::Bits16);
    auto* data = static_cast<unsigned char*>(world.get()->data);
    const std::ptrdiff_t rowbytes = world.get()->rowbytes, pixels = 5 * 8;
    const std::ptrdiff_t first = -vhost::kWorldGuardRows * rowbytes - (vhost::kWorldRowSlackPixels / 2) * 8;
    const std::ptrdiff_t last = first + (3 + 2 * vhost::kWorldGuardRows) * rowbytes - 1;
    EXPECT_TRUE(vhost::worldGuardsIntact(world.get()));
    for (std::ptrdiff_t at : {first, first + 13, std::ptrdiff_t{-1}, pixels, pixels + 7, rowbytes - 1,
                              rowbytes + pixels + 3, 2 * rowbytes + pixels, last - 9, last}) {
        data[at] ^= 0x01;
        EXPECT_FALSE(vhost::worldGuardsIntact(world.get())) << at;
        data[at] ^= 0x01;
    }
    EXPECT_TRUE(vhost::worldGuardsIntact(world.get()));
}

TEST_F(HostWorldsTest, PackedWorldsLieInTheCallersStorageWithAGuardAfterTheirRows) {
    // Rows packed at the start of the storage, then the guard: cut off, the storage is the image.
    std::vector<std::uint8_t> storage(5 * 3 * 8, 0x11);  // a previous frame's pixels, kept
    PF_EffectWorld world{};
    ASSERT_EQ(vhost::createPackedWorld(storage, 5, 3, Depth::Bits16, &world), PF_Err_NONE);
    EXPECT_EQ(world.data, storage.data());
    EXPECT_EQ(world.rowbytes, 5 * 8);
    EXPECT_EQ(storage[5 * 3 * 8 - 1], 0x11) << "pixels are not filled";
    EXPECT_EQ(vhost::worldDepth(&world), Depth::Bits16);
    EXPECT_TRUE(vhost::worldGuardsIntact(&world));
    const std::size_t end = 5 * 3 * 8, guard = storage.size() - end;
    EXPECT_EQ(guard, static_cast<std::size_t>(vhost::kWorldGuardRows) * 5 * 8);
    for (std::size_t at : {end, end + 7, end + guard - 1}) {
        storage[at] ^= 0x01;
        EXPECT_FALSE(vhost::worldGuardsIntact(&world)) << at;
        storage[at] ^= 0x01;
    }
    ASSERT_TRUE(vhost::destroyWorld(&world));
    EXPECT_EQ(storage.size(), end + guard) << "the storage stays the caller's";
    std::vector<std::uint8_t> none;
    EXPECT_EQ(vhost::createPackedWorld(none, -1, 3, Depth::Bits8, &world), PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(HostWorldsTest, ChecksumIsFnv1aOfThePixelsAlone) {
    // Published FNV-1a 64 values; a checksum in pieces equals the checksum of the whole.
    EXPECT_EQ(vhost::fnv1a64("", 0), 0xcbf29ce484222325ull);
    EXPECT_EQ(vhost::fnv1a64("a", 1), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(vhost::fnv1a64("foobar", 6), 0x85944171f73967e8ull);
    EXPECT_EQ(vhost::fnv1a64("bar", 3, vhost::fnv1a64("foo", 3)), 0x85944171f73967e8ull);

    // A world's checksum covers its pixels row by row and none of its padding.
    TestWorld world(3, 2, Depth::Bits16);
    markWorld<PF_Pixel16>(world.get());
    std::vector<PF_Pixel16> packed;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) packed.push_back(pixelOf<PF_Pixel16>(world.get(), x, y));
    const std::uint64_t sum = vhost::worldChecksum(world.get(), Depth::Bits16);
    EXPECT_EQ(sum, vhost::fnv1a64(packed.data(), packed.size() * sizeof(PF_Pixel16)));
    static_cast<unsigned char*>(world.get()->data)[3 * sizeof(PF_Pixel16)] ^= 0xFF;  // padding
    EXPECT_EQ(vhost::worldChecksum(world.get(), Depth::Bits16), sum);
    static_cast<unsigned char*>(world.get()->data)[3 * sizeof(PF_Pixel16)] ^= 0xFF;
}

TEST_F(HostWorldsTest, OversizedNegativeAndUnknownFormatWorldsAreRefused) {
    PF_EffectWorld w{};
    w.width = 77;  // a refused world leaves the record alone
    EXPECT_EQ(world1()->new_world(in_.effect_ref, vhost::kMaxWorldSide + 1, 1, 1, &w),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(world1()->new_world(in_.effect_ref, 1, vhost::kMaxWorldSide + 1, 1, &w),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(world2()->PF_NewWorld(in_.effect_ref, -1, 4, 1, PF_PixelFormat_ARGB32, &w),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(world2()->PF_NewWorld(in_.effect_ref, 4, 4, 1, PF_PixelFormat_BGRA32, &w),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(w.width, 77);
    EXPECT_EQ(w.data, nullptr);
    // The largest side allowed is allowed.
    ASSERT_EQ(world1()->new_world(in_.effect_ref, vhost::kMaxWorldSide, 1, 1, &w), 0);
    world1()->dispose_world(in_.effect_ref, &w);
}

TEST_F(HostWorldsTest, InjectedWorldFailuresLeaveNothingOpen) {
    PF_EffectWorld w{};
    ledger().failOp("new_world", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(world1()->new_world(in_.effect_ref, 4, 4, 1, &w), PF_Err_OUT_OF_MEMORY);
    ledger().failOp("PF_NewWorld", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(world2()->PF_NewWorld(in_.effect_ref, 4, 4, 1, PF_PixelFormat_ARGB64, &w),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(w.data, nullptr);
    EXPECT_EQ(ledger().openCount("world"), 0);
    ASSERT_EQ(world2()->PF_NewWorld(in_.effect_ref, 4, 4, 1, PF_PixelFormat_ARGB64, &w), 0);
    ledger().failOp("PF_GetPixelFormat", 1, PF_Err_OUT_OF_MEMORY);
    PF_PixelFormat format = PF_PixelFormat_INVALID;
    EXPECT_EQ(world2()->PF_GetPixelFormat(&w, &format), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(format, PF_PixelFormat_INVALID);
    world2()->PF_DisposeWorld(in_.effect_ref, &w);
}

TEST_F(HostWorldsTest, ForeignAndDisposedWorldsAreRefused) {
    expectedFaults_ = {"dispose of something that is not a live world"};
    PF_EffectWorld w{};
    ASSERT_EQ(world1()->new_world(in_.effect_ref, 2, 2, 1, &w), 0);
    PF_EffectWorld copy = w;
    world1()->dispose_world(in_.effect_ref, &w);
    PF_PixelFormat format = 0;
    EXPECT_EQ(world2()->PF_GetPixelFormat(&copy, &format), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(world1()->dispose_world(in_.effect_ref, &copy), PF_Err_BAD_CALLBACK_PARAM);
}

// ---- fill ------------------------------------------------------------------------------------

TEST_F(HostWorldsTest, UtilityFillConvertsTheEightBitColourToTheWorldsDepth) {
    TestWorld w8(2, 2, Depth::Bits8), w16(2, 2, Depth::Bits16), wf(2, 2, Depth::Float32);
    const PF_Pixel colour{255, 128, 1, 0};
    for (TestWorld* w : {&w8, &w16, &wf})
        ASSERT_EQ(utils()->fill(in_.effect_ref, &colour, nullptr, w->get()), 0);
    EXPECT_TRUE(samePixel(pixelOf<PF_Pixel>(w8.get(), 1, 1), colour));
    // v x 32768 / 255 rounded: 128 gives 16448.25, 1 gives 128.5.
    EXPECT_TRUE(samePixel(pixelOf<PF_Pixel16>(w16.get(), 1, 1), PF_Pixel16{32768, 16448, 129, 0}));
    EXPECT_TRUE(samePixel(pixelOf<PF_PixelFloat>(wf.get(), 0, 1),
                          PF_PixelFloat{1.0f, 128.0f / 255.0f, 1.0f / 255.0f, 0.0f}));
    for (TestWorld* w : {&w8, &w16, &wf}) EXPECT_TRUE(vhost::worldGuardsIntact(w->get()));
}

TEST_F(HostWorldsTest, FillIsClippedToTheWorld) {
    TestWorld w(4, 3, Depth::Bits8);
    const PF_Pixel colour{255, 1, 2, 3};
    const PF_Rect rect{2, -5, 40, 2};
    ASSERT_EQ(utils()->fill(in_.effect_ref, &colour, &rect, w.get()), 0);
    const PF_Rect inverted{3, 3, 1, 1};
    ASSERT_EQ(utils()->fill(in_.effect_ref, &colour, &inverted, w.get()), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pixelOf<PF_Pixel>(w.get(), x, y).alpha, (x >= 2 && y < 2) ? 255 : 0) << x << "," << y;
    EXPECT_TRUE(vhost::worldGuardsIntact(w.get()));
}

TEST_F(HostWorldsTest, FillMatteTakesEachDepthsOwnColourOnItsOwnDepth) {
    TestWorld w8(2, 1, Depth::Bits8), w16(2, 1, Depth::Bits16), wf(2, 1, Depth::Float32);
    const PF_Pixel16 c16{32768, 1, 2, 65535};
    const PF_PixelFloat cf{1.5f, -0.25f, 0.5f, 2.0f};
    EXPECT_EQ(matte()->fill16(in_.effect_ref, &c16, nullptr, w16.get()), 0);
    EXPECT_EQ(matte()->fill_float(in_.effect_ref, &cf, nullptr, wf.get()), 0);
    EXPECT_TRUE(samePixel(pixelOf<PF_Pixel16>(w16.get(), 1, 0), c16));
    EXPECT_TRUE(samePixel(pixelOf<PF_PixelFloat>(wf.get(), 1, 0), cf));
    EXPECT_EQ(matte()->fill16(in_.effect_ref, &c16, nullptr, w8.get()), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(matte()->fill_float(in_.effect_ref, &cf, nullptr, w16.get()), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(matte()->fill16(in_.effect_ref, &c16, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(pixelOf<PF_Pixel>(w8.get(), 0, 0).alpha, 0);
    const PF_Pixel c8{255, 0, 0, 255};
    EXPECT_EQ(matte()->fill(in_.effect_ref, &c8, nullptr, wf.get()), 0);
    EXPECT_TRUE(samePixel(pixelOf<PF_PixelFloat>(wf.get(), 0, 0), PF_PixelFloat{1.0f, 0.0f, 0.0f, 1.0f}));
}

TEST_F(HostWorldsTest, InjectedFillFailuresWriteNothing) {
    TestWorld w(2, 2, Depth::Bits8);
    const PF_Pixel colour{255, 255, 255, 255};
    ledger().failOp("fill", 1, PF_Interrupt_CANCEL);
    EXPECT_EQ(utils()->fill(in_.effect_ref, &colour, nullptr, w.get()), PF_Interrupt_CANCEL);
    ledger().failOp("FillMatte.fill", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(matte()->fill(in_.effect_ref, &colour, nullptr, w.get()), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(pixelOf<PF_Pixel>(w.get(), 0, 0).alpha, 0);
}

// ---- copy ------------------------------------------------------------------------------------

TEST_F(HostWorldsTest, CopyWithNullRectanglesCopiesWholeWorldsOfOneSize) {
    TestWorld src(3, 2, Depth::Float32), dst(3, 2, Depth::Float32), other(2, 3, Depth::Float32);
    markWorld<PF_PixelFloat>(src.get());
    ASSERT_EQ(utils()->copy(in_.effect_ref, src.get(), dst.get(), nullptr, nullptr), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(
                samePixel(pixelOf<PF_PixelFloat>(dst.get(), x, y), DepthOf<PF_PixelFloat>::mark(x, y)));
    EXPECT_EQ(utils()->copy(in_.effect_ref, src.get(), other.get(), nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(samePixel(pixelOf<PF_PixelFloat>(other.get(), 0, 0), PF_PixelFloat{}));
}

TEST_F(HostWorldsTest, CopiedAreaIsClippedToBothWorldsInStep) {
    TestWorld src(5, 5, Depth::Bits16), dst(5, 5, Depth::Bits16);
    markWorld<PF_Pixel16>(src.get());
    PF_Rect from{-1, -1, 2, 2}, to{3, 3, 6, 6};
    ASSERT_EQ(utils()->copy(in_.effect_ref, src.get(), dst.get(), &from, &to), 0);
    // Source (x, y) lands on (x + 4, y + 4): only source (0, 0) has a place in both worlds.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_TRUE(samePixel(pixelOf<PF_Pixel16>(dst.get(), x, y),
                                  x == 4 && y == 4 ? DepthOf<PF_Pixel16>::mark(0, 0) : PF_Pixel16{}))
                << x << "," << y;
    EXPECT_TRUE(vhost::worldGuardsIntact(dst.get()));
}

TEST_F(HostWorldsTest, CopyWithinOneWorldReadsBeforeItWrites) {
    TestWorld w(4, 4, Depth::Bits8);
    markWorld<PF_Pixel>(w.get());
    PF_Rect from{0, 0, 3, 3}, to{1, 1, 4, 4};
    ASSERT_EQ(utils()->copy(in_.effect_ref, w.get(), w.get(), &from, &to), 0);
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 4; ++x)
            EXPECT_TRUE(samePixel(pixelOf<PF_Pixel>(w.get(), x, y), DepthOf<PF_Pixel>::mark(x - 1, y - 1)));
}

TEST_F(HostWorldsTest, CopyRefusesMixedDepthsForeignWorldsAndUnequalRectangles) {
    TestWorld a(3, 3, Depth::Bits8), b(3, 3, Depth::Bits16);
    EXPECT_EQ(utils()->copy(in_.effect_ref, a.get(), b.get(), nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    std::vector<PF_Pixel> bytes(9);
    PF_EffectWorld foreign{};
    foreign.data = bytes.data();
    foreign.rowbytes = 12;
    foreign.width = foreign.height = 3;
    EXPECT_EQ(utils()->copy(in_.effect_ref, &foreign, a.get(), nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    PF_Rect from{0, 0, 2, 2}, to{0, 0, 2, 3}, inverted{2, 2, 0, 0};
    EXPECT_EQ(utils()->copy(in_.effect_ref, a.get(), a.get(), &from, &to), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(utils()->copy(in_.effect_ref, a.get(), a.get(), &inverted, &inverted),
              PF_Err_BAD_CALLBACK_PARAM);
    ledger().failOp("copy", 1, PF_Err_OUT_OF_MEMORY);
    TestWorld c(3, 3, Depth::Bits8);
    markWorld<PF_Pixel>(a.get());
    EXPECT_EQ(utils()->copy(in_.effect_ref, a.get(), c.get(), nullptr, nullptr), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(samePixel(pixelOf<PF_Pixel>(c.get(), 2, 2), PF_Pixel{}));
}

// ---- iteration on the calling thread ----------------------------------------------------------

struct Visits {
    std::vector<int> indices;
    std::vector<int> threads;
    int failAt = -1;
    PF_Err failWith = 0;
};

PF_Err recordVisit(void* refcon, A_long thread, A_long i, A_long) {
    auto* visits = static_cast<Visits*>(refcon);
    visits->indices.push_back(i);
    visits->threads.push_back(thread);
    return i == visits->failAt ? visits->failWith : PF_Err_NONE;
}

class IterationTest : public HostWorldsTest {
protected:
    const PF_Iterate8Suite1* iterate() { return suite<PF_Iterate8Suite1>(kPFIterate8Suite, 1); }
    const AEGP_IterateSuite1* threads() { return suite<AEGP_IterateSuite1>(kAEGPIterateSuite, 1); }
};

TEST_F(IterationTest, NumThreadsReportsThePoolSizeOrTheInjectedError) {
    A_long count = -7;
    EXPECT_EQ(threads()->AEGP_GetNumThreads(&count), 0);
    EXPECT_EQ(count, 2);
    host_->setThreadCount(5);
    EXPECT_EQ(threads()->AEGP_GetNumThreads(&count), 0);
    EXPECT_EQ(count, 5);
    ledger().failOp("AEGP_GetNumThreads", 1, PF_Err_OUT_OF_MEMORY);
    count = -7;
    EXPECT_EQ(threads()->AEGP_GetNumThreads(&count), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(count, -7);
}

TEST_F(IterationTest, OrdersOnTheCallingThreadVisitEveryIndexOnce) {
    host_->setThreadCount(3);
    std::vector<int> all(9);
    std::iota(all.begin(), all.end(), 0);

    host_->setIterationOrder(vhost::IterationOrder::InOrder);
    Visits inOrder;
    ASSERT_EQ(iterate()->iterate_generic(9, &inOrder, &recordVisit), 0);
    EXPECT_EQ(inOrder.indices, all);

    host_->setIterationOrder(vhost::IterationOrder::Reversed);
    Visits reversed;
    ASSERT_EQ(iterate()->iterate_generic(9, &reversed, &recordVisit), 0);
    EXPECT_EQ(reversed.indices, std::vector<int>(all.rbegin(), all.rend()));

    host_->setIterationOrder(vhost::IterationOrder::Shuffled);
    Visits shuffled;
    ASSERT_EQ(iterate()->iterate_generic(9, &shuffled, &recordVisit), 0);
    EXPECT_NE(shuffled.indices, all);
    std::vector<int> sorted = shuffled.indices;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, all);
    for (int t : shuffled.threads) {
        EXPECT_GE(t, 0);
        EXPECT_LT(t, 3);
    }
}

TEST_F(IterationTest, ResultIsTheFirstFailingIndexAndInjectionRunsNothing) {
    host_->setIterationOrder(vhost::IterationOrder::Reversed);
    Visits visits;
    visits.failAt = 2;
    visits.failWith = PF_Err_OUT_OF_MEMORY;
    EXPECT_EQ(iterate()->iterate_generic(5, &visits, &recordVisit), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(visits.indices.size(), 5u);  // a failing call does not stop the others

    Visits none;
    ledger().failOp("iterate_generic", 1, PF_Interrupt_CANCEL);
    EXPECT_EQ(iterate()->iterate_generic(5, &none, &recordVisit), PF_Interrupt_CANCEL);
    EXPECT_EQ(iterate()->iterate_generic(0, &none, &recordVisit), 0);
    EXPECT_EQ(iterate()->iterate_generic(-1, &none, &recordVisit), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(iterate()->iterate_generic(3, &none, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(none.indices.empty());
}

}  // namespace
