#include "Region.h"

#include "Error.h"
#include "Worlds.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace vblind {

namespace {

[[noreturn]] void badRegion(const std::string& text, const std::string& why) {
    usageError("--region \"" + text + "\" " + why +
               "; write WIDTHxHEIGHT+LEFT+TOP such as 640x360+100+50. See "
               "\"velmorblind render --help\".");
}

// Digits at `at`, as a 64-bit value saturated well beyond 32 bits; false when there are none.
bool readNumber(const std::string& text, std::size_t& at, std::int64_t& value) {
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), std::int64_t{1} << 40);
        ++at;
    }
    return at > start;
}

}  // namespace

Region parseRegion(const std::string& text) {
    std::size_t at = 0;
    std::int64_t w = 0, h = 0, x = 0, y = 0;
    auto offset = [&](std::int64_t& v) {
        if (at >= text.size() || (text[at] != '+' && text[at] != '-')) return false;
        const bool negative = text[at++] == '-';
        if (!readNumber(text, at, v)) return false;
        if (negative) v = -v;
        return true;
    };
    const bool wellFormed = readNumber(text, at, w) && at < text.size() &&
                            (text[at] == 'x' || text[at] == 'X') && readNumber(text, ++at, h) && offset(x) &&
                            offset(y) && at == text.size();
    if (!wellFormed) badRegion(text, "is not a geometry");
    if (w < 1 || h < 1) badRegion(text, "is empty");
    if (w > vhost::kMaxWorldSide || h > vhost::kMaxWorldSide)
        badRegion(text, "is larger than the host renders (" + std::to_string(vhost::kMaxWorldSide) +
                            " pixels on a side at most)");
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    if (x < lo || y < lo || x + w > hi || y + h > hi) badRegion(text, "reaches beyond 32-bit coordinates");
    return Region{static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h)};
}

vhost::Image cutRegion(const vhost::Image& frame, const Region& region) {
    vhost::Image cut(region.width, region.height, frame.depth);
    const std::int64_t x0 = std::max<std::int64_t>(region.x, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{region.x} + region.width, frame.width);
    const std::int64_t y0 = std::max<std::int64_t>(region.y, 0);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{region.y} + region.height, frame.height);
    const std::size_t ps = vhost::bytesPerPixel(frame.depth);
    for (std::int64_t y = y0; y < y1 && x0 < x1; ++y)
        std::memcpy(
            cut.bytes.data() + (static_cast<std::size_t>(y - region.y) * region.width + (x0 - region.x)) * ps,
            frame.bytes.data() + (static_cast<std::size_t>(y) * frame.width + x0) * ps,
            static_cast<std::size_t>(x1 - x0) * ps);
    return cut;
}

vhost::Placement regionPlacement(const vhost::Placement& frame, int frameWidth, int frameHeight,
                                 const Region& region) {
    vhost::Placement p = frame;
    if (p.fullWidth == 0 || p.fullHeight == 0) {
        // The frame was its own display window: it stays the window the region sits in.
        p.fullX = frame.x;
        p.fullY = frame.y;
        p.fullWidth = frameWidth;
        p.fullHeight = frameHeight;
    }
    const std::int64_t x = std::int64_t{frame.x} + region.x, y = std::int64_t{frame.y} + region.y;
    constexpr std::int64_t lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    if (x < lo || x > hi || y < lo || y > hi) return {};  // a position no file can hold
    p.x = static_cast<int>(x);
    p.y = static_cast<int>(y);
    return p;
}

}  // namespace vblind
