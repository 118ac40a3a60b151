// The effect's controls, each described once: what ParamsSetup declares to the host, when
// UpdateParamsUI greys a control out, and how SmartPreRender turns its value into the unit the
// render works in. Everything else that knows a control (the renderer, the frei0r transition)
// reads it back from what the host recorded.
#pragma once

#include "AE_Effect.h"
#include "VelmorParams.h"
#include "VelmorSmartRender.h"

#include "VelmorBlindCodes.h"
#include "VelmorEasing.h"
#include "VelmorGeneral.h"

// How SmartPreRender turns a control's value into the render's unit.
enum class RenderUnit {
    Code,      // popup item or slider value, unchanged
    Fraction,  // a percentage, as a fraction 0..1
    Pixels,    // full-resolution pixels, as pixels of the downsampled image (at least 1)
    Radians,   // degrees, reduced to one turn, in radians
    Turn,      // degrees, reduced to one turn, as a fraction of the turn
};

// A control greyed out while a popup leaves it without effect: while the popup `by` holds `item`,
// or, with `unless`, while it holds any other item. `by` PARAM_INPUT: never greyed out.
struct ControlGreying {
    A_long by = PARAM_INPUT;
    A_long item = 0;
    bool unless = false;
};

struct ControlInfo {
    A_long index = PARAM_INPUT;  // the PARAM_* index, also the id it is declared with
    const char* name = nullptr;
    PF_ParamType type = PF_Param_RESERVED;
    // Sliders' ranges, in the units the user sees; angles have none (all 0).
    double valid_min = 0, valid_max = 0;
    double slider_min = 0, slider_max = 0;
    double dephault = 0;  // popups: the 1-based item
    A_short precision = 0;
    A_short display_flags = PF_ValueDisplayFlag_NONE;
    PF_FpShort curve_tolerance = 0;  // float sliders
    const char* choices = nullptr;   // popups: the items, separated by '|'
    ControlGreying greying = {};
    RenderUnit unit = RenderUnit::Code;
    // Where SmartPreRender stores the converted value: `code` for RenderUnit::Code, else `real`.
    A_long PreRenderParams::*code = nullptr;
    double PreRenderParams::*real = nullptr;
};

constexpr int kControlCount = PARAM_COUNT - 1;

// A popup's number of items: the '|' separators plus one.
constexpr A_short choiceCount(const char* choices) {
    A_short n = 1;
    for (const char* c = choices; *c; ++c) n += *c == '|';
    return n;
}

// Whether `control` is greyed out while its deciding popup holds `item`.
constexpr bool greyedOut(const ControlInfo& control, A_long item) {
    return (item == control.greying.item) != control.greying.unless;
}

// Every parameter but the input layer, in index order: kControls[i].index is i + 1. Fields not
// named are zero (a control without a greying rule is never greyed out).
inline constexpr ControlInfo kControls[kControlCount] = {
    {.index = PARAM_MODE,
     .name = "Mode",
     .type = PF_Param_POPUP,
     .dephault = Velmor::BlindCodes::One,
     .choices = "One|Both",
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::mode},
    {.index = PARAM_COMPLETION,
     .name = "Completion",
     .type = PF_Param_FIX_SLIDER,
     .valid_min = 0,
     .valid_max = 100,
     .slider_min = 0,
     .slider_max = 100,
     .dephault = 0,
     .precision = 1,
     .display_flags = PF_ValueDisplayFlag_PERCENT,
     .unit = RenderUnit::Fraction,
     .real = &PreRenderParams::completion},
    {.index = PARAM_DELAY,
     .name = "Delay",
     .type = PF_Param_FIX_SLIDER,
     .valid_min = 0,
     .valid_max = 100,
     .slider_min = 0,
     .slider_max = 100,
     .dephault = 10,
     .precision = 1,
     .display_flags = PF_ValueDisplayFlag_PERCENT,
     .unit = RenderUnit::Fraction,
     .real = &PreRenderParams::delay},
    // Typed values reach 4000 pixels; the slider spans the useful 1 to 100.
    {.index = PARAM_WIDTH,
     .name = "Width",
     .type = PF_Param_FLOAT_SLIDER,
     .valid_min = 1,
     .valid_max = 4000,
     .slider_min = 1,
     .slider_max = 100,
     .dephault = 20,
     .precision = 2,
     .display_flags = PF_ValueDisplayFlag_NONE,
     .curve_tolerance = 0.05f,
     .unit = RenderUnit::Pixels,
     .real = &PreRenderParams::width},
    {.index = PARAM_DIRECTION,
     .name = "Direction",
     .type = PF_Param_ANGLE,
     .dephault = 90,
     .unit = RenderUnit::Radians,
     .real = &PreRenderParams::direction},
    {.index = PARAM_OFFSET,
     .name = "Offset",
     .type = PF_Param_ANGLE,
     .dephault = 0,
     .unit = RenderUnit::Turn,
     .real = &PreRenderParams::offset},
    {.index = PARAM_ORDER,
     .name = "Order",
     .type = PF_Param_POPUP,
     .dephault = Velmor::BlindCodes::Normal,
     .choices = "Normal|Inverse|Random",
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::order},
    // Only the Random order draws from the seed.
    {.index = PARAM_SEED,
     .name = "Seed",
     .type = PF_Param_SLIDER,
     .valid_min = 0,
     .valid_max = 10000,
     .slider_min = 0,
     .slider_max = 100,
     .dephault = 0,
     .greying = {PARAM_ORDER, Velmor::BlindCodes::RandomOrder, true},
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::seed},
    {.index = PARAM_EASING,
     .name = "Easing",
     .type = PF_Param_POPUP,
     .dephault = Velmor::Easing::Linear,
     .choices = "Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce",
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::easing_type},
    // A linear curve is the same in every mode.
    {.index = PARAM_EASING_MODE,
     .name = "Easing Mode",
     .type = PF_Param_POPUP,
     .dephault = Velmor::Easing::InOut,
     .choices = "In|Out|InOut",
     .greying = {PARAM_EASING, Velmor::Easing::Linear, false},
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::easing_mode},
    {.index = PARAM_STATE,
     .name = "State",
     .type = PF_Param_POPUP,
     .dephault = Velmor::BlindCodes::Still,
     .choices = "Still|Move|Shrink",
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::state},
    // Only a moving or squeezed picture fetches pixels from beyond its edges.
    {.index = PARAM_OUTSIDE,
     .name = "Outside",
     .type = PF_Param_POPUP,
     .dephault = Velmor::Border::Mirror,
     .choices = "Void|Edge|Tile|Mirror",
     .greying = {PARAM_STATE, Velmor::BlindCodes::Still, false},
     .unit = RenderUnit::Code,
     .code = &PreRenderParams::border_type},
};

constexpr bool controlsInIndexOrder() {
    for (int i = 0; i < kControlCount; ++i) {
        if (kControls[i].index != i + 1) return false;
    }
    return true;
}
static_assert(controlsInIndexOrder(), "kControls lists every parameter but the input, in index order");
