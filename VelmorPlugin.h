// The module's face to the host: the single exported entry point, the command handlers it
// dispatches to and the global data.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "VelmorPiPL.h"
#include "VelmorParams.h"

// The effect's global data: a 4-byte host handle holding the id the host gave on registration.
struct GlobalData {
    AEGP_PluginID plugin_id;
};
static_assert(sizeof(GlobalData) == 4, "the global handle holds exactly one 32-bit id");

// Identity and capabilities, from the header the property list is generated from.
constexpr A_u_long kVelmorVersion =
    PF_VERSION(VELMOR_PIPL_VERSION_MAJOR, VELMOR_PIPL_VERSION_MINOR, VELMOR_PIPL_VERSION_BUG,
               VELMOR_PIPL_VERSION_STAGE, VELMOR_PIPL_VERSION_BUILD);
constexpr PF_OutFlags kVelmorOutFlags = VELMOR_PIPL_OUT_FLAGS;
constexpr PF_OutFlags2 kVelmorOutFlags2 = VELMOR_PIPL_OUT_FLAGS2;

static_assert(VELMOR_PIPL_VERSION_STAGE == PF_Stage_RELEASE);
static_assert(kVelmorOutFlags == (PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI),
              "VELMOR_PIPL_OUT_FLAGS must name exactly the capabilities the module has");
static_assert(kVelmorOutFlags2 == (PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE),
              "VELMOR_PIPL_OUT_FLAGS2 must name exactly the capabilities the module has");

// The second line of the About text.
#define VELMOR_ABOUT_CREDIT "A blinds transition by Tavelinor."

PF_Err About(PF_InData* in_data, PF_OutData* out_data);
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err GlobalSetdown(PF_InData* in_data);
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err UpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);

extern "C" PF_ENTRY_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                                 PF_ParamDef* params[], PF_LayerDef* output, void* extra);
