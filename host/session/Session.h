// One effect instance driven through the stand-in host, as the renderer, the frei0r transition and
// the matrix tool each run one: the host, the module and the effect set up together, the controls
// the module declared read back, and renders checked before their frames are trusted. Failures are
// SessionErrors naming the command and the host's code.
#pragma once

#include "Controls.h"
#include "Host.h"
#include "Image.h"
#include "Render.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vhost {
class Effect;
class Module;
}  // namespace vhost

namespace vsession {

// The module in `file`, loaded; throws a SessionError saying why it cannot be.
std::shared_ptr<vhost::Module> loadModule(const std::filesystem::path& file);

// What one render came to, and whether its frame can be trusted: no host error, nothing written
// outside the output or into the input (checked renders only), and no misbehaviour of the module
// recorded in the host's ledger while it ran.
struct RenderCheck {
    PF_Err err = PF_Err_NONE;
    bool preRender = false;  // the error came from the pre-render (or the render was never sent)
    bool outputIntact = true;
    bool inputUnchanged = true;
    std::string fault;  // the first misbehaviour recorded during the render; empty: none
    bool trusted() const { return err == PF_Err_NONE && outputIntact && inputUnchanged && fault.empty(); }
};

class Session {
public:
    // A host with these options and an effect instance of the module; nothing is sent yet.
    explicit Session(std::shared_ptr<const vhost::Module> module,
                     const vhost::Host::Options& hostOptions = {});
    ~Session();  // global set-down (through the effect) while the host is still there
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    vhost::Host& host() { return *host_; }
    vhost::Effect& effect() { return *effect_; }
    const vhost::Effect& effect() const { return *effect_; }
    const vhost::Module& module() const { return *module_; }

    // GLOBAL_SETUP and PARAMS_SETUP, then the declared controls read back. Throws a SessionError.
    void setUp();
    // The module's own controls (parameter 1 onwards), as declared.
    const std::vector<ControlDef>& controls() const { return controls_; }
    // The control of parameter `index`; throws std::out_of_range for one the module did not declare.
    const ControlDef& control(int index) const;

    // The module's ABOUT text. Throws a SessionError.
    std::string about();
    // Runs UPDATE_PARAMS_UI at the values now set and returns the controls it left greyed out.
    std::vector<std::string> greyedControls();

    // Renders one frame and says what came of it; never throws for a host error. The call log is
    // emptied afterwards (kept over a long range it would grow with every frame).
    RenderCheck render(const vhost::Image& input, vhost::Image& output, const vhost::RenderOptions& options);
    // The same, the output returned only when it can be trusted; otherwise a SessionError naming
    // frame `frame` ("the module wrote into its input on frame 7.").
    vhost::Image renderTrusted(const vhost::Image& input, const vhost::RenderOptions& options, int frame);

    // "the module's <command> failed with host error <err> (<name>): <its message>." as a SessionError.
    [[noreturn]] void hostFailure(const std::string& command, PF_Err err) const;

    // Sends global set-down and drops the effect now; the host stays for a last look at its ledger.
    void closeEffect();

private:
    std::unique_ptr<vhost::Host> host_;
    std::shared_ptr<const vhost::Module> module_;
    std::unique_ptr<vhost::Effect> effect_;
    std::vector<ControlDef> controls_;
};

}  // namespace vsession
