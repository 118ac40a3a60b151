#include "HostBridge.h"

#include "Error.h"
#include "Frames.h"

#include "Effect.h"
#include "Host.h"
#include "Module.h"
#include "Render.h"
#include "Session.h"
#include "SmartFrame.h"

namespace vblind {

void sessionFailure(const vsession::SessionError& error) { failure(error.what()); }

namespace {

// What f returns; a SessionError on the way becomes the renderer's failure.
template <typename F>
auto bridged(F f) -> decltype(f()) {
    try {
        return f();
    } catch (const vsession::SessionError& e) {
        sessionFailure(e);
    }
}

}  // namespace

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
    bridged([&] {
        vhost::Host::Options hostOptions;
        hostOptions.threads = options.threads;
        session_ = std::make_unique<vsession::Session>(vsession::loadModule(modulePath_), hostOptions);
        const int lastFrame = lastFrameAt(options.fps);
        session_->effect().setTimeBase(options.fps.ticks, options.fps.scale,
                                       (lastFrame + 1) * options.fps.ticks);
        session_->setUp();
    });
}

EffectSession::~EffectSession() = default;

const vhost::Pipl& EffectSession::pipl() const { return session_->module().pipl(); }

const std::vector<ControlDef>& EffectSession::controls() const { return session_->controls(); }

int EffectSession::declaredParamCount() const { return session_->effect().declaredParamCount(); }

std::string EffectSession::about() {
    return bridged([&] { return session_->about(); });
}

std::vector<std::string> EffectSession::greyedControls() {
    return bridged([&] { return session_->greyedControls(); });
}

void EffectSession::apply(const ControlPlan& plan) {
    vhost::Effect& effect = session_->effect();
    for (const auto& [index, setting] : plan) {
        const ControlDef& c = controls().at(static_cast<std::size_t>(index - 1));
        std::string why;
        if (!setting.animated) {
            if (!effect.setValue(index, setting.value, &why))
                usageError(c.name + " cannot be " + formatValue(c, setting.value) + ": " + why + ".");
            continue;
        }
        effect.clearKeyframes(index);
        for (const Key& k : setting.keys) {
            if (!effect.setKeyframe(index, effect.frameTime(k.frame), k.value, &why))
                usageError(c.name + " cannot be keyed to " + formatValue(c, k.value) + ": " + why + ".");
        }
    }
}

double EffectSession::valueAt(int index, int frame) const {
    const vhost::Effect& effect = std::as_const(*session_).effect();
    return effect.valueAt(index, effect.frameTime(frame));
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
    options.time = session_->effect().frameTime(frame).value;
    options.quality = qualityRow(quality).host;
    options.downsampleX = options.downsampleY = downsample;
    if (region) options.request = region->rect();
    vhost::Image output = bridged([&] { return session_->renderTrusted(input, options, frame); });
    output.placement = input.placement.downsampled(downsample);  // the frame sits where its input did
    if (region)
        output.placement = regionPlacement(output.placement, (input.width + downsample - 1) / downsample,
                                           (input.height + downsample - 1) / downsample, *region);
    return output;
}

}  // namespace vblind
