// One applied instance of an effect module: the host's side of the conversation with the module's
// entry point. It builds PF_InData/PF_OutData for each command, keeps the global data the module
// handed back, keeps the parameter definitions the module declared with add_param, and holds the
// parameters' values (constant or keyframed) from which checkout_param answers.
//
// The effect_ref handed to the module identifies the instance; Effect::fromRef turns it back into
// the instance for the host's callbacks and suites.
#pragma once

#include "AE_Effect.h"
#include "Module.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vhost {

class Host;

class Effect {
public:
    Effect(Host& host, std::shared_ptr<const Module> module);
    // Sends GLOBAL_SETDOWN if a successful GLOBAL_SETUP was not yet set down.
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    PF_ProgPtr ref() const { return reinterpret_cast<PF_ProgPtr>(const_cast<Effect*>(this)); }
    // The live instance behind an effect_ref, or null for anything else.
    static Effect* fromRef(PF_ProgPtr ref);
    // The first steps of a host callback that acts on an instance: the calling host, the ledger's
    // record of `op` (with any failure injected for it), the instance behind `ref`. Returns the
    // instance, or null with `err` set to what the callback answers.
    static Effect* enterCallback(PF_ProgPtr ref, const char* op, PF_Err& err);

    Host& host() const { return host_; }
    const Module& module() const { return *module_; }

    // ---- commands ------------------------------------------------------------------------
    // ABOUT: `text` receives the module's return_msg.
    PF_Err about(std::string& text);
    // GLOBAL_SETUP: on success the host keeps out_data.global_data for later commands.
    PF_Err globalSetup();
    // GLOBAL_SETDOWN with the kept global data; the host forgets it afterwards.
    PF_Err globalSetdown();
    // PARAMS_SETUP: drops earlier definitions (but the input layer) and lets add_param append.
    PF_Err paramsSetup();
    // UPDATE_PARAMS_UI with the host's own definitions at the current time.
    PF_Err updateParamsUI();

    // Any command with host-built records; params may be null.
    PF_Err command(PF_Cmd cmd, PF_ParamDef* params[], PF_LayerDef* output, void* extra);
    // Any command with the caller's records (tests prefill or inspect them).
    PF_Err command(PF_Cmd cmd, PF_InData& in, PF_OutData& out, PF_ParamDef* params[], PF_LayerDef* output,
                   void* extra);
    // The PF_InData the host builds for a command right now.
    PF_InData makeInData();

    // out_data as the module left it after the last command.
    const PF_OutData& lastOutData() const { return lastOut_; }
    PF_Handle globalData() const { return globalData_; }

    // ---- parameters ----------------------------------------------------------------------
    // Index 0 is the input layer the host supplies; PARAMS_SETUP appends the module's own.
    int paramCount() const { return static_cast<int>(params_.size()); }
    // num_params as the module reported it in its last PARAMS_SETUP (0 before).
    int declaredParamCount() const { return declaredCount_; }
    // The definition as add_param handed it (popup choice strings copied into host memory),
    // with the UI flags PF_UpdateParamUI applied since.
    const PF_ParamDef& definition(int index) const;
    // A popup's choices, split at '|'.
    std::vector<std::string> choices(int index) const;
    // Index of the parameter with this name, or -1.
    int findParam(std::string_view name) const;

    // UI flags of the copy last given to PF_UpdateParamUI for this index (the declared flags
    // before any update), and how many updates the index received.
    PF_ParamUIFlags uiFlags(int index) const;
    int uiUpdates(int index) const;

    // Values, in user units: popups 1..choices, sliders integers, fixed sliders in their units
    // (percent), angles in degrees, float sliders as doubles (ParamCodec.h: each type's range and
    // encoding). setValue makes the value constant
    // (dropping keyframes); setKeyframe adds or replaces a key at a time. Both refuse a value the
    // definition does not accept (out of the valid range, not a choice, a layer parameter) and
    // say why in `error`.
    bool setValue(int index, double value, std::string* error = nullptr);
    bool setKeyframe(int index, A_Time time, double value, std::string* error = nullptr);
    void clearKeyframes(int index);
    int keyframeCount(int index) const;
    // The value at a time: numbers interpolate linearly between keys and hold beyond the first
    // and last; popups hold the last key at or before the time (the first before it).
    double valueAt(int index, A_Time time) const;
    // The record checkout_param fills for that time, in the host's encodings (fixed sliders and
    // angles 16.16 rounded to nearest, float sliders double, sliders and popups integers; a layer
    // parameter carries its world).
    PF_ParamDef paramAt(int index, A_Time time) const;

    // The world a layer parameter checks out as (by default an empty world: data null).
    void setLayer(int index, const PF_EffectWorld& world);
    const PF_EffectWorld& layer(int index) const;

    // The host's own parameter records at the current time, as commands receive them
    // (rebuilt on each call; valid until the next call or PARAMS_SETUP).
    PF_ParamDef** currentParams();

    // ---- time ------------------------------------------------------------------------------
    // Time base of the layer: time_step ticks per frame, time_scale ticks per second; total_time
    // the layer's duration in ticks. Defaults: 1 / 30 (30 frames per second), 300 (ten seconds).
    void setTimeBase(A_long timeStep, A_u_long timeScale, A_long totalTime);
    void setCurrentTime(A_long time) { currentTime_ = time; }
    void setFrame(A_long frame) { currentTime_ = frame * timeStep_; }
    A_Time currentTime() const { return A_Time{currentTime_, timeScale_}; }
    A_Time frameTime(A_long frame) const { return A_Time{frame * timeStep_, timeScale_}; }
    A_long timeStep() const { return timeStep_; }
    A_u_long timeScale() const { return timeScale_; }

    // ---- render context ------------------------------------------------------------------
    // An opaque slot for the render code: the smart-render callbacks find their frame's state
    // through Effect::fromRef(effect_ref)->renderContext().
    void* renderContext() const { return renderContext_; }
    void setRenderContext(void* context) { renderContext_ = context; }
    // Storage kept between renders of this instance for the next frame's output world
    // (renderFrame), so that rendering frame after frame hands each output over without a copy
    // and touches no fresh memory.
    std::vector<std::uint8_t>& spareOutput() { return spareOutput_; }

    // ---- host callbacks (the interaction table of PF_InData) -------------------------------
    PF_Err addParam(PF_ParamIndex index, const PF_ParamDef* def);
    PF_Err checkoutParam(PF_ParamIndex index, A_long time, A_long timeStep, A_u_long timeScale,
                         PF_ParamDef* param);
    PF_Err updateParamUI(PF_ParamIndex index, const PF_ParamDef* def);

private:
    struct Key {
        A_Time time;
        double value;
    };
    struct Param {
        PF_ParamDef def{};
        double value = 0.0;
        std::vector<Key> keys;  // sorted by time
        PF_EffectWorld world{};
        int uiUpdates = 0;
    };

    const Param& param(int index) const;
    Param& param(int index);
    bool acceptValue(int index, double value, std::string* error) const;
    void resetParams();
    void noteOut(const PF_OutData& out);

    Host& host_;
    std::shared_ptr<const Module> module_;
    std::vector<Param> params_;
    std::deque<std::string> choiceStrings_;  // stable storage for popup choice strings
    std::vector<PF_ParamDef> passed_;        // records handed to the module by currentParams()
    std::vector<PF_ParamDef*> passedPtrs_;
    int declaredCount_ = 0;
    PF_Handle globalData_ = nullptr;
    bool globalSetUp_ = false;
    PF_OutData lastOut_{};
    A_long currentTime_ = 0;
    A_long timeStep_ = 1;
    A_u_long timeScale_ = 30;
    A_long totalTime_ = 300;
    void* renderContext_ = nullptr;
    std::vector<std::uint8_t> spareOutput_;
};

}  // namespace vhost
