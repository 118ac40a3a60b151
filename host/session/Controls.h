// The effect's controls as the module declares them, read back from the records it handed to
// add_param, and their values in the units a user types: popups by 1-based number, Completion and
// Delay in percent, angles in degrees, Width in pixels, Seed as a whole number. encodeValue and
// decodeValue move values into and out of the host's parameter records through the host's codec
// for the type; readValue takes a value as text. How a program lets its user set them (the
// renderer's --set and --key, frei0r's parameters) is that program's own.
#pragma once

#include "AE_Effect.h"
#include "FixedPoint.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vsession {

struct ControlDef {
    int index = 0;  // parameter index, equal to its id
    std::string name;
    PF_ParamType type = PF_Param_RESERVED;
    bool percent = false;  // fixed slider shown in percent
    bool hasRange = true;  // false: an angle that declares none (it takes what 16.16 holds)
    double validMin = 0, validMax = 0;
    double sliderMin = 0, sliderMax = 0;
    double defaultValue = 0;
    int precision = 0;
    std::vector<std::string> choices;  // popups
    PF_ParamFlags flags = 0;
    PF_ParamUIFlags uiFlags = 0;
};

// One declared parameter, read from the record the module handed to add_param. Throws a
// SessionError for a type the host cannot set.
ControlDef describeControl(int index, const PF_ParamDef& def);

const char* typeName(PF_ParamType type);

// 16.16 fixed point, rounded half away from zero: the host's conversion.
using vhost::fromFixed;
using vhost::toFixed;

// The host record's value <-> the user's units.
void encodeValue(const ControlDef& control, double value, PF_ParamDef& def);
double decodeValue(const ControlDef& control, const PF_ParamDef& def);

// "Both", "25%", "30°", "20.00", "7": a value as the user would type it back.
std::string formatValue(const ControlDef& control, double value);
// Shortest text that reads back as the same number: "100", "0.05", "4000".
std::string plainNumber(double v);
// What a control accepts, for error sentences and help: "one of One, Both (or 1 to 2)".
std::string describeAccepted(const ControlDef& control);

// Case, spaces, '-' and '_' do not count: "easing mode", "EasingMode", "easing_mode".
std::string normalizeName(std::string_view name);

// The control with this name as normalizeName compares names; null when there is none.
const ControlDef* findByName(const std::vector<ControlDef>& controls, std::string_view name);

// Spaces trimmed from both ends.
std::string trim(std::string_view text);

// One value for a control as a user writes it: a choice's name or number, a number with the
// control's unit or without; nullopt for out-of-range numbers, unknown choices, malformed text.
std::optional<double> readValue(const ControlDef& control, std::string_view text);

}  // namespace vsession
