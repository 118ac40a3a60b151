#include "VelmorPlugin.h"

#include "AEGP_SuiteHandler.h"
#include "ErrorGuard.h"
#include "VelmorControls.h"
#include "VelmorGeneral.h"
#include "VelmorSmartRender.h"

#include <cstring>
#include <new>
#include <type_traits>

static_assert(std::is_same_v<decltype(&EntryPointFunc), PF_EntryPointFunc>,
              "EntryPointFunc must have the host's entry-point type");

// ---- About ----------------------------------------------------------------------------------------

PF_Err About(PF_InData* in_data, PF_OutData* out_data) {
    if (!in_data || !out_data || !in_data->utils) return PF_Err_BAD_CALLBACK_PARAM;
    in_data->utils->ansi.sprintf(out_data->return_msg, "%s, v%d.%d.%d\r%s", VELMOR_PIPL_NAME,
                                 VELMOR_PIPL_VERSION_MAJOR, VELMOR_PIPL_VERSION_MINOR,
                                 VELMOR_PIPL_VERSION_BUG, VELMOR_ABOUT_CREDIT);
    return PF_Err_NONE;
}

// ---- global set-up and set-down ---------------------------------------------------------------------

namespace {

// The global handle while GlobalSetup works on it. Whatever way GlobalSetup leaves (a result code
// or a thrown missing suite), a locked handle is unlocked, and a handle that was not handed to the
// host as global data is disposed of: nothing else would ever free it.
class PendingGlobalHandle {
public:
    PendingGlobalHandle(const PF_HandleSuite2* handles, PF_Handle handle)
        : handles_(handles), handle_(handle) {}
    ~PendingGlobalHandle() {
        unlock();
        if (!kept_) handles_->host_dispose_handle(handle_);
    }
    PendingGlobalHandle(const PendingGlobalHandle&) = delete;
    PendingGlobalHandle& operator=(const PendingGlobalHandle&) = delete;

    void* lock() {
        lockCalled_ = true;
        return handles_->host_lock_handle(handle_);
    }
    // Balances lock(), whether or not the lock handed out memory.
    void unlock() {
        if (lockCalled_) {
            lockCalled_ = false;
            handles_->host_unlock_handle(handle_);
        }
    }
    PF_Handle keep() {
        kept_ = true;
        return handle_;
    }

private:
    const PF_HandleSuite2* handles_;
    PF_Handle handle_;
    bool lockCalled_ = false;
    bool kept_ = false;
};

}  // namespace

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
    if (!out_data) return PF_Err_BAD_CALLBACK_PARAM;
    // Before anything can fail: the host reads these even from a failed set-up.
    out_data->my_version = kVelmorVersion;
    out_data->out_flags = kVelmorOutFlags;
    out_data->out_flags2 = kVelmorOutFlags2;
    if (!in_data) return PF_Err_BAD_CALLBACK_PARAM;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const PF_HandleSuite2* handles = suites.HandleSuite2();
    PF_Handle handle = handles->host_new_handle(sizeof(GlobalData));
    if (!handle) return PF_Err_INTERNAL_STRUCT_DAMAGED;

    PF_Err err = PF_Err_NONE;
    PendingGlobalHandle pending(handles, handle);
    if (auto* global = static_cast<GlobalData*>(pending.lock())) {
        err = suites.UtilitySuite7()->AEGP_RegisterWithAEGP(nullptr, "Error!", &global->plugin_id);
        if (!err) out_data->global_data = pending.keep();
    }
    pending.unlock();
    return err;
}

PF_Err GlobalSetdown(PF_InData* in_data) {
    if (!in_data) return PF_Err_BAD_CALLBACK_PARAM;
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    if (in_data->global_data) suites.HandleSuite2()->host_dispose_handle(in_data->global_data);
    return PF_Err_NONE;
}

// ---- parameters ---------------------------------------------------------------------------------------

namespace {

// A control's own fields of its definition, from the table.
void fillControl(const ControlInfo& c, PF_ParamDefUnion& u) {
    switch (c.type) {
        case PF_Param_POPUP:
            u.pd.num_choices = choiceCount(c.choices);
            u.pd.dephault = static_cast<A_short>(c.dephault);
            u.pd.value = u.pd.dephault;
            u.pd.u.namesptr = c.choices;
            break;
        case PF_Param_FIX_SLIDER:
            u.fd.valid_min = Velmor::roundFixed(c.valid_min);
            u.fd.valid_max = Velmor::roundFixed(c.valid_max);
            u.fd.slider_min = Velmor::roundFixed(c.slider_min);
            u.fd.slider_max = Velmor::roundFixed(c.slider_max);
            u.fd.dephault = u.fd.value = Velmor::roundFixed(c.dephault);
            u.fd.precision = c.precision;
            u.fd.display_flags = c.display_flags;
            break;
        case PF_Param_FLOAT_SLIDER:
            u.fs_d.valid_min = static_cast<PF_FpShort>(c.valid_min);
            u.fs_d.valid_max = static_cast<PF_FpShort>(c.valid_max);
            u.fs_d.slider_min = static_cast<PF_FpShort>(c.slider_min);
            u.fs_d.slider_max = static_cast<PF_FpShort>(c.slider_max);
            u.fs_d.dephault = static_cast<PF_FpShort>(c.dephault);
            u.fs_d.value = c.dephault;
            u.fs_d.precision = c.precision;
            u.fs_d.display_flags = c.display_flags;
            u.fs_d.curve_tolerance = c.curve_tolerance;
            break;
        case PF_Param_ANGLE:
            u.ad.valid_min = Velmor::roundFixed(c.valid_min);
            u.ad.valid_max = Velmor::roundFixed(c.valid_max);
            u.ad.dephault = u.ad.value = Velmor::roundFixed(c.dephault);
            break;
        case PF_Param_SLIDER:
            u.sd.valid_min = static_cast<PF_ParamValue>(c.valid_min);
            u.sd.valid_max = static_cast<PF_ParamValue>(c.valid_max);
            u.sd.slider_min = static_cast<PF_ParamValue>(c.slider_min);
            u.sd.slider_max = static_cast<PF_ParamValue>(c.slider_max);
            u.sd.dephault = u.sd.value = static_cast<PF_ParamValue>(c.dephault);
            break;
        default: break;
    }
}

// One control: a definition cleared to zero bytes, the flags, type, name and id common to all,
// the type's own fields, appended at the end of the list.
PF_Err addControl(PF_InData* in_data, const ControlInfo& c) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.flags = PF_ParamFlag_COLLAPSE_TWIRLY;
    def.param_type = c.type;
    in_data->utils->ansi.strcpy(def.name, c.name);
    fillControl(c, def.u);
    def.uu.id = c.index;
    return in_data->inter.add_param(in_data->effect_ref, -1, &def);
}

bool greyable(const ControlInfo& c) { return c.greying.by != PARAM_INPUT; }

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
    if (!in_data || !out_data || !in_data->utils || !in_data->inter.add_param)
        return PF_Err_BAD_CALLBACK_PARAM;

    for (const ControlInfo& c : kControls) {
        if (PF_Err err = addControl(in_data, c)) return err;
    }
    out_data->num_params = PARAM_COUNT;
    return PF_Err_NONE;
}

PF_Err UpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
    if (!in_data || !out_data || !params) return PF_Err_BAD_CALLBACK_PARAM;
    for (const ControlInfo& c : kControls) {
        if (greyable(c) && (!params[c.index] || !params[c.greying.by])) return PF_Err_BAD_CALLBACK_PARAM;
    }

    AEGP_SuiteHandler suites(in_data->pica_basicP);

    // The host's definitions are read, never written: each update goes out on a copy.
    PF_ParamDef copies[PARAM_COUNT];
    std::memset(copies, 0, sizeof copies);
    for (const ControlInfo& c : kControls) {
        if (greyable(c)) std::memcpy(&copies[c.index], params[c.index], sizeof(PF_ParamDef));
    }

    // Each control is greyed out while the setting it depends on leaves it without effect.
    PF_Err err = PF_Err_NONE;
    for (const ControlInfo& c : kControls) {
        if (err) break;
        if (!greyable(c)) continue;
        PF_ParamDef& def = copies[c.index];
        if (greyedOut(c, params[c.greying.by]->u.pd.value))
            def.ui_flags |= PF_PUI_DISABLED;
        else
            def.ui_flags &= ~PF_PUI_DISABLED;
        err = suites.ParamUtilsSuite2()->PF_UpdateParamUI(in_data->effect_ref, c.index, &def);
    }

    out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    return err;
}

// ---- the entry point ----------------------------------------------------------------------------------

namespace {

struct Call {
    PF_InData* in_data;
    PF_OutData* out_data;
    PF_ParamDef** params;
    PF_LayerDef* output;
    void* extra;
};

struct Command {
    PF_Cmd cmd;
    PF_Err (*run)(const Call&);
};

// Every command not listed here does nothing and succeeds.
constexpr Command kCommands[] = {
    {PF_Cmd_ABOUT, [](const Call& c) { return About(c.in_data, c.out_data); }},
    {PF_Cmd_GLOBAL_SETUP, [](const Call& c) { return GlobalSetup(c.in_data, c.out_data); }},
    {PF_Cmd_GLOBAL_SETDOWN, [](const Call& c) { return GlobalSetdown(c.in_data); }},
    {PF_Cmd_PARAMS_SETUP, [](const Call& c) { return ParamsSetup(c.in_data, c.out_data); }},
    {PF_Cmd_UPDATE_PARAMS_UI, [](const Call& c) { return UpdateParamsUI(c.in_data, c.out_data, c.params); }},
    {PF_Cmd_SMART_PRE_RENDER,
     [](const Call& c) {
         return SmartPreRender(c.in_data, c.out_data, static_cast<PF_PreRenderExtra*>(c.extra));
     }},
    {PF_Cmd_SMART_RENDER,
     [](const Call& c) {
         return SmartRender(c.in_data, c.out_data, static_cast<PF_SmartRenderExtra*>(c.extra));
     }},
};

PF_Err dispatch(const Call& call, PF_Cmd cmd) {
    for (const Command& command : kCommands) {
        if (command.cmd == cmd) return command.run(call);
    }
    return PF_Err_NONE;
}

}  // namespace

// Nothing may cross into the host as an exception: a thrown PF_Err (a missing suite) is the
// command's result, a failed allocation is reported as such, and anything else as damage.
extern "C" PF_ENTRY_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                                 PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
    return CatchAsHostError([&] { return dispatch(Call{in_data, out_data, params, output, extra}, cmd); });
}
