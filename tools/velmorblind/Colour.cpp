#include "Colour.h"

#include "Error.h"

#include <string>

namespace vblind {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

PF_Pixel parseColour(std::string_view text) {
    const bool shapeOk = (text.size() == 7 || text.size() == 9) && text.front() == '#';
    int v[4] = {0, 0, 0, 255};
    bool ok = shapeOk;
    for (std::size_t i = 0; ok && i + 1 < text.size(); i += 2) {
        const int hi = hexDigit(text[i + 1]), lo = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0)
            ok = false;
        else
            v[i / 2] = hi * 16 + lo;
    }
    if (!ok)
        usageError("the colour \"" + std::string(text) +
                   "\" is not written as #RRGGBB or #RRGGBBAA "
                   "(hex digits, for example #1E90FF).");
    PF_Pixel p;
    p.red = static_cast<A_u_char>(v[0]);
    p.green = static_cast<A_u_char>(v[1]);
    p.blue = static_cast<A_u_char>(v[2]);
    p.alpha = static_cast<A_u_char>(v[3]);
    return p;
}

}  // namespace vblind
