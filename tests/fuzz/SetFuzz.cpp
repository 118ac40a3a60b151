// The renderer's control-value parser: the input is one "--set NAME=VALUE" argument, naming any of
// the module's controls. A value it takes lies in the control's valid range and survives the trip
// into the host's parameter record and back.
#include "Error.h"
#include "FuzzCheck.h"
#include "ModuleControls.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    moduleControls();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& controls = moduleControls();
    const std::string text(reinterpret_cast<const char*>(data), size);
    vblind::ControlPlan plan;
    try {
        plan = vblind::parseSettings(controls, {text}, {});
    } catch (const vblind::ToolError& e) {
        fuzzcheck::expect(e.status() == vblind::kExitUsage, "a --set value refused as a failure", e.what());
        fuzzcheck::oneSentence(e.what(), text);
        return 0;
    }
    fuzzcheck::expect(plan.size() == 1, "one --set gave other than one setting");
    const auto& [index, setting] = *plan.begin();
    const vblind::ControlDef& c = controls.at(static_cast<std::size_t>(index - 1));
    fuzzcheck::expect(!setting.animated, "a --set value came out animated", c.name);
    const double v = setting.value;
    fuzzcheck::expect(std::isfinite(v) && v >= c.validMin && v <= c.validMax, "value outside the valid range",
                      c.name + " " + std::to_string(v));
    PF_ParamDef def{};
    def.param_type = c.type;
    vblind::encodeValue(c, v, def);
    const double back = vblind::decodeValue(c, def);
    // Fixed-point controls keep 1/65536; whole-number controls keep the number.
    fuzzcheck::expect(std::fabs(back - v) <= 0.5 / 65536 + 1e-12 * std::fabs(v), "value changed in the host record",
                      c.name + " " + std::to_string(v) + " -> " + std::to_string(back));
    (void)vblind::formatValue(c, v);
    return 0;
}
