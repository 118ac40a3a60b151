// An in-process effect module whose entry point runs whatever the test scripts, so the host's
// side of each command can be driven and inspected without a module file.
#pragma once

#include "AE_EffectSuites.h"
#include "Effect.h"
#include "Host.h"

#include <cstdio>
#include <functional>
#include <memory>

namespace vtest {

using vhost::Module;
using vhost::Pipl;

using Script = std::function<PF_Err(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**)>;

inline Script& script() {
    static Script s;
    return s;
}

inline PF_Err scriptedEntry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef*,
                            void*) {
    return script() ? script()(cmd, in, out, params) : PF_Err_NONE;
}

inline std::shared_ptr<Module> scriptedModule(Pipl pipl = {}) {
    return Module::fromEntryPoint(&scriptedEntry, std::move(pipl), "scripted");
}

// A suite table fetched through the basic suite the host hands to modules.
template <typename Suite>
const Suite* acquire(SPBasicSuite* basic, const char* name, int version) {
    const void* table = nullptr;
    return basic->AcquireSuite(name, version, &table) == kSPNoError ? static_cast<const Suite*>(table)
                                                                    : nullptr;
}

// Fills a definition the way a module's ParamsSetup does.
inline PF_ParamDef popupDef(const char* name, A_short choices, A_short dflt, const char* names) {
    PF_ParamDef d{};
    d.param_type = PF_Param_POPUP;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.u.pd.num_choices = choices;
    d.u.pd.dephault = dflt;
    d.u.pd.value = dflt;
    d.u.pd.u.namesptr = names;
    return d;
}

inline PF_ParamDef fixedDef(const char* name, double lo, double hi, double dflt) {
    PF_ParamDef d{};
    d.param_type = PF_Param_FIX_SLIDER;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.u.fd.valid_min = d.u.fd.slider_min = static_cast<PF_Fixed>(lo * 65536);
    d.u.fd.valid_max = d.u.fd.slider_max = static_cast<PF_Fixed>(hi * 65536);
    d.u.fd.value = d.u.fd.dephault = static_cast<PF_Fixed>(dflt * 65536);
    return d;
}

inline PF_ParamDef floatDef(const char* name, float lo, float hi, float dflt) {
    PF_ParamDef d{};
    d.param_type = PF_Param_FLOAT_SLIDER;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.u.fs_d.valid_min = lo;
    d.u.fs_d.valid_max = hi;
    d.u.fs_d.dephault = dflt;
    d.u.fs_d.value = dflt;
    return d;
}

inline PF_ParamDef angleDef(const char* name, double dflt) {
    PF_ParamDef d{};
    d.param_type = PF_Param_ANGLE;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.u.ad.value = d.u.ad.dephault = static_cast<PF_Fixed>(dflt * 65536);
    return d;
}

inline PF_ParamDef sliderDef(const char* name, A_long lo, A_long hi, A_long dflt) {
    PF_ParamDef d{};
    d.param_type = PF_Param_SLIDER;
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.u.sd.valid_min = d.u.sd.slider_min = lo;
    d.u.sd.valid_max = d.u.sd.slider_max = hi;
    d.u.sd.value = d.u.sd.dephault = dflt;
    return d;
}

}  // namespace vtest
