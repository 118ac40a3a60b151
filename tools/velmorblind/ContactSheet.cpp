#include "ContactSheet.h"

#include "Font.h"
#include "PixelConvert.h"
#include "PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vblind {

namespace px = vsession::px;
using vsession::withPixelType;

namespace {

constexpr int kMargin = 8;          // around the grid and between cells
constexpr int kLabelGap = 4;        // between a thumbnail and its label
constexpr int kSheetBudget = 4096;  // the grid aims to stay about this wide
constexpr PF_Pixel kBackground{255, 32, 32, 36};
constexpr PF_Pixel kInk{255, 230, 230, 230};

// A channel as the float render would hold it: the same values a conversion of the whole frame to
// float gives, one pixel at a time, so no full-size copy is made.
template <typename Channel>
float unitOf(Channel v) {
    if constexpr (std::is_same_v<Channel, float>)
        return v;
    else if constexpr (std::is_same_v<Channel, std::uint8_t>)
        return px::floatFrom8(v);
    else
        return px::toFile<float>(v);
}

double clamped(float v) { return std::clamp(static_cast<double>(v), 0.0, 1.0); }

// Each thumbnail pixel averages the frame pixels whose centres fall inside it, weighted by alpha
// (straight colours must not bleed from transparent pixels), then goes over the checkerboard.
template <typename Pixel>
void drawThumbnail(const vhost::Image& f, vhost::Image& sheet, int x0, int y0, int thumbW, int thumbH) {
    for (int ty = 0; ty < thumbH; ++ty) {
        const int sy0 = static_cast<int>(static_cast<long long>(ty) * f.height / thumbH);
        const int sy1 =
            std::max(sy0 + 1, static_cast<int>(static_cast<long long>(ty + 1) * f.height / thumbH));
        for (int tx = 0; tx < thumbW; ++tx) {
            const int sx0 = static_cast<int>(static_cast<long long>(tx) * f.width / thumbW);
            const int sx1 =
                std::max(sx0 + 1, static_cast<int>(static_cast<long long>(tx + 1) * f.width / thumbW));
            double a = 0, r = 0, g = 0, b = 0;
            for (int sy = sy0; sy < sy1; ++sy)
                for (int sx = sx0; sx < sx1; ++sx) {
                    const Pixel& p = f.at<Pixel>(sx, sy);
                    const double pa = clamped(unitOf(p.alpha));
                    a += pa;
                    r += pa * clamped(unitOf(p.red));
                    g += pa * clamped(unitOf(p.green));
                    b += pa * clamped(unitOf(p.blue));
                }
            const double n = static_cast<double>(sy1 - sy0) * (sx1 - sx0);
            a /= n;
            r /= n;
            g /= n;
            b /= n;
            const PF_Pixel c = checkerAt(tx, ty);
            auto put = [&](double premul, A_u_char under) {
                return static_cast<A_u_char>(
                    std::lround(std::clamp(premul * 255.0 + under * (1.0 - a), 0.0, 255.0)));
            };
            sheet.at<PF_Pixel>(x0 + tx, y0 + ty) =
                PF_Pixel{255, put(r, c.red), put(g, c.green), put(b, c.blue)};
        }
    }
}

}  // namespace

PF_Pixel checkerAt(int x, int y) {
    const bool light = ((x / 8) + (y / 8)) % 2 == 0;
    const A_u_char v = light ? 204 : 153;
    return PF_Pixel{255, v, v, v};
}

std::string ContactSheet::label(int frameNumber, double completionPercent) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d  %.1f%%", frameNumber, completionPercent);
    return buf;
}

ContactSheet::ContactSheet(int frameCount, int width, int height)
    : count_(std::max(1, frameCount)), cells_(std::min(count_, kMaxCells)) {
    // Roughly 4:3 grids: 48 frames make 8 x 6.
    columns_ = std::min(cells_, std::max(1, static_cast<int>(std::ceil(std::sqrt(cells_ * 4.0 / 3.0)))));
    rows_ = (cells_ + columns_ - 1) / columns_;
    const int maxSide = std::clamp(kSheetBudget / columns_, 48, 192);
    const double scale = std::min(1.0, static_cast<double>(maxSide) / std::max(width, height));
    thumbW_ = std::max(1, static_cast<int>(std::lround(width * scale)));
    thumbH_ = std::max(1, static_cast<int>(std::lround(height * scale)));
    const int longest = textWidth(label(9999999, 100.0), 1);
    labelScale_ = thumbW_ >= 2 * longest ? 2 : 1;
    cellW_ = std::max(thumbW_, textWidth(label(9999999, 100.0), labelScale_));
    cellH_ = thumbH_ + kLabelGap + kGlyphHeight * labelScale_;
    sheet_ = vhost::Image(kMargin + columns_ * (cellW_ + kMargin), kMargin + rows_ * (cellH_ + kMargin),
                          vhost::Depth::Bits8);
    std::fill(sheet_.pixels<PF_Pixel>(), sheet_.pixels<PF_Pixel>() + sheet_.width * sheet_.height,
              kBackground);
}

int ContactSheet::indexOfCell(int i) const {
    if (cells_ < 2) return 0;
    // i x (count - 1) / (cells - 1), rounded to nearest: the first and last frames always show.
    const long long span = static_cast<long long>(count_ - 1), gaps = cells_ - 1;
    return static_cast<int>((2 * i * span + gaps) / (2 * gaps));
}

int ContactSheet::cellX(int i) const { return kMargin + (i % columns_) * (cellW_ + kMargin); }
int ContactSheet::cellY(int i) const { return kMargin + (i / columns_) * (cellH_ + kMargin); }

void ContactSheet::add(const vhost::Image& frame, int frameNumber, double completionPercent) {
    if (added_ >= cells_) return;
    const int x0 = cellX(added_), y0 = cellY(added_);
    withPixelType(frame.depth, [&](auto pixel) {
        drawThumbnail<decltype(pixel)>(frame, sheet_, x0, y0, thumbW_, thumbH_);
    });
    drawText(sheet_, x0, y0 + thumbH_ + kLabelGap, label(frameNumber, completionPercent), labelScale_, kInk);
    ++added_;
}

}  // namespace vblind
