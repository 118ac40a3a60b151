#include "Parameters.h"

// frei0r.h declares its functions without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>

namespace vfrei0r {

const std::array<ParamInfo, kParamCount>& paramTable() {
    static const std::array<ParamInfo, kParamCount> table = {{
        {"progress", F0R_PARAM_DOUBLE,
         "Completion, 0 to 1 (x 100 %): 0 shows the first input whole, 1 the second", "Completion",
         Kind::Fraction},
        {"mode", F0R_PARAM_STRING,
         "How a band closes: One (from its leading edge) or Both (towards its centre line), or 1 to 2",
         "Mode", Kind::Choice},
        {"order", F0R_PARAM_STRING, "Order in which the bands close: Normal, Inverse or Random, or 1 to 3",
         "Order", Kind::Choice},
        {"easing", F0R_PARAM_STRING,
         "Each band's easing curve: Linear, Quad, Cubic, Quart, Quint, Expo, Circ, Sine or Bounce, or 1 to 9",
         "Easing", Kind::Choice},
        {"easing_mode", F0R_PARAM_STRING, "Where the easing acts: In, Out or InOut, or 1 to 3", "Easing Mode",
         Kind::Choice},
        {"state", F0R_PARAM_STRING,
         "The picture inside a closing band: Still, Move (slides with the edge) or Shrink (squeezed), or 1 to 3",
         "State", Kind::Choice},
        {"outside", F0R_PARAM_STRING,
         "Pixels fetched from beyond the picture when it moves: Void, Edge, Tile or Mirror, or 1 to 4",
         "Outside", Kind::Choice},
        {"delay", F0R_PARAM_DOUBLE, "Stagger between the bands, 0 to 1 (x 100 %)", "Delay", Kind::Fraction},
        {"direction", F0R_PARAM_DOUBLE, "Angle of the bands, 0 to 1 (x 360 degrees)", "Direction", Kind::Angle},
        {"offset", F0R_PARAM_DOUBLE, "Phase of the band grid, 0 to 1 (x 360 degrees)", "Offset", Kind::Angle},
        {"seed", F0R_PARAM_DOUBLE, "Seed of the Random order, 0 to 1 (x 10000, rounded to a whole number)",
         "Seed", Kind::Seed},
        {"width", F0R_PARAM_DOUBLE,
         "Band width, 0 to 1: 1 + 3999 x value^3 pixels, rounded to 0.01 (0.16811 is 20 pixels)", "Width",
         Kind::Width},
        {"draft", F0R_PARAM_BOOL, "Draft quality: no anti-aliasing of the band edges (true at 0.5 and above)",
         nullptr, Kind::Draft},
    }};
    return table;
}

double clampUnit(double value) { return std::clamp(value, 0.0, 1.0); }

double widthPixels(double v) {
    const double u = clampUnit(v);
    return std::round((1.0 + 3999.0 * u * u * u) * 100.0) / 100.0;
}

double widthValue(double pixels) { return std::cbrt(std::clamp((pixels - 1.0) / 3999.0, 0.0, 1.0)); }

double controlValue(Kind kind, double v) {
    const double u = clampUnit(v);
    switch (kind) {
        case Kind::Fraction: return u * 100.0;
        case Kind::Angle: return u * 360.0;
        case Kind::Seed: return std::round(u * 10000.0);
        case Kind::Width: return widthPixels(u);
        case Kind::Choice:
        case Kind::Draft: break;
    }
    return u;
}

double frei0rValue(Kind kind, double control) {
    switch (kind) {
        case Kind::Fraction: return clampUnit(control / 100.0);
        case Kind::Angle: return clampUnit(control / 360.0);
        case Kind::Seed: return clampUnit(control / 10000.0);
        case Kind::Width: return widthValue(control);
        case Kind::Choice:
        case Kind::Draft: break;
    }
    return control;
}

}  // namespace vfrei0r
