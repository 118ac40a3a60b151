// Putting the effect's output over something: a second image or a flat colour, with the
// straight-alpha "over" operator, so a transition shows one shot giving way to another.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <string_view>

namespace vblind {

// "#RRGGBB" or "#RRGGBBAA" (hex digits in either case); a usage ToolError otherwise.
PF_Pixel parseColour(std::string_view text);

// True when the text is meant as a colour rather than a file name.
inline bool looksLikeColour(std::string_view text) { return !text.empty() && text.front() == '#'; }

// An image of one 8-bit colour at a depth: 16-bit channels are v x 32768 / 255 rounded, float v / 255.
vhost::Image solidImage(int width, int height, vhost::Depth depth, PF_Pixel colour);

// The same pixels at another depth (8-bit -> 16-bit rounds v x 32768 / 255; 16-bit -> 8-bit rounds
// to nearest; float -> integer clamps to 0..1 and rounds to nearest).
vhost::Image toDepth(const vhost::Image& image, vhost::Depth depth);

// front = front over back, straight alpha, computed in double; integer depths round to nearest.
// Both images must have the same size and depth (the caller checks and says so).
void compositeOver(vhost::Image& front, const vhost::Image& back);

}  // namespace vblind
