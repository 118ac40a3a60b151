#include "Parameters.h"

#include "VelmorParams.h"

// frei0r.h declares its functions without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace vfrei0r {

const std::array<ParamInfo, kParamCount>& paramTable() {
    static const std::array<ParamInfo, kParamCount> table = {{
        {"progress", PARAM_COMPLETION, Kind::Fraction,
         "{name}, 0 to 1 (x {max} %): 0 shows the first input whole, 1 the second"},
        {"mode", PARAM_MODE, Kind::Choice,
         "How a band closes: {choice1} (from its leading edge) or {choice2} (towards its centre line)"},
        {"order", PARAM_ORDER, Kind::Choice, "Order in which the bands close: {choices}"},
        {"easing", PARAM_EASING, Kind::Choice, "Each band's easing curve: {choices}"},
        {"easing_mode", PARAM_EASING_MODE, Kind::Choice, "Where the easing acts: {choices}"},
        {"state", PARAM_STATE, Kind::Choice,
         "The picture inside a closing band: {choice1}, {choice2} (slides with the edge) or {choice3} "
         "(squeezed)"},
        {"outside", PARAM_OUTSIDE, Kind::Choice,
         "Pixels fetched from beyond the picture when it moves: {choices}"},
        {"delay", PARAM_DELAY, Kind::Fraction, "Stagger between the bands, 0 to 1 (x {max} %)"},
        {"direction", PARAM_DIRECTION, Kind::Angle, "Angle of the bands, 0 to 1 (x 360 degrees)"},
        {"offset", PARAM_OFFSET, Kind::Angle, "Phase of the band grid, 0 to 1 (x 360 degrees)"},
        {"seed", PARAM_SEED, Kind::Seed,
         "Seed of the Random order, 0 to 1 (x {max}, rounded to a whole number)"},
        // Not "width": MLT keeps its frame width under that name and its XML writers drop it.
        {"band_width", PARAM_WIDTH, Kind::Width,
         "Band width, 0 to 1: {min} + {span} x value^3 pixels, rounded to {step} "
         "({default_value} is {default} pixels)"},
        {"draft", PARAM_INPUT, Kind::Draft,
         "Draft quality: no anti-aliasing of the band edges (true at 0.5 and above)"},
        {"reverse", PARAM_INPUT, Kind::Reverse,
         "Reverse: the second input closes in blinds over the first, so 0 shows the second input whole "
         "and 1 the first (true at 0.5 and above)"},
    }};
    return table;
}

namespace {

std::string printed(const char* format, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

// "100", "3999", "0.05": the shortest text that reads back the same.
std::string plain(double v) { return printed("%.10g", v); }

// 10^precision: the control shows its values in steps of its inverse.
double displayScale(const vsession::ControlDef& c) {
    double scale = 1.0;
    for (int i = 0; i < c.precision; ++i) scale *= 10.0;
    return scale;
}

std::string choiceList(const std::vector<std::string>& choices) {
    std::string list;
    for (std::size_t i = 0; i < choices.size(); ++i)
        list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    return list;
}

// The text a {field} of an explanation stands for; unknown fields stay as written.
std::string field(const std::string& key, const ParamInfo& info, const vsession::ControlDef& c) {
    if (key == "name") return c.name;
    if (key == "min") return plain(c.validMin);
    if (key == "max") return plain(c.validMax);
    if (key == "span") return plain(c.validMax - c.validMin);
    if (key == "default") return plain(c.defaultValue);
    if (key == "default_value") return printed("%.5f", frei0rValue(info.kind, c, c.defaultValue));
    if (key == "step")
        return printed(("%." + std::to_string(c.precision) + "f").c_str(), 1.0 / displayScale(c));
    if (key == "count") return std::to_string(c.choices.size());
    if (key == "choices") return choiceList(c.choices);
    if (key.rfind("choice", 0) == 0) {
        const std::size_t n = std::strtoul(key.c_str() + 6, nullptr, 10);
        if (n >= 1 && n <= c.choices.size()) return c.choices[n - 1];
    }
    return "{" + key + "}";
}

}  // namespace

int frei0rType(Kind kind) {
    switch (kind) {
        case Kind::Choice: return F0R_PARAM_STRING;
        case Kind::Draft:
        case Kind::Reverse: return F0R_PARAM_BOOL;
        case Kind::Fraction:
        case Kind::Angle:
        case Kind::Seed:
        case Kind::Width: break;
    }
    return F0R_PARAM_DOUBLE;
}

std::string explain(const ParamInfo& info, const vsession::ControlDef* control) {
    // A choice is also taken by its number.
    const std::string text =
        std::string(info.explanation) + (info.kind == Kind::Choice ? ", or 1 to {count}" : "");
    if (!control) return text;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t open = text.find('{', at);
        const std::size_t close = open == std::string::npos ? open : text.find('}', open);
        if (close == std::string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at) + field(text.substr(open + 1, close - open - 1), info, *control);
        at = close + 1;
    }
    return out;
}

double clampUnit(double value) { return std::clamp(value, 0.0, 1.0); }

double widthPixels(const vsession::ControlDef& width, double v) {
    const double u = clampUnit(v);
    const double scale = displayScale(width);
    return std::round((width.validMin + (width.validMax - width.validMin) * u * u * u) * scale) / scale;
}

double widthValue(const vsession::ControlDef& width, double pixels) {
    return std::cbrt(std::clamp((pixels - width.validMin) / (width.validMax - width.validMin), 0.0, 1.0));
}

double controlValue(Kind kind, const vsession::ControlDef& c, double v) {
    const double u = clampUnit(v);
    switch (kind) {
        case Kind::Fraction: return c.validMin + u * (c.validMax - c.validMin);
        case Kind::Angle: return u * 360.0;
        case Kind::Seed: return std::round(c.validMin + u * (c.validMax - c.validMin));
        case Kind::Width: return widthPixels(c, u);
        case Kind::Choice:
        case Kind::Draft:
        case Kind::Reverse: break;
    }
    return u;
}

double frei0rValue(Kind kind, const vsession::ControlDef& c, double value) {
    switch (kind) {
        case Kind::Fraction:
        case Kind::Seed: return clampUnit((value - c.validMin) / (c.validMax - c.validMin));
        case Kind::Angle: return clampUnit(value / 360.0);
        case Kind::Width: return widthValue(c, value);
        case Kind::Choice:
        case Kind::Draft:
        case Kind::Reverse: break;
    }
    return value;
}

void orderInputs(bool reverse, const std::uint32_t*& in1, const std::uint32_t*& in2) {
    if (reverse) std::swap(in1, in2);
}

}  // namespace vfrei0r
