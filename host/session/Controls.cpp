#include "Controls.h"

#include "ParamCodec.h"
#include "SessionError.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vsession {

namespace {

std::string number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
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

}  // namespace

std::string plainNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string trim(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

const char* typeName(PF_ParamType type) {
    if (const vhost::ParamCodec* codec = vhost::paramCodec(type)) return codec->typeName;
    switch (type) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_COLOR: return "color";
        case PF_Param_POINT: return "point";
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
    const vhost::ParamCodec* codec = vhost::paramCodec(def.param_type);
    if (!codec)
        throw SessionError("the module declares parameter " + std::to_string(index) + " (\"" + c.name +
                           "\") with type " + std::to_string(def.param_type) +
                           ", which this tool cannot set.");
    const vhost::ParamRange valid = codec->valid(def), slider = codec->slider(def);
    c.validMin = valid.min;
    c.validMax = valid.max;
    c.sliderMin = slider.min;
    c.sliderMax = slider.max;
    c.defaultValue = codec->dephault(def);
    c.precision = codec->precision(def);
    if (def.param_type == PF_Param_FIX_SLIDER)
        c.percent = (def.u.fd.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
    if (def.param_type == PF_Param_ANGLE) c.hasRange = vhost::angleHasRange(def.u.ad);
    if (def.param_type == PF_Param_POPUP) {
        c.choices = vhost::popupChoices(def);
        // The count the module declared is what the host enforces.
        c.choices.resize(static_cast<std::size_t>(std::max<int>(0, def.u.pd.num_choices)));
    }
    return c;
}

void encodeValue(const ControlDef& c, double value, PF_ParamDef& def) {
    if (const vhost::ParamCodec* codec = vhost::paramCodec(c.type)) codec->encode(def, value);
}

double decodeValue(const ControlDef& c, const PF_ParamDef& def) {
    const vhost::ParamCodec* codec = vhost::paramCodec(c.type);
    return codec ? codec->decode(def) : 0;
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
        default: return plainNumber(value);
    }
}

std::string describeAccepted(const ControlDef& c) {
    const std::string range = plainNumber(c.validMin) + " to " + plainNumber(c.validMax);
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

const ControlDef* findByName(const std::vector<ControlDef>& controls, std::string_view name) {
    const std::string wanted = normalizeName(name);
    for (const ControlDef& c : controls)
        if (normalizeName(c.name) == wanted) return &c;
    return nullptr;
}

std::optional<double> readValue(const ControlDef& c, std::string_view raw) {
    const std::string text = trim(raw);
    if (c.type == PF_Param_POPUP) {
        const std::string wanted = normalizeName(text);
        for (std::size_t i = 0; i < c.choices.size(); ++i)
            if (normalizeName(c.choices[i]) == wanted && !wanted.empty()) return static_cast<double>(i + 1);
        double n = 0;
        if (parseNumber(text, n) && n == std::floor(n) && n >= 1 &&
            n <= static_cast<double>(c.choices.size()))
            return n;
        return std::nullopt;
    }
    double v = 0;
    if (!parseNumber(stripUnit(c, text), v)) return std::nullopt;
    if (c.type == PF_Param_SLIDER && v != std::floor(v)) return std::nullopt;
    if (v < c.validMin || v > c.validMax) return std::nullopt;
    return v;
}

}  // namespace vsession
