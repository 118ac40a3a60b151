// 16.16 fixed point, the effect API's form of fixed-slider and angle values (65536 is one unit):
// the host's and the renderer's one conversion to and from it.
#pragma once

#include "AE_Effect.h"

#include <cmath>
#include <limits>

namespace vhost {

// Nearest, halves away from zero; values beyond the 32-bit range saturate.
inline PF_Fixed toFixed(double value) {
    const double scaled = std::round(value * 65536.0);
    if (scaled >= 2147483647.0) return std::numeric_limits<PF_Fixed>::max();
    if (scaled <= -2147483648.0) return std::numeric_limits<PF_Fixed>::min();
    return static_cast<PF_Fixed>(scaled);
}

inline double fromFixed(PF_Fixed value) { return value / 65536.0; }

}  // namespace vhost
