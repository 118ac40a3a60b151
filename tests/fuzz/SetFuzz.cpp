// The renderer's control-value parser: the input is one "--set NAME=VALUE" argument, naming any of
// the module's controls. A value it takes lies in the control's valid range and survives the trip
// into the host's parameter record and back.
#include "ModuleControls.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = parseOneArgument(text, false);
    if (!parsed) return 0;
    const vblind::ControlDef& c = *parsed->first;
    const vblind::ControlSetting& setting = parsed->second;
    vtest::expect(!setting.animated, "a --set value came out animated", c.name);
    const double v = setting.value;
    vtest::expect(std::isfinite(v) && v >= c.validMin && v <= c.validMax, "value outside the valid range",
                  c.name + " " + std::to_string(v));
    PF_ParamDef def{};
    def.param_type = c.type;
    vblind::encodeValue(c, v, def);
    const double back = vblind::decodeValue(c, def);
    // Fixed-point controls keep 1/65536; whole-number controls keep the number.
    vtest::expect(std::fabs(back - v) <= 0.5 / 65536 + 1e-12 * std::fabs(v),
                  "value changed in the host record",
                  c.name + " " + std::to_string(v) + " -> " + std::to_string(back));
    (void)vblind::formatValue(c, v);
    return 0;
}
