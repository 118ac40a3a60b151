// One codec per parameter type the host holds a value for: the range a definition accepts, the
// slider range and default it declares, and how a value in user units goes into the record's value
// field and comes back out. The host's checks and encodings (Effect) and the session library's
// control descriptions read the same table, so the two cannot disagree about a type.
//
// User units: popups 1..choices, sliders whole numbers, fixed sliders in their units (percent),
// angles in degrees, float sliders as doubles.
#pragma once

#include "AE_Effect.h"

#include <string>
#include <vector>

namespace vhost {

// What 16.16 fixed point holds, in whole degrees: the range of an angle that declares none.
inline constexpr double kAngleMin = -32768.0;
inline constexpr double kAngleMax = 32767.0;

struct ParamRange {
    double min = 0;
    double max = 0;
};

struct ParamCodec {
    const char* typeName;  // "fixed slider", as the renderer's info lists it
    bool wholeNumbers;     // only whole numbers are values (sliders, popups)
    // What setValue accepts: the valid range (popups 1..num_choices; an angle whose valid_min equals
    // its valid_max declares no range and takes anything 16.16 holds).
    ParamRange (*valid)(const PF_ParamDef& def);
    // The slider's span as declared (zero for types without a slider).
    ParamRange (*slider)(const PF_ParamDef& def);
    double (*dephault)(const PF_ParamDef& def);
    int (*precision)(const PF_ParamDef& def);  // decimals the control shows
    // The record's value field in user units, and back: fixed-point values rounded to nearest,
    // whole-number types rounded and held to 32 bits.
    double (*decode)(const PF_ParamDef& def);
    void (*encode)(PF_ParamDef& def, double value);
};

// The codec of a type whose value the host holds; null for layers and types it does not know.
const ParamCodec* paramCodec(PF_ParamType type);

// Whether an angle declares a valid range of its own.
inline bool angleHasRange(const PF_AngleDef& ad) { return ad.valid_min != ad.valid_max; }

// A popup's choices, split at '|' (none for other types, or without a choice string).
std::vector<std::string> popupChoices(const PF_ParamDef& def);

}  // namespace vhost
