// The frei0r entry points of velmorblind.so, a mixer2 transition. Each one is a thin door onto
// Instance and the parameter table; nothing thrown inside ever reaches the host, and nothing is
// printed.
#include "Instance.h"
#include "Parameters.h"
#include "VelmorPiPL.h"

#include <array>
#include <string>

// frei0r.h declares its functions without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#define VFREI0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Guards a call that returns nothing: a failure inside is swallowed.
template <typename F>
void guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {}
}

// What hosts show of each parameter, in the words of the module's controls as the host recorded
// them. Worked out once, on the shared engine; the texts live as long as the library.
const std::array<std::string, vfrei0r::kParamCount>& explanations() {
    static const std::array<std::string, vfrei0r::kParamCount> texts = [] {
        std::array<std::string, vfrei0r::kParamCount> t;
        vfrei0r::Engine& engine = vfrei0r::Engine::acquire();
        try {
            const auto& table = vfrei0r::paramTable();
            for (std::size_t i = 0; i < vfrei0r::kParamCount; ++i)
                t[i] = vfrei0r::explain(table[i], vfrei0r::hasControl(table[i].kind)
                                                      ? &engine.control(table[i].control)
                                                      : nullptr);
        } catch (...) {
            vfrei0r::Engine::release();
            throw;
        }
        vfrei0r::Engine::release();
        return t;
    }();
    return texts;
}

}  // namespace

VFREI0R_EXPORT int f0r_init() { return 1; }

VFREI0R_EXPORT void f0r_deinit() {
    guarded([] { vfrei0r::Engine::shutdown(); });
}

VFREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    info->name = VELMOR_PIPL_NAME;
    info->author = "Tavelinor";
    info->plugin_type = F0R_PLUGIN_TYPE_MIXER2;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = VELMOR_PIPL_VERSION_MAJOR;
    info->minor_version = VELMOR_PIPL_VERSION_MINOR;
    info->num_params = static_cast<int>(vfrei0r::kParamCount);
    info->explanation =
        "Blinds transition: the first input closes in staggered, eased, anti-aliased bands at any angle, "
        "showing the second input; animate progress from 0 to 1";
}

VFREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (!info || index < 0 || index >= static_cast<int>(vfrei0r::kParamCount)) return;
    const vfrei0r::ParamInfo& p = vfrei0r::paramTable()[static_cast<std::size_t>(index)];
    info->name = p.name;
    info->type = vfrei0r::frei0rType(p.kind);
    // Without the module (it could not be set up) there is nothing to explain.
    info->explanation = "";
    guarded([&] { info->explanation = explanations()[static_cast<std::size_t>(index)].c_str(); });
}

VFREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (width == 0 || height == 0 || width > vfrei0r::Instance::kMaxSide ||
        height > vfrei0r::Instance::kMaxSide)
        return nullptr;
    try {
        return new vfrei0r::Instance(width, height);
    } catch (...) {
        return nullptr;
    }
}

VFREI0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
    guarded([&] { delete static_cast<vfrei0r::Instance*>(instance); });
}

VFREI0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (!instance) return;
    guarded([&] { static_cast<vfrei0r::Instance*>(instance)->set(index, param); });
}

VFREI0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (!instance) return;
    guarded([&] { static_cast<const vfrei0r::Instance*>(instance)->get(index, param); });
}

// A mixer2 is driven through f0r_update2; a host calling this gets a frame of the first input with
// no second one under it.
VFREI0R_EXPORT void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe, uint32_t* outframe) {
    if (!instance) return;
    guarded([&] { static_cast<vfrei0r::Instance*>(instance)->update(inframe, nullptr, outframe); });
}

VFREI0R_EXPORT void f0r_update2(f0r_instance_t instance, double, const uint32_t* inframe1,
                                const uint32_t* inframe2, const uint32_t*, uint32_t* outframe) {
    if (!instance) return;
    guarded([&] { static_cast<vfrei0r::Instance*>(instance)->update(inframe1, inframe2, outframe); });
}
