// The transition's frei0r parameters: the names MLT and GStreamer users type, their frei0r types and
// explanations, and how each frei0r value (a double in 0..1, a bool, or a choice's text) becomes the
// value of one of the module's controls in the units the renderer's --set takes.
#pragma once

#include <array>
#include <cstddef>

namespace vfrei0r {

enum class Kind {
    Fraction,  // DOUBLE 0..1 -> 0..100 % (Completion, Delay)
    Angle,     // DOUBLE 0..1 -> 0..360 degrees
    Seed,      // DOUBLE 0..1 -> 0..10000, rounded to a whole number
    Width,     // DOUBLE 0..1 -> 1..4000 pixels on widthPixels' curve
    Choice,    // STRING: a popup's choice text or its 1-based number
    Draft,     // BOOL: Draft layer quality instead of Best
};

struct ParamInfo {
    const char* name;         // the frei0r name
    int type;                 // F0R_PARAM_*
    const char* explanation;  // shown by hosts; states the units
    const char* control;      // the module's control it sets; null for draft
    Kind kind;
};

inline constexpr std::size_t kParamCount = 13;

// In frei0r index order.
const std::array<ParamInfo, kParamCount>& paramTable();

// A frei0r DOUBLE held to 0..1 (callers drop NaN before: it keeps the previous value).
double clampUnit(double value);

// width = 1 + 3999 * v^3 pixels, rounded to hundredths (the module shows Width with two decimals):
// the cube spends most of the range on narrow bands, where one pixel matters.
double widthPixels(double v);
// The frei0r value whose width is `pixels` (the default's frei0r value comes from the module's own
// default through this).
double widthValue(double pixels);

// The control value in user units for a frei0r double of this kind (Fraction, Angle, Seed, Width).
double controlValue(Kind kind, double v);
// The frei0r double for a control value in user units (the inverse, for defaults).
double frei0rValue(Kind kind, double control);

}  // namespace vfrei0r
