// A tiny built-in bitmap font (5 x 7 pixels, upper case, digits and common punctuation) for the
// labels of contact sheets and demo pictures: no font files needed. Lower case draws as upper case;
// characters it lacks draw as '?'.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace vblind {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;  // one column of space between characters

using Glyph = std::array<std::uint8_t, kGlyphHeight>;

const Glyph& glyph(char ch);

// Width in pixels of `text` drawn at `scale` (no trailing space).
int textWidth(std::string_view text, int scale);

// Draws `text` into an 8-bit image with its top-left corner at (x, y), each font pixel a
// scale x scale block; pixels outside the image are skipped.
void drawText(vhost::Image& image, int x, int y, std::string_view text, int scale, PF_Pixel colour);

}  // namespace vblind
