// The controls exactly as the module declares them, read once by loading the module through the
// host the way the renderer does.
#pragma once

#include "Controls.h"
#include "HostBridge.h"

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
