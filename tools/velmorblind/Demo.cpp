#include "Demo.h"

#include "AE_Effect.h"
#include "Font.h"

#include <algorithm>
#include <cmath>

namespace vblind {

namespace {

A_u_char byte(double v) { return static_cast<A_u_char>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

// Hue in turns, saturation and value 0..1.
PF_Pixel fromHsv(double h, double s, double v) {
    h = (h - std::floor(h)) * 6.0;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = v, g = t, b = p;
    switch (sector) {
        case 1:
            r = q;
            g = v;
            b = p;
            break;
        case 2:
            r = p;
            g = v;
            b = t;
            break;
        case 3:
            r = p;
            g = q;
            b = v;
            break;
        case 4:
            r = t;
            g = p;
            b = v;
            break;
        case 5:
            r = v;
            g = p;
            b = q;
            break;
        default: break;
    }
    return PF_Pixel{255, byte(r), byte(g), byte(b)};
}

void drawCentredText(vhost::Image& image, int cy, const char* text, int scale, PF_Pixel ink, PF_Pixel box) {
    const int w = textWidth(text, scale), h = kGlyphHeight * scale;
    const int x = (image.width - w) / 2, y = cy - h / 2;
    const int pad = 2 * scale;
    for (int yy = std::max(0, y - pad); yy < std::min(image.height, y + h + pad); ++yy)
        for (int xx = std::max(0, x - pad); xx < std::min(image.width, x + w + pad); ++xx)
            image.at<PF_Pixel>(xx, yy) = box;
    drawText(image, x, y, text, scale, ink);
}

}  // namespace

vhost::Image demoForeground(int width, int height) {
    vhost::Image image(width, height, vhost::Depth::Bits8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width, v = (y + 0.5) / height;
            PF_Pixel p = fromHsv(u, 0.55 + 0.4 * v, 1.0 - 0.35 * v);
            const bool line = x % 32 == 0 || y % 32 == 0 || x == width - 1 || y == height - 1;
            const bool major = x % 128 == 0 || y % 128 == 0;
            if (line) p = major ? PF_Pixel{255, 255, 255, 255} : PF_Pixel{255, 30, 30, 40};
            image.at<PF_Pixel>(x, y) = p;
        }
    drawCentredText(image, height / 2, "VELMORBLIND", 3, PF_Pixel{255, 255, 255, 255},
                    PF_Pixel{255, 20, 20, 28});
    return image;
}

vhost::Image demoBackground(int width, int height) {
    vhost::Image image(width, height, vhost::Depth::Bits8);
    const double cx = width * 0.5, cy = height * 0.55;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double v = (y + 0.5) / height;
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            const double ring = 0.5 + 0.5 * std::cos(d / 6.0);
            const double r = 0.10 + 0.55 * v + 0.15 * ring * (1 - v);
            const double g = 0.08 + 0.20 * v + 0.10 * ring;
            const double b = 0.35 - 0.15 * v + 0.30 * ring;
            image.at<PF_Pixel>(x, y) = PF_Pixel{255, byte(r), byte(g), byte(b)};
        }
    drawCentredText(image, height - 24, "THE NEXT SHOT", 2, PF_Pixel{255, 255, 236, 200},
                    PF_Pixel{255, 40, 20, 50});
    return image;
}

std::vector<std::string> demoSettings() {
    return {"Mode=Both", "State=Move", "Direction=30", "Easing=Cubic"};
}

}  // namespace vblind
