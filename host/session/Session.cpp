#include "Session.h"

#include "SessionError.h"

#include "Effect.h"
#include "Module.h"

#include <stdexcept>

namespace vsession {

const char* errorName(PF_Err err) {
    switch (err) {
        case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
        case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
        case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
        case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
        case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
        case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
        case PF_Interrupt_CANCEL: return "PF_Interrupt_CANCEL";
        default: return "";
    }
}

std::shared_ptr<vhost::Module> loadModule(const std::filesystem::path& file) {
    std::string error;
    auto module = vhost::Module::load(file, error);
    if (!module) throw SessionError("cannot load the module: " + error + ".");
    return module;
}

Session::Session(std::shared_ptr<const vhost::Module> module, const vhost::Host::Options& hostOptions)
    : host_(std::make_unique<vhost::Host>(hostOptions)),
      module_(std::move(module)),
      effect_(std::make_unique<vhost::Effect>(*host_, module_)) {}

Session::~Session() {
    effect_.reset();  // sends global set-down while host and module are still there
    host_.reset();
}

void Session::closeEffect() { effect_.reset(); }

void Session::setUp() {
    if (PF_Err err = effect_->globalSetup()) hostFailure("global set-up", err);
    if (PF_Err err = effect_->paramsSetup()) hostFailure("parameter set-up", err);
    controls_.clear();
    for (int i = 1; i < effect_->paramCount(); ++i)
        controls_.push_back(describeControl(i, effect_->definition(i)));
}

const ControlDef& Session::control(int index) const {
    for (const ControlDef& c : controls_)
        if (c.index == index) return c;
    throw std::out_of_range("the module declares no parameter " + std::to_string(index));
}

void Session::hostFailure(const std::string& command, PF_Err err) const {
    const char* name = errorName(err);
    std::string text = "the module's " + command + " failed with host error " + std::to_string(err);
    if (*name) text += std::string(" (") + name + ")";
    const std::string message = effect_ ? std::string(effect_->lastOutData().return_msg) : std::string();
    if (!message.empty()) text += ": " + message;
    throw SessionError(text + ".", err);
}

std::string Session::about() {
    std::string text;
    if (PF_Err err = effect_->about(text)) hostFailure("About command", err);
    return text;
}

std::vector<std::string> Session::greyedControls() {
    if (PF_Err err = effect_->updateParamsUI()) hostFailure("update of its controls", err);
    std::vector<std::string> greyed;
    for (const ControlDef& c : controls_)
        if (effect_->uiFlags(c.index) & PF_PUI_DISABLED) greyed.push_back(c.name);
    return greyed;
}

RenderCheck Session::render(const vhost::Image& input, vhost::Image& output,
                            const vhost::RenderOptions& options) {
    vhost::RenderOptions flagsOnly = options;
    flagsOnly.reportOutput = false;  // only the report's flags are read
    vhost::Ledger& ledger = host_->ledger();
    const std::size_t faultsBefore = ledger.faults().size();
    vhost::RenderReport report;
    RenderCheck check;
    check.err = vhost::renderFrame(*effect_, input, output, flagsOnly, &report);
    check.preRender = check.err != PF_Err_NONE && (report.preRenderResult != PF_Err_NONE || !report.rendered);
    // The host checks the module's manners (guard bands around the output, an input left as it
    // was, everything checked out given back); a frame made against them is not trusted.
    check.outputIntact = report.outputIntact;
    check.inputUnchanged = report.inputUnchanged;
    const std::vector<std::string> faults = ledger.faults();
    if (faults.size() > faultsBefore) check.fault = faults[faultsBefore];
    ledger.resetLog();
    return check;
}

vhost::Image Session::renderTrusted(const vhost::Image& input, const vhost::RenderOptions& options,
                                    int frame) {
    vhost::Image output;
    const RenderCheck check = render(input, output, options);
    const std::string where = std::to_string(frame);
    if (check.err)
        hostFailure((check.preRender ? "pre-render of frame " : "render of frame ") + where, check.err);
    if (!check.outputIntact)
        throw SessionError("the module wrote outside its output on frame " + where + ".");
    if (!check.inputUnchanged) throw SessionError("the module wrote into its input on frame " + where + ".");
    if (!check.fault.empty())
        throw SessionError("the host caught the module misbehaving on frame " + where + ": " + check.fault +
                           ".");
    return output;
}

}  // namespace vsession
