// The controls exactly as the module declares them, read once by loading the module through the
// host the way the renderer does.
#pragma once

#include "Controls.h"
#include "HostBridge.h"

#include <vector>

inline const std::vector<vblind::ControlDef>& moduleControls() {
    static const std::vector<vblind::ControlDef> controls = [] {
        vblind::SessionOptions options;
        options.module = VELMOR_MODULE_PATH;
        options.threads = 1;
        return vblind::EffectSession(options).controls();
    }();
    return controls;
}
