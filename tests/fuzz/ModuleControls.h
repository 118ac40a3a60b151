// The controls exactly as the module declares them, read once by loading the module through the
// host the way the renderer does.
#pragma once

#include "Controls.h"
#include "Error.h"
#include "FuzzCheck.h"
#include "HostBridge.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

inline const std::vector<vblind::ControlDef>& moduleControls() {
    // The session stays for the life of the process: the fuzzer keeps coverage counters inside the
    // module's code, which must not be unloaded under it.
    static const vblind::EffectSession* session = [] {
        vblind::SessionOptions options;
        options.module = VELMOR_MODULE_PATH;
        options.threads = 1;
        return new vblind::EffectSession(options);
    }();
    return session->controls();
}

// The module is loaded before the first input, so its loading is not counted against one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    moduleControls();
    return 0;
}

// One --set (or, with `asKey`, one --key) argument through the renderer's parser. A refusal must be
// a usage error of one sentence (nullopt then); a setting taken comes back with its control.
inline std::optional<std::pair<const vblind::ControlDef*, vblind::ControlSetting>> parseOneArgument(
    const std::string& text, bool asKey) {
    const auto& controls = moduleControls();
    vblind::ControlPlan plan;
    try {
        plan =
            asKey ? vblind::parseSettings(controls, {}, {text}) : vblind::parseSettings(controls, {text}, {});
    } catch (const vblind::ToolError& e) {
        vtest::expect(e.status() == vblind::kExitUsage,
                      asKey ? "a --key refused as a failure" : "a --set value refused as a failure",
                      e.what());
        vtest::oneSentence(e.what(), text);
        return std::nullopt;
    }
    vtest::expect(plan.size() == 1,
                  asKey ? "one --key gave other than one setting" : "one --set gave other than one setting");
    const auto& [index, setting] = *plan.begin();
    return std::make_pair(&controls.at(static_cast<std::size_t>(index - 1)), setting);
}
