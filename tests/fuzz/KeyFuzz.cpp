// The "--key NAME=VALUE@FRAME,..." parser: the input is one --key argument. Keys it takes come out
// in ascending, distinct frames within the frame limit, each value in the control's valid range.
#include "Frames.h"
#include "ModuleControls.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = parseOneArgument(text, true);
    if (!parsed) return 0;
    const vblind::ControlDef& c = *parsed->first;
    const vblind::ControlSetting& setting = parsed->second;
    vtest::expect(setting.animated && !setting.keys.empty(), "a --key without keys", c.name);
    int previous = -1;
    for (const vblind::Key& k : setting.keys) {
        vtest::expect(k.frame > previous && k.frame <= vblind::kMaxFrameNumber,
                      "key frames out of order or out of range", std::to_string(k.frame));
        vtest::expect(std::isfinite(k.value) && k.value >= c.validMin && k.value <= c.validMax,
                      "key value outside the valid range", c.name + " " + std::to_string(k.value));
        previous = k.frame;
    }
    return 0;
}
