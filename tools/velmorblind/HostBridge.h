// The tool's one door to the stand-in host: load the module from disk, run its set-up commands,
// read what it declared, hand it control values, and render frames. Every host failure becomes a
// ToolError (exit status 1) naming the command and the host's code.
#pragma once

#include "Controls.h"
#include "Frames.h"
#include "Image.h"
#include "Quality.h"
#include "Region.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vhost {
class Host;
class Module;
class Effect;
struct Pipl;
}  // namespace vhost

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
    const std::vector<ControlDef>& controls() const { return controls_; }
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
    [[noreturn]] void hostFailure(const std::string& command, PF_Err err) const;

    std::filesystem::path modulePath_;
    std::unique_ptr<vhost::Host> host_;
    std::shared_ptr<vhost::Module> module_;
    std::unique_ptr<vhost::Effect> effect_;
    std::vector<ControlDef> controls_;
};

// "PF_Err_INTERNAL_STRUCT_DAMAGED" and the like; "" for codes without a name.
const char* errorName(PF_Err err);

}  // namespace vblind
