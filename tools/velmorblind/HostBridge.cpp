#include "HostBridge.h"

#include "Error.h"
#include "Frames.h"

#include "Effect.h"
#include "Host.h"
#include "Module.h"
#include "Render.h"
#include "SmartFrame.h"

namespace vblind {

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

std::filesystem::path locateModule(const std::optional<std::filesystem::path>& module) {
    if (module) return *module;
    const std::string file = vhost::moduleFileName("VelmorBlind");
    const auto dirs = vhost::defaultModuleDirs();
    if (auto found = vhost::findModule(file, dirs)) return *found;
    failure("cannot find the module " + file + " beside this program" +
            (dirs.empty() ? std::string() : " (in \"" + dirs.front().string() + "\")") +
            "; build it, or name one with --module PATH.");
}

EffectSession::EffectSession(const SessionOptions& options) : modulePath_(locateModule(options.module)) {
    std::string error;
    auto module = vhost::Module::load(modulePath_, error);
    if (!module) failure("cannot load the module: " + error + ".");
    module_ = std::move(module);

    vhost::Host::Options hostOptions;
    hostOptions.threads = options.threads;
    host_ = std::make_unique<vhost::Host>(hostOptions);
    effect_ = std::make_unique<vhost::Effect>(*host_, module_);
    const int lastFrame = lastFrameAt(options.fps);
    effect_->setTimeBase(options.fps.ticks, options.fps.scale, (lastFrame + 1) * options.fps.ticks);

    if (PF_Err err = effect_->globalSetup()) hostFailure("global set-up", err);
    if (PF_Err err = effect_->paramsSetup()) hostFailure("parameter set-up", err);
    for (int i = 1; i < effect_->paramCount(); ++i)
        controls_.push_back(describeControl(i, effect_->definition(i)));
}

EffectSession::~EffectSession() {
    effect_.reset();  // sends global set-down while host and module are still there
    host_.reset();
}

void EffectSession::hostFailure(const std::string& command, PF_Err err) const {
    const char* name = errorName(err);
    std::string text = "the module's " + command + " failed with host error " + std::to_string(err);
    if (*name) text += std::string(" (") + name + ")";
    const std::string message = effect_ ? std::string(effect_->lastOutData().return_msg) : std::string();
    if (!message.empty()) text += ": " + message;
    failure(text + ".");
}

const vhost::Pipl& EffectSession::pipl() const { return module_->pipl(); }

int EffectSession::declaredParamCount() const { return effect_->declaredParamCount(); }

std::string EffectSession::about() {
    std::string text;
    if (PF_Err err = effect_->about(text)) hostFailure("About command", err);
    return text;
}

std::vector<std::string> EffectSession::greyedControls() {
    if (PF_Err err = effect_->updateParamsUI()) hostFailure("update of its controls", err);
    std::vector<std::string> greyed;
    for (const ControlDef& c : controls_)
        if (effect_->uiFlags(c.index) & PF_PUI_DISABLED) greyed.push_back(c.name);
    return greyed;
}

void EffectSession::apply(const ControlPlan& plan) {
    for (const auto& [index, setting] : plan) {
        const ControlDef& c = controls_.at(static_cast<std::size_t>(index - 1));
        std::string why;
        if (!setting.animated) {
            if (!effect_->setValue(index, setting.value, &why))
                usageError(c.name + " cannot be " + formatValue(c, setting.value) + ": " + why + ".");
            continue;
        }
        effect_->clearKeyframes(index);
        for (const Key& k : setting.keys) {
            if (!effect_->setKeyframe(index, effect_->frameTime(k.frame), k.value, &why))
                usageError(c.name + " cannot be keyed to " + formatValue(c, k.value) + ": " + why + ".");
        }
    }
}

double EffectSession::valueAt(int index, int frame) const {
    return effect_->valueAt(index, effect_->frameTime(frame));
}

vhost::Image EffectSession::downsampled(const vhost::Image& image, int downsample) const {
    if (downsample <= 1) return image;
    const PF_RationalScale scale{1, static_cast<A_u_long>(downsample)};
    vhost::SmartFrame frame(image, scale, scale);
    return frame.layer();
}

vhost::Image EffectSession::render(const vhost::Image& input, int frame, Quality quality, int downsample,
                                   const std::optional<Region>& region) {
    vhost::RenderOptions options;
    options.time = effect_->frameTime(frame).value;
    options.quality = qualityRow(quality).host;
    options.downsampleX = options.downsampleY = downsample;
    if (region) options.request = region->rect();
    options.reportOutput = false;  // the report's flags are read below; the output is ours alone
    const std::size_t faultsBefore = host_->ledger().faults().size();
    vhost::Image output;
    vhost::RenderReport report;
    const PF_Err err = vhost::renderFrame(*effect_, input, output, options, &report);
    if (err) {
        const bool preRender = report.preRenderResult != PF_Err_NONE || !report.rendered;
        hostFailure((preRender ? "pre-render of frame " : "render of frame ") + std::to_string(frame), err);
    }
    // The host checks the module's manners (guard bands around the output, an input left as it
    // was, everything checked out given back); a frame made against them is not trusted.
    if (!report.outputIntact)
        failure("the module wrote outside its output on frame " + std::to_string(frame) + ".");
    if (!report.inputUnchanged)
        failure("the module wrote into its input on frame " + std::to_string(frame) + ".");
    const std::vector<std::string> faults = host_->ledger().faults();
    // The log of every host call is for tests; kept over a long range it would grow with every frame.
    host_->ledger().resetLog();
    if (faults.size() > faultsBefore)
        failure("the host caught the module misbehaving on frame " + std::to_string(frame) + ": " +
                faults[faultsBefore] + ".");
    output.placement = input.placement.downsampled(downsample);  // the frame sits where its input did
    if (region)
        output.placement = regionPlacement(output.placement, (input.width + downsample - 1) / downsample,
                                           (input.height + downsample - 1) / downsample, *region);
    return output;
}

}  // namespace vblind
