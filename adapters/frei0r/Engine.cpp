#include "Engine.h"

#include "Composite.h"
#include "VelmorPlugin.h"

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Render.h"

#include <cstring>
#include <stdexcept>

namespace vfrei0r {

namespace {

std::mutex gEngineMutex;
Engine* gEngine = nullptr;
int gUsers = 0;

// frei0r's RGBA8888 is the bytes R, G, B, A in memory; the host's 8-bit pixel is A, R, G, B.
vhost::Image fromRgba(const std::uint32_t* frame, int width, int height) {
    vhost::Image image(width, height, vhost::Depth::Bits8);
    const auto* src = reinterpret_cast<const std::uint8_t*>(frame);
    PF_Pixel* dst = image.pixels<PF_Pixel>();
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t i = 0; i < count; ++i, src += 4) {
        dst[i].red = src[0];
        dst[i].green = src[1];
        dst[i].blue = src[2];
        dst[i].alpha = src[3];
    }
    return image;
}

void toRgba(const vhost::Image& image, std::uint32_t* frame) {
    auto* dst = reinterpret_cast<std::uint8_t*>(frame);
    const PF_Pixel* src = image.pixels<PF_Pixel>();
    const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    for (std::size_t i = 0; i < count; ++i, dst += 4) {
        dst[0] = src[i].red;
        dst[1] = src[i].green;
        dst[2] = src[i].blue;
        dst[3] = src[i].alpha;
    }
}

}  // namespace

Engine& Engine::acquire() {
    std::lock_guard lock(gEngineMutex);
    if (!gEngine) gEngine = new Engine();
    ++gUsers;
    return *gEngine;
}

void Engine::release() {
    std::lock_guard lock(gEngineMutex);
    if (gUsers > 0) --gUsers;
}

void Engine::shutdown() {
    std::lock_guard lock(gEngineMutex);
    if (gUsers == 0) {
        delete gEngine;
        gEngine = nullptr;
    }
}

Engine::Engine() {
    host_ = std::make_unique<vhost::Host>();
    module_ = vhost::Module::fromEntryPoint(&EntryPointFunc, {}, "velmorblind (frei0r)");
    effect_ = std::make_unique<vhost::Effect>(*host_, module_);
    if (effect_->globalSetup() != PF_Err_NONE || effect_->paramsSetup() != PF_Err_NONE)
        throw std::runtime_error("the module could not be set up");
    for (int i = 1; i < effect_->paramCount(); ++i)
        controls_.push_back(vblind::describeControl(i, effect_->definition(i)));
}

Engine::~Engine() {
    effect_.reset();  // global set-down while the host is still there
    host_.reset();
}

const vblind::ControlDef& Engine::control(int index) const {
    for (const vblind::ControlDef& c : controls_)
        if (c.index == index) return c;
    throw std::out_of_range("the module declares no parameter " + std::to_string(index));
}

bool Engine::render(const FrameSettings& settings, int width, int height, const std::uint32_t* in1,
                    const std::uint32_t* in2, std::uint32_t* out) {
    const vhost::Image input = fromRgba(in1, width, height);
    vhost::Image output;
    {
        std::lock_guard lock(renderMutex_);
        for (const auto& [index, value] : settings.values)
            if (!effect_->setValue(index, value)) return false;
        vhost::RenderOptions options;
        options.time = 0;
        options.quality = settings.draft ? AEGP_LayerQual_DRAFT : AEGP_LayerQual_BEST;
        vhost::RenderReport report;
        vhost::Ledger& ledger = host_->ledger();
        const std::size_t faultsBefore = ledger.faults().size();
        const PF_Err err = vhost::renderFrame(*effect_, input, output, options, &report);
        const bool trusted = err == PF_Err_NONE && report.outputIntact && report.inputUnchanged &&
                             ledger.faults().size() == faultsBefore;
        // The call log would otherwise grow with every frame of a long video.
        ledger.resetLog();
        if (!trusted || output.width != width || output.height != height) return false;
    }
    const vhost::Image back =
        in2 ? fromRgba(in2, width, height) : vhost::Image(width, height, vhost::Depth::Bits8);
    vblind::compositeOver(output, back);
    toRgba(output, out);
    return true;
}

}  // namespace vfrei0r
