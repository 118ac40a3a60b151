// Layer on the stand-in host: addressing of padded rows, the three ways of making a layer and
// what each gives back, fill, copy and clone with their error rules, and fault injection.
#include "ImagesFixture.h"

#include "VelmorLayer.h"

#include <vector>

using namespace vtest;
using Velmor::ColorFloat;
using Velmor::Layer;
using Velmor::Rect;

namespace {

template <typename P>
class LayerDepthTest : public HostTest {};
TYPED_TEST_SUITE(LayerDepthTest, PixelTypes);

class LayerTest : public HostTest {};

// Every pixel of a padded world reads back through its own row: addressing by width would mix
// rows, since the rows here are longer than the width.
TYPED_TEST(LayerDepthTest, WrappedPaddedWorldAddressesRowsByRowWidth) {
    using P = TypeParam;
    TestWorld w(5, 4, DepthOf<P>::depth);
    ASSERT_GT(w.world.rowbytes, 5 * static_cast<A_long>(sizeof(P)));
    markWorld<P>(w.get());

    Layer layer(&this->in_, &this->out_, w.get(), DepthOf<P>::bpc);
    EXPECT_EQ(layer.getError(), 0);
    EXPECT_EQ(layer.getWorld(), w.get());
    EXPECT_EQ(layer.getBPC(), DepthOf<P>::bpc);
    EXPECT_EQ(layer.getWidth(), 5);
    EXPECT_EQ(layer.getHeight(), 4);
    EXPECT_TRUE(layer.getSize() == Rect(0, 0, 5, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const ColorFloat<float> want(DepthOf<P>::mark(x, y));
            const ColorFloat<float> got = layer.getPixel(x, y);
            EXPECT_EQ(got.alpha, want.alpha);
            EXPECT_EQ(got.red, want.red) << x << "," << y;
            EXPECT_EQ(got.green, want.green) << x << "," << y;
            EXPECT_EQ(got.blue, want.blue) << x << "," << y;
        }
    }
    // Wrapping makes no host call and gives nothing back.
    EXPECT_EQ(this->ledger().callCount(), 0u);
}

TYPED_TEST(LayerDepthTest, RawPixelAddressIsRowTimesRowWidthPlusColumn) {
    using P = TypeParam;
    TestWorld w(3, 3, DepthOf<P>::depth);
    Layer::Impl impl(&this->in_, &this->out_, w.get(), DepthOf<P>::bpc);
    const int rowWidth = w.world.rowbytes / static_cast<int>(sizeof(P));
    EXPECT_EQ(impl.row_width, rowWidth);
    auto* base = static_cast<P*>(w.world.data);
    const P* got = nullptr;
    if constexpr (DepthOf<P>::bpc == 0)
        got = impl._pixel8(2, 1);
    else if constexpr (DepthOf<P>::bpc == 1)
        got = impl._pixel16(2, 1);
    else
        got = impl._pixel32(2, 1);
    EXPECT_EQ(got, base + rowWidth + 2);
    EXPECT_EQ(got, &pixelOf<P>(w.get(), 2, 1));
}

TEST_F(LayerTest, OneRowbytesGivesARowWidthPerDepth) {
    std::vector<unsigned char> bytes(6400);
    PF_LayerDef world{};
    world.data = bytes.data();
    world.rowbytes = 6400;
    world.width = 10;
    world.height = 1;
    EXPECT_EQ(Layer::Impl(&in_, &out_, &world, 2).row_width, 400);
    EXPECT_EQ(Layer::Impl(&in_, &out_, &world, 1).row_width, 800);
    EXPECT_EQ(Layer::Impl(&in_, &out_, &world, 0).row_width, 1600);
}

TEST_F(LayerTest, EqualToComparesPixelsEqualInSizeComparesDimensions) {
    TestWorld a(4, 3, vhost::Depth::Bits8), b(4, 3, vhost::Depth::Bits8), c(3, 4, vhost::Depth::Bits8);
    Layer one(&in_, &out_, a.get(), 0), sameWorld(&in_, &out_, a.get(), 0);
    Layer other(&in_, &out_, b.get(), 0), turned(&in_, &out_, c.get(), 0);
    EXPECT_TRUE(one.equalTo(sameWorld));
    EXPECT_FALSE(one.equalTo(other));
    EXPECT_TRUE(one.equalInSize(other));
    EXPECT_FALSE(one.equalInSize(turned));
    // A shorter view of the same pixels is still "the same pixels".
    PF_EffectWorld narrower = a.world;
    narrower.width = 2;
    Layer view(&in_, &out_, &narrower, 0);
    EXPECT_TRUE(one.equalTo(view));
    EXPECT_FALSE(one.equalInSize(view));
}

TEST_F(LayerTest, CopiesShareOneStateAndTheWorldGoesWithTheLast) {
    {
        Layer a(&in_, &out_, 4, 4, 0);
        {
            Layer b = a;
            EXPECT_EQ(b.getWorld(), a.getWorld());
            Layer bad(&in_, &out_, 4, 4, 0);
            // An unequal pair of rectangles is refused by the host; the error lands on the
            // source, and its copy sees it.
            Rect from(0, 0, 2, 2), to(0, 0, 3, 3);
            b.copyTo(bad, from, to);
            EXPECT_EQ(a.getError(), PF_Err_BAD_CALLBACK_PARAM);
            EXPECT_EQ(bad.getError(), 0);
        }
        EXPECT_EQ(ledger().openCount("world"), 1);
    }
    EXPECT_EQ(ledger().openCount("world"), 0);
    EXPECT_EQ(ledger().callsOf("dispose_world"), 2);
}

// ---- created layers --------------------------------------------------------------------------

TYPED_TEST(LayerDepthTest, CreatedLayerIsAClearedHostWorldOfItsDepth) {
    using P = TypeParam;
    {
        Layer layer(&this->in_, &this->out_, 6, 5, DepthOf<P>::bpc);
        ASSERT_EQ(layer.getError(), 0);
        PF_LayerDef* w = layer.getWorld();
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w->data, nullptr);
        EXPECT_EQ(w->width, 6);
        EXPECT_EQ(w->height, 5);
        EXPECT_EQ(vhost::worldDepth(w), DepthOf<P>::depth);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) EXPECT_TRUE(samePixel(pixelOf<P>(w, x, y), P{}));
        EXPECT_EQ(this->ledger().openCount("world"), 1);
    }
    if constexpr (DepthOf<P>::bpc == 2) {
        EXPECT_EQ(this->ledger().callsOf("PF_NewWorld"), 1);
        EXPECT_EQ(this->ledger().callsOf("PF_DisposeWorld"), 1);
        // Version 2 is acquired explicitly around each of the two calls.
        EXPECT_EQ(this->ledger().acquisitions("PF World Suite", 2), 2);
        EXPECT_EQ(this->ledger().releases("PF World Suite", 2), 2);
        EXPECT_EQ(this->ledger().acquisitions("PF World Suite", 1), 0);
    } else {
        EXPECT_EQ(this->ledger().callsOf("new_world"), 1);
        EXPECT_EQ(this->ledger().callsOf("dispose_world"), 1);
        EXPECT_EQ(this->ledger().acquisitions("PF World Suite", 1), 2);
        EXPECT_EQ(this->ledger().acquisitions("PF World Suite", 2), 0);
    }
}

TEST_F(LayerTest, DepthCodeThreeGetsNoWorldAndMakesNoHostCall) {
    {
        Layer layer(&in_, &out_, 8, 8, 3);
        EXPECT_EQ(layer.getError(), 0);
        ASSERT_NE(layer.getWorld(), nullptr);
        EXPECT_EQ(layer.getWorld()->data, nullptr);
        layer.fill(ColorFloat<float>(1.0f, 1.0f, 1.0f, 1.0f));
    }
    EXPECT_EQ(ledger().callCount(), 0u) << ledger().describe();
}

TEST_F(LayerTest, RefusedWorldLeavesTheErrorAndNothingToDispose) {
    {
        Layer tooWide(&in_, &out_, vhost::kMaxWorldSide + 1, 4, 0);
        EXPECT_EQ(tooWide.getError(), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(tooWide.getWorld()->data, nullptr);
        ledger().failOp("PF_NewWorld", 1, PF_Err_OUT_OF_MEMORY);
        Layer failed(&in_, &out_, 4, 4, 2);
        EXPECT_EQ(failed.getError(), PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(failed.getWorld()->data, nullptr);
        // While the error stands, neither fill nor copy reaches the host.
        const auto beforeFill = ledger().callCount();
        failed.fill(ColorFloat<float>(1.0f, 0.0f, 0.0f));
        EXPECT_EQ(ledger().callCount(), beforeFill);
        Layer other(&in_, &out_, 4, 4, 2);
        const auto beforeCopy = ledger().callCount();
        failed.copyTo(other);
        EXPECT_EQ(ledger().callCount(), beforeCopy);
        EXPECT_EQ(failed.getError(), PF_Err_OUT_OF_MEMORY);
    }
    EXPECT_EQ(ledger().callsOf("dispose_world"), 0);
    EXPECT_EQ(ledger().callsOf("PF_DisposeWorld"), 1);  // only `other`
}

TEST_F(LayerTest, MissingWorldSuiteTwoIsShownAndRecorded) {
    host_->hideSuite("PF World Suite", 2);
    Layer layer(&in_, &out_, 4, 4, 2);
    EXPECT_EQ(layer.getError(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(layer.getWorld()->data, nullptr);
    EXPECT_STREQ(out_.return_msg, "Couldn't load suite.");
    EXPECT_TRUE(out_.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_EQ(ledger().releases("PF World Suite", 2), 0);
}

TEST_F(LayerTest, MissingWorldSuiteOneThrowsTheMissingSuiteError) {
    host_->hideSuite("PF World Suite", 1);
    try {
        Layer layer(&in_, &out_, 4, 4, 0);
        FAIL() << "no missing-suite error";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}

// ---- checked-out layers ----------------------------------------------------------------------

TEST_F(LayerTest, CheckedOutLayerWithPixelsIsCheckedInOnce) {
    TestWorld w(7, 3, vhost::Depth::Bits16);
    effect_->setLayer(0, w.world);
    effect_->setTimeBase(2, 60, 600);
    in_ = effect_->makeInData();
    {
        Layer layer(&in_, &out_, 0, A_Time{10, 60}, 1);
        EXPECT_EQ(layer.getError(), 0);
        ASSERT_NE(layer.getWorld(), nullptr);
        EXPECT_NE(layer.getWorld(), w.get());  // the layer inside the checked-out record
        EXPECT_EQ(layer.getWorld()->data, w.world.data);
        EXPECT_EQ(layer.getWidth(), 7);
        Layer alias = layer;
        EXPECT_EQ(ledger().openCount("param"), 1);
    }
    EXPECT_EQ(ledger().callsOf("checkin_param"), 1);
    EXPECT_EQ(ledger().openCount("param"), 0);
}

// The host counts the checkout, not the pixels: a layer parameter without pixels is checked in
// as well, or the host would keep it checked out for good.
TEST_F(LayerTest, CheckoutWithoutPixelsLeavesNoWorldAndIsStillCheckedIn) {
    {
        Layer layer(&in_, &out_, 0, A_Time{0, 30}, 0);
        EXPECT_EQ(layer.getError(), 0);
        EXPECT_EQ(layer.getWorld(), nullptr);
        EXPECT_TRUE(layer.getSize().isEmpty());
        EXPECT_EQ(layer.getWidth(), 0);
        Layer other(&in_, &out_, 0, A_Time{0, 30}, 0);
        EXPECT_FALSE(layer.equalTo(other));
    }
    EXPECT_EQ(ledger().callsOf("checkin_param"), 2);
}

TEST_F(LayerTest, FailedCheckoutIsRecordedAndNotCheckedIn) {
    {
        Layer beyond(&in_, &out_, 5, A_Time{0, 30}, 0);  // no parameter 5
        EXPECT_EQ(beyond.getError(), PF_Err_INVALID_INDEX);
        EXPECT_EQ(beyond.getWorld(), nullptr);
    }
    EXPECT_EQ(ledger().callsOf("checkin_param"), 0);
}

// ---- fill ------------------------------------------------------------------------------------

TYPED_TEST(LayerDepthTest, FillWritesTheConvertedColourEverywhereAndNowhereElse) {
    using P = TypeParam;
    Layer layer(&this->in_, &this->out_, 5, 3, DepthOf<P>::bpc);
    layer.fill(ColorFloat<float>(0.5f, 0.25f, 1.0f, 0.0f));
    ASSERT_EQ(layer.getError(), 0);
    P want{};
    if constexpr (DepthOf<P>::bpc == 0)
        want = PF_Pixel{127, 63, 255, 0};
    else if constexpr (DepthOf<P>::bpc == 1)
        want = PF_Pixel16{16384, 8192, 32768, 0};
    else
        want = PF_PixelFloat{0.5f, 0.25f, 1.0f, 0.0f};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_TRUE(samePixel(pixelOf<P>(layer.getWorld(), x, y), want)) << x << "," << y;
    EXPECT_TRUE(vhost::worldGuardsIntact(layer.getWorld()));
}

TYPED_TEST(LayerDepthTest, FillOfAnAreaIsClippedByTheHost) {
    using P = TypeParam;
    Layer layer(&this->in_, &this->out_, 4, 4, DepthOf<P>::bpc);
    layer.fill(ColorFloat<float>(1.0f, 1.0f, 1.0f, 1.0f), Rect(-3, 2, 2, 9));
    ASSERT_EQ(layer.getError(), 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool inside = x < 2 && y >= 2;
            EXPECT_EQ(ColorFloat<float>(pixelOf<P>(layer.getWorld(), x, y)).alpha, inside ? 1.0f : 0.0f)
                << x << "," << y;
        }
    }
    EXPECT_TRUE(vhost::worldGuardsIntact(layer.getWorld()));
}

TEST_F(LayerTest, FailedFillIsRecordedAndStopsTheNextOne) {
    Layer layer(&in_, &out_, 2, 2, 1);
    ledger().failOp("FillMatte.fill16", 1, PF_Err_OUT_OF_MEMORY);
    layer.fill(ColorFloat<float>(1.0f, 1.0f, 1.0f, 1.0f));
    EXPECT_EQ(layer.getError(), PF_Err_OUT_OF_MEMORY);
    layer.fill(ColorFloat<float>(1.0f, 1.0f, 1.0f, 1.0f));
    EXPECT_EQ(ledger().callsOf("FillMatte.fill16"), 1);
    EXPECT_EQ(pixelOf<PF_Pixel16>(layer.getWorld(), 1, 1).alpha, 0);
}

TEST_F(LayerTest, FillOfALayerWithoutAWorldIsRefusedByTheHost) {
    Layer layer(&in_, &out_, 0, A_Time{0, 30}, 0);
    layer.fill(ColorFloat<float>(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(layer.getError(), PF_Err_BAD_CALLBACK_PARAM);
}

// ---- copy and clone --------------------------------------------------------------------------

TYPED_TEST(LayerDepthTest, CopyToCopiesTheWholeWorld) {
    using P = TypeParam;
    Layer src(&this->in_, &this->out_, 4, 3, DepthOf<P>::bpc),
        dst(&this->in_, &this->out_, 4, 3, DepthOf<P>::bpc);
    markWorld<P>(src.getWorld());
    src.copyTo(dst);
    EXPECT_EQ(src.getError(), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_TRUE(samePixel(pixelOf<P>(dst.getWorld(), x, y), DepthOf<P>::mark(x, y)));
    EXPECT_TRUE(vhost::worldGuardsIntact(dst.getWorld()));
}

TYPED_TEST(LayerDepthTest, CopyToWithAreasMovesTheArea) {
    using P = TypeParam;
    Layer src(&this->in_, &this->out_, 4, 4, DepthOf<P>::bpc),
        dst(&this->in_, &this->out_, 5, 5, DepthOf<P>::bpc);
    markWorld<P>(src.getWorld());
    Rect from(1, 0, 3, 2), to(3, 2, 5, 4);
    src.copyTo(dst, from, to);
    ASSERT_EQ(src.getError(), 0);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            const bool inside = x >= 3 && y >= 2 && y < 4;
            const P want = inside ? DepthOf<P>::mark(x - 2, y - 2) : P{};
            EXPECT_TRUE(samePixel(pixelOf<P>(dst.getWorld(), x, y), want)) << x << "," << y;
        }
    }
}

TEST_F(LayerTest, CopyToFromALayerInErrorLeavesBothAlone) {
    Layer src(&in_, &out_, 3, 3, 0), dst(&in_, &out_, 3, 3, 0);
    markWorld<PF_Pixel>(src.getWorld());
    ledger().failOp("copy", 1, PF_Interrupt_CANCEL);
    src.copyTo(dst);
    EXPECT_EQ(src.getError(), PF_Interrupt_CANCEL);
    EXPECT_EQ(dst.getError(), 0);
    src.copyTo(dst);
    Rect all(0, 0, 3, 3);
    src.copyTo(dst, all, all);
    EXPECT_EQ(ledger().callsOf("copy"), 1);
    EXPECT_EQ(src.getError(), PF_Interrupt_CANCEL);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(samePixel(pixelOf<PF_Pixel>(dst.getWorld(), x, y), PF_Pixel{}));
}

TEST_F(LayerTest, CopyToIntoALayerInErrorStillCopies) {
    Layer src(&in_, &out_, 2, 2, 0), dst(&in_, &out_, 2, 2, 0);
    markWorld<PF_Pixel>(src.getWorld());
    ledger().failOp("FillMatte.fill", 1, PF_Err_OUT_OF_MEMORY);
    dst.fill(ColorFloat<float>(1.0f, 1.0f, 1.0f));
    ASSERT_EQ(dst.getError(), PF_Err_OUT_OF_MEMORY);
    src.copyTo(dst);
    EXPECT_EQ(src.getError(), 0);
    EXPECT_TRUE(samePixel(pixelOf<PF_Pixel>(dst.getWorld(), 1, 1), DepthOf<PF_Pixel>::mark(1, 1)));
}

TYPED_TEST(LayerDepthTest, CloneIsAnIndependentCopy) {
    using P = TypeParam;
    Layer src(&this->in_, &this->out_, 3, 2, DepthOf<P>::bpc);
    markWorld<P>(src.getWorld());
    Layer copy = src.clone();
    EXPECT_EQ(src.getError(), 0);
    EXPECT_EQ(copy.getError(), 0);
    EXPECT_EQ(copy.getBPC(), DepthOf<P>::bpc);
    EXPECT_FALSE(copy.equalTo(src));
    EXPECT_TRUE(copy.equalInSize(src));
    EXPECT_EQ(vhost::worldDepth(copy.getWorld()), DepthOf<P>::depth);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(samePixel(pixelOf<P>(copy.getWorld(), x, y), DepthOf<P>::mark(x, y)));
    pixelOf<P>(src.getWorld(), 0, 0) = P{};
    EXPECT_TRUE(samePixel(pixelOf<P>(copy.getWorld(), 0, 0), DepthOf<P>::mark(0, 0)));
}

TEST_F(LayerTest, CloneOfALayerInErrorIsClearedAndCopiesNothing) {
    Layer src(&in_, &out_, 3, 2, 1);
    markWorld<PF_Pixel16>(src.getWorld());
    ledger().failOp("copy", 1, PF_Err_OUT_OF_MEMORY);
    Layer first = src.clone();  // the copy step fails: recorded on the source
    EXPECT_EQ(src.getError(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(first.getError(), 0);
    Layer second = src.clone();
    EXPECT_EQ(ledger().callsOf("copy"), 1);
    EXPECT_EQ(src.getError(), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(second.getSize() == Rect(0, 0, 3, 2));
    EXPECT_EQ(second.getBPC(), 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_TRUE(samePixel(pixelOf<PF_Pixel16>(second.getWorld(), x, y), PF_Pixel16{}));
}

TEST_F(LayerTest, RestrictRegionClampsEachEdgeOnly) {
    TestWorld w(1, 1, vhost::Depth::Bits8);
    Layer::Impl impl(&in_, &out_, w.get(), 0);
    int l = -5, t = 2, r = 50, b = 7;
    impl._restrictRegion(l, t, r, b, Rect(0, 3, 40, 10));
    EXPECT_EQ(l, 0);
    EXPECT_EQ(t, 3);
    EXPECT_EQ(r, 40);
    EXPECT_EQ(b, 7);
    // Edges outside the bounds on the far side are not swapped back: the result is inverted.
    l = 60, t = -9, r = 70, b = -1;
    impl._restrictRegion(l, t, r, b, Rect(0, 0, 40, 10));
    EXPECT_EQ(l, 60);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(r, 40);
    EXPECT_EQ(b, -1);
}

}  // namespace
