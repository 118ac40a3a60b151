// The "--key NAME=VALUE@FRAME,..." parser: the input is one --key argument. Keys it takes come out
// in ascending, distinct frames within the frame limit, each value in the control's valid range.
#include "Error.h"
#include "Frames.h"
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
        plan = vblind::parseSettings(controls, {}, {text});
    } catch (const vblind::ToolError& e) {
        fuzzcheck::expect(e.status() == vblind::kExitUsage, "a --key refused as a failure", e.what());
        fuzzcheck::oneSentence(e.what(), text);
        return 0;
    }
    fuzzcheck::expect(plan.size() == 1, "one --key gave other than one setting");
    const auto& [index, setting] = *plan.begin();
    const vblind::ControlDef& c = controls.at(static_cast<std::size_t>(index - 1));
    fuzzcheck::expect(setting.animated && !setting.keys.empty(), "a --key without keys", c.name);
    int previous = -1;
    for (const vblind::Key& k : setting.keys) {
        fuzzcheck::expect(k.frame > previous && k.frame <= vblind::kMaxFrameNumber,
                          "key frames out of order or out of range", std::to_string(k.frame));
        fuzzcheck::expect(std::isfinite(k.value) && k.value >= c.validMin && k.value <= c.validMax,
                          "key value outside the valid range", c.name + " " + std::to_string(k.value));
        previous = k.frame;
    }
    return 0;
}
