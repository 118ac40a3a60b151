#include "Controls.h"

#include "Error.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vblind {

namespace {

// The largest angle a 16.16 fixed-point value holds, in whole degrees.
constexpr double kFixedLimit = 32767.0;

std::string trim(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

std::string number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// Shortest text that reads back the same: "100", "0.05", "4000".
std::string plain(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Strips one of the unit suffixes a control allows ("%", "°", "deg", "px"); whitespace before it is
// fine. Returns the text unchanged when none is there.
std::string stripUnit(const ControlDef& c, std::string text) {
    std::vector<std::string_view> units;
    if (c.type == PF_Param_FIX_SLIDER && c.percent) units = {"%"};
    if (c.type == PF_Param_ANGLE) units = {"\xC2\xB0", "degrees", "degree", "deg"};
    if (c.type == PF_Param_FLOAT_SLIDER) units = {"pixels", "pixel", "px"};
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    for (std::string_view unit : units)
        if (endsWith(lower, unit)) return trim(std::string_view(text).substr(0, text.size() - unit.size()));
    return text;
}

bool parseNumber(const std::string& text, double& out) {
    if (text.empty()) return false;
    const char* b = text.data();
    const char* e = b + text.size();
    if (*b == '+') ++b;
    auto [end, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && end == e && std::isfinite(out);
}

[[noreturn]] void refuse(const ControlDef& c, std::string_view text) {
    usageError(c.name + " accepts " + describeAccepted(c) + ", not \"" + std::string(text) + "\".");
}

}  // namespace

const char* typeName(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_SLIDER: return "slider";
        case PF_Param_FIX_SLIDER: return "fixed slider";
        case PF_Param_ANGLE: return "angle";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_COLOR: return "color";
        case PF_Param_POINT: return "point";
        case PF_Param_POPUP: return "popup";
        case PF_Param_FLOAT_SLIDER: return "float slider";
        default: return "unknown";
    }
}

ControlDef describeControl(int index, const PF_ParamDef& def) {
    ControlDef c;
    c.index = index;
    c.name.assign(def.name, std::find(def.name, def.name + sizeof def.name, '\0'));
    c.type = def.param_type;
    c.flags = def.flags;
    c.uiFlags = def.ui_flags;
    switch (def.param_type) {
        case PF_Param_POPUP: {
            const auto& pd = def.u.pd;
            c.validMin = c.sliderMin = 1;
            c.validMax = c.sliderMax = pd.num_choices;
            c.defaultValue = pd.dephault;
            std::string names = pd.u.namesptr ? pd.u.namesptr : "";
            std::size_t start = 0;
            for (;;) {
                const std::size_t bar = names.find('|', start);
                c.choices.push_back(names.substr(start, bar - start));
                if (bar == std::string::npos) break;
                start = bar + 1;
            }
            // The count the module declared is what the host enforces.
            c.choices.resize(static_cast<std::size_t>(std::max<int>(0, pd.num_choices)));
            break;
        }
        case PF_Param_FIX_SLIDER: {
            const auto& fd = def.u.fd;
            c.percent = (fd.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
            c.validMin = fromFixed(fd.valid_min);
            c.validMax = fromFixed(fd.valid_max);
            c.sliderMin = fromFixed(fd.slider_min);
            c.sliderMax = fromFixed(fd.slider_max);
            c.defaultValue = fromFixed(fd.dephault);
            c.precision = fd.precision;
            break;
        }
        case PF_Param_FLOAT_SLIDER: {
            const auto& fs = def.u.fs_d;
            c.validMin = fs.valid_min;
            c.validMax = fs.valid_max;
            c.sliderMin = fs.slider_min;
            c.sliderMax = fs.slider_max;
            c.defaultValue = fs.dephault;
            c.precision = fs.precision;
            break;
        }
        case PF_Param_ANGLE: {
            const auto& ad = def.u.ad;
            c.hasRange = ad.valid_min != 0 || ad.valid_max != 0;
            c.validMin = c.hasRange ? fromFixed(ad.valid_min) : -kFixedLimit;
            c.validMax = c.hasRange ? fromFixed(ad.valid_max) : kFixedLimit;
            c.defaultValue = fromFixed(ad.dephault);
            c.precision = 1;
            break;
        }
        case PF_Param_SLIDER: {
            const auto& sd = def.u.sd;
            c.validMin = sd.valid_min;
            c.validMax = sd.valid_max;
            c.sliderMin = sd.slider_min;
            c.sliderMax = sd.slider_max;
            c.defaultValue = sd.dephault;
            break;
        }
        default:
            failure("the module declares parameter " + std::to_string(index) + " (\"" + c.name +
                    "\") with type " + std::to_string(def.param_type) + ", which this tool cannot set.");
    }
    return c;
}

void encodeValue(const ControlDef& c, double value, PF_ParamDef& def) {
    switch (c.type) {
        case PF_Param_POPUP: def.u.pd.value = static_cast<A_long>(std::lround(value)); break;
        case PF_Param_FIX_SLIDER: def.u.fd.value = toFixed(value); break;
        case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = value; break;
        case PF_Param_ANGLE: def.u.ad.value = toFixed(value); break;
        case PF_Param_SLIDER: def.u.sd.value = static_cast<PF_ParamValue>(std::lround(value)); break;
        default: break;
    }
}

double decodeValue(const ControlDef& c, const PF_ParamDef& def) {
    switch (c.type) {
        case PF_Param_POPUP: return def.u.pd.value;
        case PF_Param_FIX_SLIDER: return fromFixed(def.u.fd.value);
        case PF_Param_FLOAT_SLIDER: return def.u.fs_d.value;
        case PF_Param_ANGLE: return fromFixed(def.u.ad.value);
        case PF_Param_SLIDER: return def.u.sd.value;
        default: return 0;
    }
}

std::string formatValue(const ControlDef& c, double value) {
    switch (c.type) {
        case PF_Param_POPUP: {
            const long n = std::lround(value);
            if (n >= 1 && n <= static_cast<long>(c.choices.size()))
                return c.choices[static_cast<std::size_t>(n - 1)];
            return "#" + std::to_string(n);
        }
        case PF_Param_FIX_SLIDER: return number(value, c.precision) + (c.percent ? "%" : "");
        case PF_Param_FLOAT_SLIDER: return number(value, c.precision);
        case PF_Param_ANGLE: return number(value, c.precision) + "\xC2\xB0";
        case PF_Param_SLIDER: return std::to_string(std::lround(value));
        default: return plain(value);
    }
}

std::string describeAccepted(const ControlDef& c) {
    const std::string range = plain(c.validMin) + " to " + plain(c.validMax);
    switch (c.type) {
        case PF_Param_POPUP: {
            std::string list;
            for (std::size_t i = 0; i < c.choices.size(); ++i) list += (i ? ", " : "") + c.choices[i];
            return "one of " + list + " (or its number, 1 to " + std::to_string(c.choices.size()) + ")";
        }
        case PF_Param_FIX_SLIDER: return c.percent ? "a percentage from " + range : "a number from " + range;
        case PF_Param_FLOAT_SLIDER: return "a number of pixels from " + range;
        case PF_Param_ANGLE: return "an angle in degrees from " + range;
        case PF_Param_SLIDER: return "a whole number from " + range;
        default: return "nothing";
    }
}

std::string normalizeName(std::string_view name) {
    std::string out;
    for (unsigned char ch : name)
        if (!std::isspace(ch) && ch != '-' && ch != '_') out += static_cast<char>(std::tolower(ch));
    return out;
}

const ControlDef& findControl(const std::vector<ControlDef>& controls, std::string_view name) {
    const std::string wanted = normalizeName(name);
    for (const ControlDef& c : controls)
        if (normalizeName(c.name) == wanted) return c;
    std::string list;
    for (std::size_t i = 0; i < controls.size(); ++i) list += (i ? ", " : "") + controls[i].name;
    usageError("there is no control named \"" + trim(name) + "\"; the controls are " + list + ".");
}

double parseValue(const ControlDef& c, std::string_view raw) {
    const std::string text = trim(raw);
    if (c.type == PF_Param_POPUP) {
        const std::string wanted = normalizeName(text);
        for (std::size_t i = 0; i < c.choices.size(); ++i)
            if (normalizeName(c.choices[i]) == wanted && !wanted.empty()) return static_cast<double>(i + 1);
        double n = 0;
        if (parseNumber(text, n) && n == std::floor(n) && n >= 1 &&
            n <= static_cast<double>(c.choices.size()))
            return n;
        refuse(c, text);
    }
    double v = 0;
    if (!parseNumber(stripUnit(c, text), v)) refuse(c, text);
    if (c.type == PF_Param_SLIDER && v != std::floor(v)) refuse(c, text);
    if (v < c.validMin || v > c.validMax) refuse(c, text);
    return v;
}

namespace {

// "NAME=REST": the control and the text after the first '='.
std::pair<const ControlDef*, std::string> splitAssignment(const std::vector<ControlDef>& controls,
                                                          const std::string& text, const char* option,
                                                          const char* example) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || trim(std::string_view(text).substr(0, eq)).empty())
        usageError(std::string(option) + " \"" + text + "\" is not written as " +
                   (std::string(option) == "--set" ? "NAME=VALUE" : "NAME=VALUE@FRAME,...") +
                   " (for example " + option + " \"" + example + "\").");
    return {&findControl(controls, std::string_view(text).substr(0, eq)), text.substr(eq + 1)};
}

int parseKeyFrame(const ControlDef& c, const std::string& key, std::string_view text) {
    const std::string t = trim(text);
    int frame = -1;
    const bool digits = !t.empty() && t.size() <= 7 &&
                        std::all_of(t.begin(), t.end(), [](unsigned char ch) { return std::isdigit(ch); });
    if (digits) std::from_chars(t.data(), t.data() + t.size(), frame);
    if (!digits || frame < 0)
        usageError("the key \"" + key + "\" of " + c.name +
                   " has no valid frame after '@': write "
                   "VALUE@FRAME with a whole frame number from 0 to 9999999.");
    return frame;
}

}  // namespace

ControlPlan parseSettings(const std::vector<ControlDef>& controls, const std::vector<std::string>& sets,
                          const std::vector<std::string>& keys) {
    ControlPlan plan;
    auto claim = [&](const ControlDef& c) -> ControlSetting& {
        if (plan.count(c.index))
            usageError(c.name +
                       " is given more than once; set it with one --set or animate it with one "
                       "--key.");
        return plan[c.index];
    };
    for (const std::string& text : sets) {
        auto [control, value] = splitAssignment(controls, text, "--set", "Easing Mode=InOut");
        ControlSetting& s = claim(*control);
        s.value = parseValue(*control, value);
    }
    for (const std::string& text : keys) {
        auto [control, list] = splitAssignment(controls, text, "--key", "Completion=0@1,100@48");
        ControlSetting& s = claim(*control);
        s.animated = true;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = list.find(',', start);
            const std::string key = list.substr(start, comma - start);
            const std::size_t at = key.rfind('@');
            if (at == std::string::npos)
                usageError("the key \"" + key + "\" of " + control->name +
                           " has no frame: write "
                           "VALUE@FRAME, keys separated by commas (for example 0@1,100@48).");
            Key k;
            k.value = parseValue(*control, std::string_view(key).substr(0, at));
            k.frame = parseKeyFrame(*control, key, std::string_view(key).substr(at + 1));
            for (const Key& other : s.keys)
                if (other.frame == k.frame)
                    usageError(control->name + " has two keys on frame " + std::to_string(k.frame) + ".");
            s.keys.push_back(k);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        std::sort(s.keys.begin(), s.keys.end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
    }
    return plan;
}

}  // namespace vblind
