#include "Orientation.h"

#include <cstring>

namespace vblind {

vhost::Image applyOrientation(const vhost::Image& stored, int orientation) {
    if (orientation < 2 || orientation > 8) return stored;
    const int w = stored.width, h = stored.height;
    const bool swaps = orientation >= 5;
    vhost::Image seen(swaps ? h : w, swaps ? w : h, stored.depth);
    const std::size_t size = vhost::bytesPerPixel(stored.depth);
    for (int y = 0; y < seen.height; ++y)
        for (int x = 0; x < seen.width; ++x) {
            // The stored pixel shown at (x, y).
            int sx = x, sy = y;
            switch (orientation) {
                case 2: sx = w - 1 - x; break;  // mirrored left to right
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;                      // upside down
                case 4: sy = h - 1 - y; break;  // mirrored top to bottom
                case 5:
                    sx = y;
                    sy = x;
                    break;  // transposed
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;  // stored a quarter turn anticlockwise
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;  // transversed
                case 8:
                    sx = w - 1 - y;
                    sy = x;
                    break;  // stored a quarter turn clockwise
            }
            std::memcpy(seen.bytes.data() + (static_cast<std::size_t>(y) * seen.width + x) * size,
                        stored.bytes.data() + (static_cast<std::size_t>(sy) * w + sx) * size, size);
        }
    return seen;
}

}  // namespace vblind
