#include "Effect.h"

#include "Host.h"
#include "ParamCodec.h"
#include "SuiteEntry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>

namespace vhost {

namespace {

// ---- the live instances, so that an effect_ref can be checked before it is trusted ----------
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}
std::set<const Effect*>& registry() {
    static std::set<const Effect*> live;
    return live;
}

// ---- times -------------------------------------------------------------------------------
// Times compare exactly: value / scale with 32-bit values and scales fits 64-bit products.
int compareTimes(A_Time a, A_Time b) {
    const std::int64_t l = static_cast<std::int64_t>(a.value) * b.scale;
    const std::int64_t r = static_cast<std::int64_t>(b.value) * a.scale;
    return l < r ? -1 : (l > r ? 1 : 0);
}

// Where t lies between t0 and t1 (t0 < t <= t1), 0..1. Exact when the scales agree.
double fraction(A_Time t, A_Time t0, A_Time t1) {
    if (t.scale == t0.scale && t.scale == t1.scale)
        return static_cast<double>(static_cast<std::int64_t>(t.value) - t0.value) /
               static_cast<double>(static_cast<std::int64_t>(t1.value) - t0.value);
    auto seconds = [](A_Time x) { return static_cast<double>(x.value) / x.scale; };
    return (seconds(t) - seconds(t0)) / (seconds(t1) - seconds(t0));
}

std::string number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

// ---- the interaction callbacks of PF_InData ----------------------------------------------
PF_Err checkoutParamCb(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_long step, A_u_long scale,
                       PF_ParamDef* param) {
    PF_Err err = PF_Err_NONE;
    Effect* effect = Effect::enterCallback(ref, "checkout_param", err);
    return effect ? effect->checkoutParam(index, time, step, scale, param) : err;
}

PF_Err checkinParamCb(PF_ProgPtr ref, PF_ParamDef* param) {
    const SuiteEntry entry("checkin_param");
    Host* host = entry.host();
    if (!host) return kNoHostError;
    // An injected failure is reported, but the parameter counts as given back: the caller did
    // its part and has no way to try again.
    const auto injected = entry.injected();
    if (!Effect::fromRef(ref) || !param) {
        host->ledger().fault("checkin_param with an unknown effect or a null record");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!host->ledger().closed("param")) return PF_Err_BAD_CALLBACK_PARAM;
    return injected ? *injected : PF_Err_NONE;
}

PF_Err addParamCb(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    PF_Err err = PF_Err_NONE;
    Effect* effect = Effect::enterCallback(ref, "add_param", err);
    return effect ? effect->addParam(index, def) : err;
}

}  // namespace

// ---- lifetime ----------------------------------------------------------------------------

Effect::Effect(Host& host, std::shared_ptr<const Module> module) : host_(host), module_(std::move(module)) {
    resetParams();
    std::lock_guard lock(registryMutex());
    registry().insert(this);
}

Effect::~Effect() {
    if (globalSetUp_) globalSetdown();
    std::lock_guard lock(registryMutex());
    registry().erase(this);
}

Effect* Effect::fromRef(PF_ProgPtr ref) {
    auto* candidate = reinterpret_cast<Effect*>(ref);
    std::lock_guard lock(registryMutex());
    return registry().count(candidate) ? candidate : nullptr;
}

Effect* Effect::enterCallback(PF_ProgPtr ref, const char* op, PF_Err& err) {
    if (auto refusal = enterSuite(op)) {
        err = *refusal;
        return nullptr;
    }
    Effect* effect = fromRef(ref);
    if (!effect) err = PF_Err_BAD_CALLBACK_PARAM;
    return effect;
}

void Effect::resetParams() {
    // Keep the input layer's world across a new PARAMS_SETUP; everything else starts over.
    PF_EffectWorld input{};
    if (!params_.empty()) input = params_[0].world;
    params_.clear();
    choiceStrings_.clear();
    passed_.clear();
    passedPtrs_.clear();
    Param layer;
    layer.def.param_type = PF_Param_LAYER;
    layer.world = input;
    params_.push_back(layer);
}

// ---- commands ------------------------------------------------------------------------------

PF_InData Effect::makeInData() {
    PF_InData in{};
    in.inter.checkout_param = &checkoutParamCb;
    in.inter.checkin_param = &checkinParamCb;
    in.inter.add_param = &addParamCb;
    in.utils = host_.utilCallbacks();
    in.effect_ref = ref();
    in.quality = PF_Quality_HI;
    in.version_major = 13;
    in.version_minor = 28;
    in.num_params = paramCount();
    in.current_time = currentTime_;
    in.time_step = timeStep_;
    in.local_time_step = timeStep_;
    in.total_time = totalTime_;
    in.time_scale = timeScale_;
    const PF_EffectWorld& input = params_[0].world;
    in.width = input.width;
    in.height = input.height;
    in.extent_hint = PF_LRect{0, 0, input.width, input.height};
    in.downsample_x = PF_RationalScale{1, 1};
    in.downsample_y = PF_RationalScale{1, 1};
    in.pixel_aspect_ratio = PF_RationalScale{1, 1};
    in.global_data = globalData_;
    in.pica_basicP = host_.basicSuite();
    return in;
}

PF_Err Effect::command(PF_Cmd cmd, PF_InData& in, PF_OutData& out, PF_ParamDef* params[], PF_LayerDef* output,
                       void* extra) {
    PF_Err err = PF_Err_NONE;
    const PF_EntryPointFunc entry = module_->entryPoint();
    if (!entry) return PF_Err_INVALID_CALLBACK;
    try {
        err = entry(cmd, &in, &out, params, output, extra);
    } catch (...) {
        // A module must never let an exception reach its host; if one does, the host survives
        // and says so.
        host_.ledger().fault("an exception escaped the entry point (command " + std::to_string(cmd) + ")");
        err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    lastOut_ = out;
    return err;
}

PF_Err Effect::command(PF_Cmd cmd, PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
    PF_InData in = makeInData();
    PF_OutData out{};
    return command(cmd, in, out, params, output, extra);
}

PF_Err Effect::about(std::string& text) {
    PF_InData in = makeInData();
    PF_OutData out{};
    const PF_Err err = command(PF_Cmd_ABOUT, in, out, nullptr, nullptr, nullptr);
    text.assign(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
    return err;
}

PF_Err Effect::globalSetup() {
    PF_InData in = makeInData();
    PF_OutData out{};
    const PF_Err err = command(PF_Cmd_GLOBAL_SETUP, in, out, nullptr, nullptr, nullptr);
    if (err) return err;
    globalData_ = out.global_data;
    globalSetUp_ = true;

    // What the module says at run time must match what its property list promised.
    const Pipl& pipl = module_->pipl();
    auto check = [&](const char* what, const std::optional<std::uint32_t>& listed, std::uint32_t said) {
        if (listed && *listed != said) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "GLOBAL_SETUP reported %s 0x%08X but the property list says 0x%08X", what,
                          static_cast<unsigned>(said), static_cast<unsigned>(*listed));
            host_.ledger().fault(text);
        }
    };
    check("version", pipl.version, out.my_version);
    check("out_flags", pipl.outFlags, static_cast<std::uint32_t>(out.out_flags));
    check("out_flags2", pipl.outFlags2, static_cast<std::uint32_t>(out.out_flags2));
    return err;
}

PF_Err Effect::globalSetdown() {
    PF_InData in = makeInData();
    PF_OutData out{};
    const PF_Err err = command(PF_Cmd_GLOBAL_SETDOWN, in, out, nullptr, nullptr, nullptr);
    // The host lets go of the global data whatever the answer: disposing of it was the module's job.
    globalData_ = nullptr;
    globalSetUp_ = false;
    return err;
}

PF_Err Effect::paramsSetup() {
    resetParams();
    declaredCount_ = 0;
    PF_InData in = makeInData();
    PF_OutData out{};
    const PF_Err err = command(PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr);
    if (err) return err;
    declaredCount_ = out.num_params;
    if (declaredCount_ != paramCount())
        host_.ledger().fault("PARAMS_SETUP reported " + std::to_string(declaredCount_) + " parameters but " +
                             std::to_string(paramCount()) + " exist (the input layer and those added)");
    return err;
}

PF_Err Effect::updateParamsUI() {
    PF_ParamDef** params = currentParams();
    // The module may read these records but must not write them; keep their bytes to check.
    std::vector<unsigned char> before(passed_.size() * sizeof(PF_ParamDef));
    if (!before.empty()) std::memcpy(before.data(), passed_.data(), before.size());

    PF_InData in = makeInData();
    PF_OutData out{};
    const PF_Err err = command(PF_Cmd_UPDATE_PARAMS_UI, in, out, params, nullptr, nullptr);

    for (std::size_t i = 0; i < passed_.size(); ++i)
        if (std::memcmp(before.data() + i * sizeof(PF_ParamDef), &passed_[i], sizeof(PF_ParamDef)) != 0)
            host_.ledger().fault("UPDATE_PARAMS_UI wrote into the host's record of parameter " +
                                 std::to_string(i));
    return err;
}

// ---- parameters ----------------------------------------------------------------------------

const Effect::Param& Effect::param(int index) const { return params_.at(static_cast<std::size_t>(index)); }
Effect::Param& Effect::param(int index) { return params_.at(static_cast<std::size_t>(index)); }

const PF_ParamDef& Effect::definition(int index) const { return param(index).def; }

std::vector<std::string> Effect::choices(int index) const { return popupChoices(definition(index)); }

int Effect::findParam(std::string_view name) const {
    for (int i = 0; i < paramCount(); ++i)
        if (name == params_[static_cast<std::size_t>(i)].def.name) return i;
    return -1;
}

PF_ParamUIFlags Effect::uiFlags(int index) const { return definition(index).ui_flags; }
int Effect::uiUpdates(int index) const { return param(index).uiUpdates; }

bool Effect::acceptValue(int index, double v, std::string* error) const {
    auto refuse = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (index < 0 || index >= paramCount()) return refuse("there is no parameter " + std::to_string(index));
    const PF_ParamDef& def = definition(index);
    const std::string name = def.name[0] ? def.name : "parameter " + std::to_string(index);
    if (!std::isfinite(v)) return refuse(name + " must be a finite number");
    if (def.param_type == PF_Param_LAYER)
        return refuse(name + " is a layer: it takes an image, not a number");
    const ParamCodec* codec = paramCodec(def.param_type);
    if (!codec) return refuse(name + " has a type this host cannot set");
    const ParamRange valid = codec->valid(def);
    const bool whole = v == std::floor(v);
    if (def.param_type == PF_Param_POPUP) {
        if (whole && v >= valid.min && v <= valid.max) return true;
        std::string list;
        for (const std::string& c : choices(index)) list += (list.empty() ? "" : "|") + c;
        return refuse(name + " must be a choice from 1 to " + std::to_string(def.u.pd.num_choices) + " (" +
                      list + "), not " + number(v));
    }
    if (codec->wholeNumbers && !whole)
        return refuse(name + " must be a whole number (got " + number(v) + ")");
    if (v < valid.min || v > valid.max)
        return refuse(name + " must be between " + number(valid.min) + " and " + number(valid.max) +
                      " (got " + number(v) + ")");
    return true;
}

bool Effect::setValue(int index, double value, std::string* error) {
    if (!acceptValue(index, value, error)) return false;
    Param& p = param(index);
    p.value = value;
    p.keys.clear();
    return true;
}

bool Effect::setKeyframe(int index, A_Time time, double value, std::string* error) {
    if (time.scale == 0) {
        if (error) *error = "a keyframe time needs a non-zero time scale";
        return false;
    }
    if (!acceptValue(index, value, error)) return false;
    auto& keys = param(index).keys;
    auto at =
        std::find_if(keys.begin(), keys.end(), [&](const Key& k) { return compareTimes(k.time, time) >= 0; });
    if (at != keys.end() && compareTimes(at->time, time) == 0)
        at->value = value;
    else
        keys.insert(at, Key{time, value});
    return true;
}

void Effect::clearKeyframes(int index) { param(index).keys.clear(); }
int Effect::keyframeCount(int index) const { return static_cast<int>(param(index).keys.size()); }

double Effect::valueAt(int index, A_Time time) const {
    const Param& p = param(index);
    if (p.keys.empty()) return p.value;
    if (time.scale == 0 || compareTimes(time, p.keys.front().time) <= 0) return p.keys.front().value;
    if (compareTimes(time, p.keys.back().time) >= 0) return p.keys.back().value;
    // First key after the time; the time lies in (before->time, after->time].
    auto after = std::find_if(p.keys.begin(), p.keys.end(),
                              [&](const Key& k) { return compareTimes(k.time, time) > 0; });
    auto before = std::prev(after);
    if (compareTimes(before->time, time) == 0 || p.def.param_type == PF_Param_POPUP) return before->value;
    const double f = fraction(time, before->time, after->time);
    return (1.0 - f) * before->value + f * after->value;
}

PF_ParamDef Effect::paramAt(int index, A_Time time) const {
    const Param& p = param(index);
    PF_ParamDef d;
    std::memcpy(&d, &p.def, sizeof d);
    if (d.param_type == PF_Param_LAYER)
        d.u.ld = p.world;
    else if (const ParamCodec* codec = paramCodec(d.param_type))
        codec->encode(d, valueAt(index, time));
    return d;
}

void Effect::setLayer(int index, const PF_EffectWorld& world) {
    Param& p = param(index);
    if (p.def.param_type == PF_Param_LAYER) p.world = world;
}

const PF_EffectWorld& Effect::layer(int index) const { return param(index).world; }

PF_ParamDef** Effect::currentParams() {
    passed_.resize(params_.size());
    passedPtrs_.resize(params_.size());
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const PF_ParamDef d = paramAt(static_cast<int>(i), currentTime());
        std::memcpy(&passed_[i], &d, sizeof d);
        passedPtrs_[i] = &passed_[i];
    }
    return passedPtrs_.data();
}

void Effect::setTimeBase(A_long timeStep, A_u_long timeScale, A_long totalTime) {
    timeStep_ = timeStep;
    timeScale_ = timeScale == 0 ? 1 : timeScale;
    totalTime_ = totalTime;
}

// ---- host callbacks ------------------------------------------------------------------------

PF_Err Effect::addParam(PF_ParamIndex index, const PF_ParamDef* def) {
    // Only appending is supported: -1, or the index the parameter would get anyway.
    if (!def || (index != -1 && index != paramCount())) return PF_Err_BAD_CALLBACK_PARAM;
    // A value type the host knows (layers are the host's own, never added).
    const ParamCodec* codec = paramCodec(def->param_type);
    if (!codec) return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    Param p;
    std::memcpy(&p.def, def, sizeof p.def);
    p.def.name[PF_MAX_EFFECT_PARAM_NAME_LEN] = '\0';
    if (p.def.param_type == PF_Param_POPUP) {
        const PF_PopupDef& pd = def->u.pd;
        if (!pd.u.namesptr || pd.num_choices < 1) return PF_Err_BAD_CALLBACK_PARAM;
        // The choice string belongs to the module; the host keeps its own copy.
        choiceStrings_.emplace_back(pd.u.namesptr);
        const std::string& names = choiceStrings_.back();
        if (std::count(names.begin(), names.end(), '|') + 1 != pd.num_choices) {
            choiceStrings_.pop_back();
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        p.def.u.pd.u.namesptr = names.c_str();
    }
    p.value = codec->decode(p.def);
    params_.push_back(p);
    return PF_Err_NONE;
}

PF_Err Effect::checkoutParam(PF_ParamIndex index, A_long time, A_long, A_u_long timeScale,
                             PF_ParamDef* param) {
    if (!param || timeScale == 0) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || index >= paramCount()) return PF_Err_INVALID_INDEX;
    const PF_ParamDef d = paramAt(index, A_Time{time, timeScale});
    std::memcpy(param, &d, sizeof d);
    host_.ledger().opened("param");
    return PF_Err_NONE;
}

PF_Err Effect::updateParamUI(PF_ParamIndex index, const PF_ParamDef* def) {
    if (!def) return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 1 || index >= paramCount()) return PF_Err_INVALID_INDEX;
    // The call takes a copy: a module handing over the host's own record is at fault.
    auto inside = [def](const auto& records) {
        const std::less_equal<const PF_ParamDef*> le;
        return !records.empty() && le(&records.front(), def) && le(def, &records.back());
    };
    bool own = inside(passed_);
    for (const Param& p : params_) own = own || def == &p.def;
    if (own) {
        host_.ledger().fault("PF_UpdateParamUI was given the host's own parameter record, not a copy");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Param& p = param(index);
    if (def->param_type != p.def.param_type) return PF_Err_BAD_CALLBACK_PARAM;
    p.def.ui_flags = def->ui_flags;
    ++p.uiUpdates;
    return PF_Err_NONE;
}

}  // namespace vhost
