#include "LuminanceChroma.h"

#include <OpenEXR/ImfArray.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <OpenEXR/ImfTestFile.h>

#include <algorithm>
#include <exception>

namespace vblind {

std::optional<OIIO::ImageSpec> luminanceChromaLayout(const std::string& path) {
    try {
        bool tiled = false;
        if (!Imf::isOpenExrFile(path.c_str(), tiled)) return std::nullopt;
        Imf::RgbaInputFile file(path.c_str());
        const Imf::RgbaChannels channels = file.channels();
        if (!(channels & Imf::WRITE_C)) return std::nullopt;
        const bool alpha = channels & Imf::WRITE_A;
        const Imath::Box2i data = file.dataWindow();
        const Imath::Box2i display = file.displayWindow();
        OIIO::ImageSpec layout(data.max.x - data.min.x + 1, data.max.y - data.min.y + 1, alpha ? 4 : 3,
                               OIIO::TypeDesc::HALF);
        layout.channelnames =
            alpha ? std::vector<std::string>{"R", "G", "B", "A"} : std::vector<std::string>{"R", "G", "B"};
        layout.alpha_channel = alpha ? 3 : -1;
        layout.x = data.min.x;
        layout.y = data.min.y;
        layout.full_x = display.min.x;
        layout.full_y = display.min.y;
        layout.full_width = display.max.x - display.min.x + 1;
        layout.full_height = display.max.y - display.min.y + 1;
        return layout;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<float> readLuminanceChroma(const std::string& path, const OIIO::ImageSpec& layout) {
    Imf::RgbaInputFile file(path.c_str());
    const int width = layout.width;
    // A band of rows at a time: the half-float rows stay small beside the float result.
    constexpr int kBand = 64;
    Imf::Array2D<Imf::Rgba> rows(kBand, width);
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(width) * layout.height * layout.nchannels);
    for (int top = 0; top < layout.height; top += kBand) {
        const int count = std::min(kBand, layout.height - top);
        const int y = layout.y + top;
        // The frame buffer is addressed by file coordinates: shift its base so that (x, y) lands in
        // the band.
        Imf::Rgba* base = &rows[0][0] - layout.x - static_cast<std::ptrdiff_t>(y) * width;
        file.setFrameBuffer(base, 1, static_cast<std::size_t>(width));
        file.readPixels(y, y + count - 1);
        for (int r = 0; r < count; ++r)
            for (int x = 0; x < width; ++x) {
                const Imf::Rgba& p = rows[r][x];
                values.push_back(p.r);
                values.push_back(p.g);
                values.push_back(p.b);
                if (layout.nchannels == 4) values.push_back(p.a);
            }
    }
    return values;
}

}  // namespace vblind
