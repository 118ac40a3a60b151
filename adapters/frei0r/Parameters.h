// The transition's frei0r parameters: the names MLT and GStreamer users type, their frei0r types,
// which of the module's controls each one sets and how a frei0r value (a double in 0..1, a bool,
// or a choice's text) becomes that control's value in the units the renderer's --set takes. The
// controls' names, choices, ranges and defaults are the module's own, as the host recorded them.
#pragma once

#include "Controls.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vfrei0r {

enum class Kind {
    Fraction,  // DOUBLE 0..1 -> the control's valid range, linearly (Completion, Delay)
    Angle,     // DOUBLE 0..1 -> 0..360 degrees
    Seed,      // DOUBLE 0..1 -> the control's valid range, rounded to a whole number
    Width,     // DOUBLE 0..1 -> the control's valid range on widthPixels' curve
    Choice,    // STRING: a popup's choice text or its 1-based number
    Draft,     // BOOL: Draft layer quality instead of Best
    Reverse,   // BOOL: the inputs taken the other way round
};

// Draft and Reverse are the adapter's own switches; every other kind sets one of the module's controls.
constexpr bool hasControl(Kind kind) { return kind != Kind::Draft && kind != Kind::Reverse; }

struct ParamInfo {
    const char* name;  // the frei0r name
    int control;       // the module's parameter index (PARAM_*); PARAM_INPUT for the switches
    Kind kind;
    // Shown by hosts; states the units (a choice's ", or 1 to {count}" is added to it). explain()
    // fills in the control's own words: {name}, {min}, {max}, {span} (max - min), {default},
    // {default_value} (the default as a frei0r value), {step} (the control's display step),
    // {choices} ("A, B or C"), {choice1}... (one choice) and {count} (the number of choices).
    const char* explanation;
};

inline constexpr std::size_t kParamCount = 14;

// In frei0r index order.
const std::array<ParamInfo, kParamCount>& paramTable();

// The frei0r type of a parameter of this kind (F0R_PARAM_*): STRING for choices, BOOL for the
// switches, DOUBLE for the rest.
int frei0rType(Kind kind);

// The explanation with the control's words filled in (`control` null for the switches).
std::string explain(const ParamInfo& info, const vsession::ControlDef* control);

// A frei0r DOUBLE held to 0..1 (callers drop NaN before: it keeps the previous value).
double clampUnit(double value);

// width = min + (max - min) * v^3 pixels, rounded to the control's display precision: the cube
// spends most of the range on narrow bands, where one pixel matters.
double widthPixels(const vsession::ControlDef& width, double v);
// The frei0r value whose width is `pixels` (the default's frei0r value comes from the module's own
// default through this).
double widthValue(const vsession::ControlDef& width, double pixels);

// The control value in user units for a frei0r double of this kind (Fraction, Angle, Seed, Width).
double controlValue(Kind kind, const vsession::ControlDef& control, double v);
// The frei0r double for a control value in user units (the inverse, for defaults).
double frei0rValue(Kind kind, const vsession::ControlDef& control, double value);

// The inputs in the order the blinds take them: the first closes over the second. Reversed, the
// second input closes over the first, so progress 0 shows the second input and 1 the first (MLT
// hands the lower track as the first input).
void orderInputs(bool reverse, const std::uint32_t*& in1, const std::uint32_t*& in2);

}  // namespace vfrei0r
