#include "VelmorPlugin.h"

#include "AEGP_SuiteHandler.h"
#include "ErrorGuard.h"
#include "VelmorSmartRender.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

static_assert(std::is_same_v<decltype(&EntryPointFunc), PF_EntryPointFunc>,
              "EntryPointFunc must have the host's entry-point type");

namespace {

// Popup values the greying rules look at (popups are 1-based).
constexpr A_long kOrderRandom = 3;
constexpr A_long kEasingLinear = 1;
constexpr A_long kStateStill = 1;

// The host's 16.16 fixed point for whole numbers.
constexpr PF_Fixed fixed(A_long whole)
{
    return static_cast<PF_Fixed>(whole * 65536);
}

}  // namespace

// ---- About ----------------------------------------------------------------------------------------

PF_Err About(PF_InData* in_data, PF_OutData* out_data)
{
    if (!in_data || !out_data || !in_data->utils)
        return PF_Err_BAD_CALLBACK_PARAM;
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
        : handles_(handles), handle_(handle)
    {
    }
    ~PendingGlobalHandle()
    {
        unlock();
        if (!kept_)
            handles_->host_dispose_handle(handle_);
    }
    PendingGlobalHandle(const PendingGlobalHandle&) = delete;
    PendingGlobalHandle& operator=(const PendingGlobalHandle&) = delete;

    void* lock()
    {
        lockCalled_ = true;
        return handles_->host_lock_handle(handle_);
    }
    // Balances lock(), whether or not the lock handed out memory.
    void unlock()
    {
        if (lockCalled_) {
            lockCalled_ = false;
            handles_->host_unlock_handle(handle_);
        }
    }
    PF_Handle keep()
    {
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

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data)
{
    if (!out_data)
        return PF_Err_BAD_CALLBACK_PARAM;
    // Before anything can fail: the host reads these even from a failed set-up.
    out_data->my_version = kVelmorVersion;
    out_data->out_flags = kVelmorOutFlags;
    out_data->out_flags2 = kVelmorOutFlags2;
    if (!in_data)
        return PF_Err_BAD_CALLBACK_PARAM;

    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const PF_HandleSuite2* handles = suites.HandleSuite2();
    PF_Handle handle = handles->host_new_handle(sizeof(GlobalData));
    if (!handle)
        return PF_Err_INTERNAL_STRUCT_DAMAGED;

    PF_Err err = PF_Err_NONE;
    PendingGlobalHandle pending(handles, handle);
    if (auto* global = static_cast<GlobalData*>(pending.lock())) {
        err = suites.UtilitySuite7()->AEGP_RegisterWithAEGP(nullptr, "Error!", &global->plugin_id);
        if (!err)
            out_data->global_data = pending.keep();
    }
    pending.unlock();
    return err;
}

PF_Err GlobalSetdown(PF_InData* in_data)
{
    if (!in_data)
        return PF_Err_BAD_CALLBACK_PARAM;
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    if (in_data->global_data)
        suites.HandleSuite2()->host_dispose_handle(in_data->global_data);
    return PF_Err_NONE;
}

// ---- parameters ---------------------------------------------------------------------------------------

namespace {

// One parameter: a definition cleared to zero bytes, the flags, type, name and id common to all,
// the type's own fields from `fill`, appended at the end of the list.
template <typename Fill>
PF_Err addParam(PF_InData* in_data, A_long index, PF_ParamType type, const char* name, Fill fill)
{
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.flags = PF_ParamFlag_COLLAPSE_TWIRLY;
    def.param_type = type;
    in_data->utils->ansi.strcpy(def.name, name);
    fill(def.u);
    def.uu.id = index;
    return in_data->inter.add_param(in_data->effect_ref, -1, &def);
}

PF_Err addPopup(PF_InData* in_data, A_long index, const char* name, A_short choices,
                A_short dephault, const char* names)
{
    return addParam(in_data, index, PF_Param_POPUP, name, [&](PF_ParamDefUnion& u) {
        u.pd.num_choices = choices;
        u.pd.dephault = dephault;
        u.pd.value = dephault;
        u.pd.u.namesptr = names;
    });
}

// A percentage from 0 to 100, shown with one decimal.
PF_Err addPercentSlider(PF_InData* in_data, A_long index, const char* name, A_long dephault)
{
    return addParam(in_data, index, PF_Param_FIX_SLIDER, name, [&](PF_ParamDefUnion& u) {
        u.fd.valid_min = u.fd.slider_min = fixed(0);
        u.fd.valid_max = u.fd.slider_max = fixed(100);
        u.fd.dephault = u.fd.value = fixed(dephault);
        u.fd.precision = 1;
        u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    });
}

PF_Err addAngle(PF_InData* in_data, A_long index, const char* name, A_long degrees)
{
    return addParam(in_data, index, PF_Param_ANGLE, name, [&](PF_ParamDefUnion& u) {
        u.ad.dephault = u.ad.value = fixed(degrees);
    });
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    if (!in_data || !out_data || !in_data->utils || !in_data->inter.add_param)
        return PF_Err_BAD_CALLBACK_PARAM;

    PF_Err err = addPopup(in_data, PARAM_MODE, "Mode", 2, 1, "One|Both");
    if (!err)
        err = addPercentSlider(in_data, PARAM_COMPLETION, "Completion", 0);
    if (!err)
        err = addPercentSlider(in_data, PARAM_DELAY, "Delay", 10);
    if (!err) {
        // Typed values reach 4000 pixels; the slider spans the useful 1 to 100.
        err = addParam(in_data, PARAM_WIDTH, PF_Param_FLOAT_SLIDER, "Width",
                       [](PF_ParamDefUnion& u) {
                           u.fs_d.valid_min = u.fs_d.slider_min = 1.0f;
                           u.fs_d.valid_max = 4000.0f;
                           u.fs_d.slider_max = 100.0f;
                           u.fs_d.dephault = 20.0f;
                           u.fs_d.value = 20.0;
                           u.fs_d.precision = 2;
                           u.fs_d.display_flags = 0;
                           u.fs_d.fs_flags = 0;
                           u.fs_d.curve_tolerance = 0.05f;
                       });
    }
    if (!err)
        err = addAngle(in_data, PARAM_DIRECTION, "Direction", 90);
    if (!err)
        err = addAngle(in_data, PARAM_OFFSET, "Offset", 0);
    if (!err)
        err = addPopup(in_data, PARAM_ORDER, "Order", 3, 1, "Normal|Inverse|Random");
    if (!err) {
        err = addParam(in_data, PARAM_SEED, PF_Param_SLIDER, "Seed", [](PF_ParamDefUnion& u) {
            u.sd.valid_min = u.sd.slider_min = 0;
            u.sd.valid_max = 10000;
            u.sd.slider_max = 100;
            u.sd.dephault = u.sd.value = 0;
        });
    }
    if (!err)
        err = addPopup(in_data, PARAM_EASING, "Easing", 9, 1,
                       "Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce");
    if (!err)
        err = addPopup(in_data, PARAM_EASING_MODE, "Easing Mode", 3, 3, "In|Out|InOut");
    if (!err)
        err = addPopup(in_data, PARAM_STATE, "State", 3, 1, "Still|Move|Shrink");
    if (!err)
        err = addPopup(in_data, PARAM_OUTSIDE, "Outside", 4, 4, "Void|Edge|Tile|Mirror");
    if (err)
        return err;

    out_data->num_params = PARAM_COUNT;
    return PF_Err_NONE;
}

PF_Err UpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[])
{
    if (!in_data || !out_data || !params)
        return PF_Err_BAD_CALLBACK_PARAM;
    for (int index : {PARAM_ORDER, PARAM_SEED, PARAM_EASING, PARAM_EASING_MODE, PARAM_STATE,
                      PARAM_OUTSIDE}) {
        if (!params[index])
            return PF_Err_BAD_CALLBACK_PARAM;
    }

    AEGP_SuiteHandler suites(in_data->pica_basicP);

    // The host's definitions are read, never written: each update goes out on a copy.
    PF_ParamDef copies[PARAM_COUNT];
    std::memset(copies, 0, sizeof copies);
    for (int index : {PARAM_SEED, PARAM_EASING_MODE, PARAM_OUTSIDE})
        std::memcpy(&copies[index], params[index], sizeof(PF_ParamDef));

    // Each control is greyed out while the setting it depends on leaves it without effect.
    const struct {
        int index;
        bool disabled;
    } rules[] = {
        {PARAM_SEED, params[PARAM_ORDER]->u.pd.value != kOrderRandom},
        {PARAM_EASING_MODE, params[PARAM_EASING]->u.pd.value == kEasingLinear},
        {PARAM_OUTSIDE, params[PARAM_STATE]->u.pd.value == kStateStill},
    };

    PF_Err err = PF_Err_NONE;
    for (const auto& rule : rules) {
        if (err)
            break;
        PF_ParamDef& def = copies[rule.index];
        if (rule.disabled)
            def.ui_flags |= PF_PUI_DISABLED;
        else
            def.ui_flags &= ~PF_PUI_DISABLED;
        err = suites.ParamUtilsSuite2()->PF_UpdateParamUI(in_data->effect_ref, rule.index, &def);
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
    {PF_Cmd_UPDATE_PARAMS_UI,
     [](const Call& c) { return UpdateParamsUI(c.in_data, c.out_data, c.params); }},
    {PF_Cmd_SMART_PRE_RENDER, [](const Call& c) { return SmartPreRender(c.in_data, c.out_data, static_cast<PF_PreRenderExtra*>(c.extra)); }},
    {PF_Cmd_SMART_RENDER, [](const Call& c) { return SmartRender(c.in_data, c.out_data, static_cast<PF_SmartRenderExtra*>(c.extra)); }},
};

PF_Err dispatch(const Call& call, PF_Cmd cmd)
{
    for (const Command& command : kCommands) {
        if (command.cmd == cmd)
            return command.run(call);
    }
    return PF_Err_NONE;
}

}  // namespace

// Nothing may cross into the host as an exception: a thrown PF_Err (a missing suite) is the
// command's result, a failed allocation is reported as such, and anything else as damage.
extern "C" PF_ENTRY_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                 PF_OutData* out_data, PF_ParamDef* params[],
                                                 PF_LayerDef* output, void* extra)
{
    return CatchAsHostError(
        [&] { return dispatch(Call{in_data, out_data, params, output, extra}, cmd); });
}
