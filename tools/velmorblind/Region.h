// --region WxH+X+Y: the rectangle of the rendered frame (in its pixels, after --downsample) that
// the host asks the module for. The file holds exactly that rectangle, zero where it leaves the
// frame, and EXR and TIFF files keep its position in the frame.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <cstdint>
#include <string>

namespace vblind {

struct Region {
    int x = 0, y = 0;
    int width = 0, height = 0;

    // The host's request: left, top, right and bottom (exclusive).
    PF_LRect rect() const { return PF_LRect{x, y, x + width, y + height}; }
    std::uint64_t bytes(vhost::Depth depth) const {
        return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
               vhost::bytesPerPixel(depth);
    }
};

// "640x360+100+50", offsets signed as image tools write them ("64x64-10+0"). Sizes of at least 1
// and at most the host's largest world side, corners within 32 bits; anything else is a usage
// error naming what is wrong.
Region parseRegion(const std::string& text);

// The region of `frame` (an image the size of the rendered frame), zero where it leaves it.
vhost::Image cutRegion(const vhost::Image& frame, const Region& region);

// Where the region's pixels sit, given the rendered frame's placement `frame` and size.
vhost::Placement regionPlacement(const vhost::Placement& frame, int frameWidth, int frameHeight,
                                 const Region& region);

}  // namespace vblind
