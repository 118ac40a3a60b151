// Contact sheets, the bitmap font that labels them, and the demo's built-in pictures.
#include "ContactSheet.h"
#include "Demo.h"
#include "Font.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace vblind;

namespace {

bool same(const PF_Pixel& a, const PF_Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

vhost::Image filled8(int w, int h, PF_Pixel p) {
    vhost::Image image(w, h, vhost::Depth::Bits8);
    for (int i = 0; i < w * h; ++i) image.pixels<PF_Pixel>()[i] = p;
    return image;
}

}  // namespace

TEST(Font, GlyphsAreFiveBySeven) {
    // '1': a stem in the middle column with a foot across.
    const Glyph& one = glyph('1');
    EXPECT_EQ(one[0], 0x04);
    EXPECT_EQ(one[6], 0x0E);
    EXPECT_EQ(glyph('a'), glyph('A'));
    EXPECT_EQ(glyph('~'), glyph('?'));
    for (char c : std::string("0123456789%.:# ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
        for (std::uint8_t row : glyph(c)) EXPECT_EQ(row & ~0x1F, 0) << c;
    // Every digit looks different.
    std::set<Glyph> digits;
    for (char c = '0'; c <= '9'; ++c) digits.insert(glyph(c));
    EXPECT_EQ(digits.size(), 10u);
    EXPECT_EQ(textWidth("", 1), 0);
    EXPECT_EQ(textWidth("1", 1), 5);
    EXPECT_EQ(textWidth("12", 2), 22);
}

TEST(Font, DrawsExactlyTheGlyphPixelsAndClips) {
    vhost::Image image = filled8(12, 9, PF_Pixel{255, 0, 0, 0});
    const PF_Pixel ink{255, 250, 251, 252};
    drawText(image, 1, 1, "7", 1, ink);
    const Glyph& seven = glyph('7');
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inGlyph = x >= 1 && x < 6 && y >= 1 && y < 8 && (seven[y - 1] & (0x10 >> (x - 1)));
            EXPECT_EQ(same(image.at<PF_Pixel>(x, y), ink), inGlyph) << x << "," << y;
        }
    // Mostly outside the image: what falls inside is drawn, nothing is written beyond it.
    vhost::Image big = filled8(4, 4, PF_Pixel{255, 0, 0, 0});
    drawText(big, -3, -3, "8888", 3, ink);
    const Glyph& eight = glyph('8');
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int col = (x + 3) / 3, row = (y + 3) / 3;
            EXPECT_EQ(same(big.at<PF_Pixel>(x, y), ink), (eight[row] & (0x10 >> col)) != 0) << x << "," << y;
        }
}

TEST(ContactSheet, GridShapeAndLabel) {
    ContactSheet sheet(48, 384, 256);
    EXPECT_EQ(sheet.columns(), 8);
    EXPECT_EQ(sheet.thumbWidth(), 192);
    EXPECT_EQ(sheet.thumbHeight(), 128);
    EXPECT_EQ(ContactSheet::label(12, 37.5), "12  37.5%");
    EXPECT_EQ(ContactSheet::label(1, 0.0), "1  0.0%");
    ContactSheet small(3, 40, 20);  // never enlarged
    EXPECT_EQ(small.columns(), 2);
    EXPECT_EQ(small.thumbWidth(), 40);
    EXPECT_EQ(small.thumbHeight(), 20);
    const int w = small.image().width, h = small.image().height;
    EXPECT_GE(w, small.cellX(1) + 40);
    EXPECT_GE(h, small.cellY(2) + 20);
}

TEST(ContactSheet, OpaqueFramesShowTheirColourTransparentOnesTheCheckerboard) {
    ContactSheet sheet(2, 32, 24);
    sheet.add(filled8(32, 24, PF_Pixel{255, 200, 40, 10}), 1, 0.0);
    vhost::Image clear(32, 24, vhost::Depth::Float32);  // all zero: fully transparent
    sheet.add(clear, 2, 100.0);
    const vhost::Image& img = sheet.image();
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            ASSERT_TRUE(
                same(img.at<PF_Pixel>(sheet.cellX(0) + x, sheet.cellY(0) + y), PF_Pixel{255, 200, 40, 10}));
            ASSERT_TRUE(same(img.at<PF_Pixel>(sheet.cellX(1) + x, sheet.cellY(1) + y), checkerAt(x, y)));
        }
    EXPECT_FALSE(same(checkerAt(0, 0), checkerAt(8, 0)));
    // Half-covered red over the checkerboard: between the two.
    ContactSheet half(1, 16, 16);
    half.add(filled8(16, 16, PF_Pixel{128, 255, 0, 0}), 5, 50.0);
    const PF_Pixel p = half.image().at<PF_Pixel>(half.cellX(0), half.cellY(0));
    const PF_Pixel under = checkerAt(0, 0);
    EXPECT_EQ(p.red, static_cast<int>(std::lround(128.0 + under.red * (127.0 / 255.0))));
    EXPECT_EQ(p.green, static_cast<int>(std::lround(under.green * (127.0 / 255.0))));
}

TEST(ContactSheet, EachFrameIsLabelledBelowItsPicture) {
    ContactSheet sheet(2, 64, 32);
    sheet.add(filled8(64, 32, PF_Pixel{255, 0, 0, 0}), 7, 25.0);
    const vhost::Image& img = sheet.image();
    // The label's first glyph ('7') sits under the thumbnail's left edge.
    const int scale = 64 >= 2 * textWidth(ContactSheet::label(9999999, 100.0), 1) ? 2 : 1;
    const int top = sheet.cellY(0) + sheet.thumbHeight() + 4;
    const Glyph& seven = glyph('7');
    int ink = 0;
    for (int row = 0; row < kGlyphHeight; ++row)
        for (int col = 0; col < kGlyphWidth; ++col) {
            const PF_Pixel p = img.at<PF_Pixel>(sheet.cellX(0) + col * scale, top + row * scale);
            const bool lit = p.red > 200;
            EXPECT_EQ(lit, (seven[row] & (0x10 >> col)) != 0) << row << "," << col;
            ink += lit;
        }
    EXPECT_GT(ink, 0);
}

TEST(Demo, TwoDifferentOpaquePicturesWithAGrid) {
    const vhost::Image a = demoForeground();
    const vhost::Image b = demoBackground();
    ASSERT_EQ(a.width, kDemoWidth);
    ASSERT_EQ(a.height, kDemoHeight);
    ASSERT_EQ(b.width, kDemoWidth);
    ASSERT_EQ(b.height, kDemoHeight);
    std::set<int> hues;
    int differ = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            ASSERT_EQ(a.at<PF_Pixel>(x, y).alpha, 255);
            ASSERT_EQ(b.at<PF_Pixel>(x, y).alpha, 255);
            differ += !same(a.at<PF_Pixel>(x, y), b.at<PF_Pixel>(x, y));
            const PF_Pixel p = a.at<PF_Pixel>(x, y);
            hues.insert((p.red / 64) * 16 + (p.green / 64) * 4 + p.blue / 64);
        }
    EXPECT_GT(differ, a.width * a.height * 9 / 10);
    EXPECT_GE(hues.size(), 12u);  // colourful
    // Grid lines every 32 pixels run through the picture (away from the title).
    for (int y = 3; y < 60; ++y) {
        EXPECT_TRUE(same(a.at<PF_Pixel>(32, y), PF_Pixel{255, 30, 30, 40})) << y;
        EXPECT_TRUE(same(a.at<PF_Pixel>(128, y), PF_Pixel{255, 255, 255, 255})) << y;
    }
    EXPECT_EQ(demoForeground().bytes, a.bytes);  // made the same way every time
}

TEST(ContactSheet, ALongRangeGetsABoundedSheetOfEvenlyChosenFrames) {
    // A hundred thousand 4K frames: the sheet's size does not follow the count.
    ContactSheet sheet(100000, 3840, 2160);
    ASSERT_EQ(sheet.cells(), ContactSheet::kMaxCells);
    EXPECT_LE(sheet.image().bytes.size(), 16u << 20);
    EXPECT_EQ(sheet.image().bytes.size(),
              ContactSheet(ContactSheet::kMaxCells, 3840, 2160).image().bytes.size());
    std::vector<int> chosen;
    const vhost::Image frame = filled8(8, 8, PF_Pixel{255, 1, 2, 3});
    for (int index = 0; index < 100000; ++index)
        if (sheet.wants(index)) {
            chosen.push_back(index);
            sheet.add(frame, index, 0.0);
        }
    ASSERT_EQ(chosen.size(), static_cast<std::size_t>(ContactSheet::kMaxCells));
    EXPECT_EQ(chosen.front(), 0);
    EXPECT_EQ(chosen.back(), 99999);
    for (std::size_t i = 1; i < chosen.size(); ++i) {
        const int gap = chosen[i] - chosen[i - 1];
        EXPECT_TRUE(gap == 1010 || gap == 1011) << i << ": " << gap;  // 99999 / 99, rounded either way
    }
    // Up to the limit, every frame has its cell.
    ContactSheet all(7, 10, 10);
    for (int index = 0; index < 7; ++index) {
        ASSERT_TRUE(all.wants(index)) << index;
        all.add(frame, index, 0.0);
    }
    EXPECT_FALSE(all.wants(7));
}
