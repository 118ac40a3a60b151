// The effect's controls as the module declares them, and the command line's ways of setting them:
// "--set NAME=VALUE" for a fixed value and "--key NAME=VALUE@FRAME[,VALUE@FRAME...]" for an animated
// one. Values are held in the units a user types: popups by 1-based number, Completion and Delay in
// percent, angles in degrees, Width in pixels, Seed as a whole number; encodeValue/decodeValue move
// them into and out of the host's parameter records.
#pragma once

#include "AE_Effect.h"
#include "FixedPoint.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vblind {

struct ControlDef {
    int index = 0;  // parameter index, equal to its id
    std::string name;
    PF_ParamType type = PF_Param_RESERVED;
    bool percent = false;  // fixed slider shown in percent
    bool hasRange = true;  // angles carry no valid range
    double validMin = 0, validMax = 0;
    double sliderMin = 0, sliderMax = 0;
    double defaultValue = 0;
    int precision = 0;
    std::vector<std::string> choices;  // popups
    PF_ParamFlags flags = 0;
    PF_ParamUIFlags uiFlags = 0;
};

// One declared parameter, read from the record the module handed to add_param. Throws a ToolError
// (exit 1) for a type the tool does not know.
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
// What a control accepts, for error sentences and help: "one of One, Both (or 1 to 2)".
std::string describeAccepted(const ControlDef& control);

// Case, spaces, '-' and '_' do not count: "easing mode", "EasingMode", "easing_mode".
std::string normalizeName(std::string_view name);

// Looks a control up by name; a usage ToolError names the controls there are.
const ControlDef& findControl(const std::vector<ControlDef>& controls, std::string_view name);

// Parses one value for a control; refuses out-of-range numbers, unknown choices, malformed text.
double parseValue(const ControlDef& control, std::string_view text);

struct Key {
    int frame = 0;
    double value = 0;
};

// What the command line asks for one control: a fixed value, or keys sorted by frame.
struct ControlSetting {
    bool animated = false;
    double value = 0;       // when not animated
    std::vector<Key> keys;  // when animated; at least one, frames distinct and ascending
};

// Settings by parameter index; controls not mentioned keep their defaults.
using ControlPlan = std::map<int, ControlSetting>;

ControlPlan parseSettings(const std::vector<ControlDef>& controls, const std::vector<std::string>& sets,
                          const std::vector<std::string>& keys);

}  // namespace vblind
