// A flat colour written on the command line ("--under #1E90FF"), for the session library's solid
// images.
#pragma once

#include "AE_Effect.h"

#include <string_view>

namespace vblind {

// "#RRGGBB" or "#RRGGBBAA" (hex digits in either case); a usage ToolError otherwise.
PF_Pixel parseColour(std::string_view text);

// True when the text is meant as a colour rather than a file name.
inline bool looksLikeColour(std::string_view text) { return !text.empty() && text.front() == '#'; }

}  // namespace vblind
