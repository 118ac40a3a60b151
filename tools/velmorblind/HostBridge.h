// The tool's one door to the stand-in host: find the module on disk and open a session on it (the
// session library sets it up, reads what it declared and checks every render), hand it the command
// line's control values, and render frames. Every SessionError becomes a ToolError with exit
// status 1 and the same sentence; a value the effect refuses is a usage error (exit status 2).
#pragma once

#include "Frames.h"
#include "Image.h"
#include "Quality.h"
#include "Region.h"
#include "SessionError.h"
#include "Settings.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vhost {
struct Pipl;
}  // namespace vhost

namespace vsession {
class Session;
}  // namespace vsession

namespace vblind {

struct SessionOptions {
    std::optional<std::filesystem::path> module;  // default: the module beside the tool
    int threads = 0;                              // 0: all cores
    FrameRate fps;                                // the time base
};

// The module a session loads: `module` when given, else the one beside this program. Throws a
// ToolError when there is none.
std::filesystem::path locateModule(const std::optional<std::filesystem::path>& module);

class EffectSession {
public:
    // Loads the module, sends global set-up and parameter set-up. Throws a ToolError.
    explicit EffectSession(const SessionOptions& options);
    ~EffectSession();  // global set-down (through the effect), then the module is unloaded
    EffectSession(const EffectSession&) = delete;
    EffectSession& operator=(const EffectSession&) = delete;

    const std::filesystem::path& modulePath() const { return modulePath_; }
    const vhost::Pipl& pipl() const;
    std::string about();

    // The module's own controls (parameter 1 onwards), as declared.
    const std::vector<ControlDef>& controls() const;
    int declaredParamCount() const;
    // Runs UPDATE_PARAMS_UI at the values now set and returns the controls it left greyed out.
    std::vector<std::string> greyedControls();

    // Makes the plan the effect's values: constants and keys on frames.
    void apply(const ControlPlan& plan);
    // A control's value at a frame, in user units, as the host hands it to the module.
    double valueAt(int index, int frame) const;

    // Renders one frame of `input` (full resolution, at the render's depth). The output is
    // ceil(W / downsample) x ceil(H / downsample), or only `region` of it, which the host then
    // asks the module for.
    vhost::Image render(const vhost::Image& input, int frame, Quality quality, int downsample,
                        const std::optional<Region>& region = std::nullopt);
    // An image reduced exactly as the host reduces the input layer at that downsampling.
    vhost::Image downsampled(const vhost::Image& image, int downsample) const;

private:
    std::filesystem::path modulePath_;
    std::unique_ptr<vsession::Session> session_;
};

// "PF_Err_INTERNAL_STRUCT_DAMAGED" and the like; "" for codes without a name.
using vsession::errorName;

// The renderer's exit status for a failed session: 1, with the session's sentence.
[[noreturn]] void sessionFailure(const vsession::SessionError& error);

}  // namespace vblind
