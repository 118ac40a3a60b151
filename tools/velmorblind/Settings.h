// The command line's ways of setting the effect's controls: "--set NAME=VALUE" for a fixed value and
// "--key NAME=VALUE@FRAME[,VALUE@FRAME...]" for an animated one, in the units the session library's
// controls take. Every refusal is a usage ToolError (exit status 2) of one sentence.
#pragma once

#include "Controls.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vblind {

// The session library's controls, under the renderer's names.
using vsession::ControlDef;
using vsession::decodeValue;
using vsession::describeAccepted;
using vsession::encodeValue;
using vsession::formatValue;
using vsession::fromFixed;
using vsession::normalizeName;
using vsession::toFixed;
using vsession::typeName;

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
