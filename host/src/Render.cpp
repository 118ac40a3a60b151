#include "Render.h"

#include "Effect.h"
#include "SmartFrame.h"
#include "SuiteEntry.h"
#include "Worlds.h"

#include <map>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>

namespace vhost {

namespace {

// ---- the effect layers: which instance is applied to which layer, and that layer's quality ----

struct LayerRegistry {
    std::mutex mutex;
    std::map<const Effect*, EffectLayer*> current;  // the innermost layer of each instance
    std::set<const EffectLayer*> live;
};

LayerRegistry& layers() {
    static LayerRegistry registry;
    return registry;
}

PF_Err getEffectLayer(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH) {
    if (auto refusal = enterSuite("AEGP_GetEffectLayer")) return *refusal;
    if (layerPH == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const Effect* effect = Effect::fromRef(effect_ref);
    LayerRegistry& registry = layers();
    std::lock_guard lock(registry.mutex);
    auto it = effect ? registry.current.find(effect) : registry.current.end();
    if (it == registry.current.end()) return PF_Err_BAD_CALLBACK_PARAM;
    *layerPH = it->second->handle();
    return PF_Err_NONE;
}

PF_Err getLayerQuality(AEGP_LayerH layerH, AEGP_LayerQuality* qualityP) {
    if (auto refusal = enterSuite("AEGP_GetLayerQuality")) return *refusal;
    if (qualityP == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const auto* layer = reinterpret_cast<const EffectLayer*>(layerH);
    LayerRegistry& registry = layers();
    std::lock_guard lock(registry.mutex);
    if (registry.live.count(layer) == 0) return PF_Err_BAD_CALLBACK_PARAM;
    *qualityP = layer->quality();
    return PF_Err_NONE;
}

const AEGP_PFInterfaceSuite1 kPFInterfaceSuite1{&getEffectLayer};
const AEGP_LayerSuite11 kLayerSuite11{&getLayerQuality};

// Whether the host can make an output of the requested rectangle: not empty, each side within a
// world's (in 64 bits: the corners may lie anywhere in the 32-bit range), its pixels within the
// budget.
PF_Err checkRequest(const PF_LRect& r, Depth depth, std::uint64_t budget) {
    const std::int64_t width = static_cast<std::int64_t>(r.right) - r.left;
    const std::int64_t height = static_cast<std::int64_t>(r.bottom) - r.top;
    if (width <= 0 || height <= 0 || width > kMaxWorldSide || height > kMaxWorldSide)
        return PF_Err_BAD_CALLBACK_PARAM;
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * bytesPerPixel(depth);
    if (budget != 0 && bytes > budget) return PF_Err_OUT_OF_MEMORY;
    return PF_Err_NONE;
}

}  // namespace

void registerLayerSuites(Host& host) {
    host.registerSuite(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &kPFInterfaceSuite1);
    host.registerSuite(kAEGPLayerSuite, kAEGPLayerSuiteVersion11, &kLayerSuite11);
}

EffectLayer::EffectLayer(Effect& effect, AEGP_LayerQuality quality) : effect_(&effect), quality_(quality) {
    LayerRegistry& registry = layers();
    std::lock_guard lock(registry.mutex);
    auto [it, added] = registry.current.try_emplace(effect_, this);
    if (!added) throw std::logic_error("the effect already has a layer");
    registry.live.insert(this);
}

EffectLayer::~EffectLayer() {
    LayerRegistry& registry = layers();
    std::lock_guard lock(registry.mutex);
    registry.live.erase(this);
    auto it = registry.current.find(effect_);
    if (it != registry.current.end() && it->second == this) registry.current.erase(it);
}

AEGP_LayerH EffectLayer::handle() const {
    return reinterpret_cast<AEGP_LayerH>(const_cast<EffectLayer*>(this));
}

PF_Err renderFrame(Effect& effect, const Image& input, Image& output, const RenderOptions& options,
                   RenderReport* report) {
    RenderReport local;
    RenderReport& r = report ? *report : local;
    r = RenderReport{};

    if (options.downsampleX < 1 || options.downsampleY < 1) return PF_Err_BAD_CALLBACK_PARAM;
    if (options.request) {
        if (PF_Err err = checkRequest(*options.request, input.depth, options.memoryBudget)) return err;
    }

    Host& host = effect.host();
    if (options.threads > 0 && options.threads != host.threadCount()) host.setThreadCount(options.threads);
    host.setIterationOrder(options.order);
    if (options.time) effect.setCurrentTime(*options.time);

    SmartFrame::Options frameOptions;
    frameOptions.request = options.request;
    frameOptions.checked = options.checked;
    // Pixels the module leaves unwritten are only ever seen in the report's copy of the output.
    frameOptions.fillOutput = report != nullptr && options.reportOutput && !options.readOutput;
    frameOptions.keepOutput = !options.readOutput;
    if (options.readOutput) {
        frameOptions.outputPixels = options.outputPixels;
        frameOptions.outputRowBytes = options.outputRowBytes;
    } else {
        // The output is made in storage the effect keeps and handed over without a copy.
        frameOptions.outputStorage = &effect.spareOutput();
    }
    std::optional<SmartFrame> frame;
    try {
        // The caller's image outlives the frame: read in place, not copied.
        frame.emplace(SmartFrame::Borrow{}, input,
                      PF_RationalScale{1, static_cast<A_u_long>(options.downsampleX)},
                      PF_RationalScale{1, static_cast<A_u_long>(options.downsampleY)}, frameOptions);
    } catch (const std::invalid_argument&) {
        return PF_Err_BAD_CALLBACK_PARAM;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;  // the downsampled layer
    }
    frame->attach(effect);  // the frame detaches itself when it goes
    std::optional<EffectLayer> layer;
    try {
        layer.emplace(effect, options.quality);
    } catch (const std::logic_error&) {
        return PF_Err_BAD_CALLBACK_PARAM;  // another render of this instance is under way
    }

    PF_ParamDef** params = effect.currentParams();
    PF_InData in = effect.makeInData();
    frame->prepareInData(in);
    PF_OutData out{};
    PF_Err err = effect.command(PF_Cmd_SMART_PRE_RENDER, in, out, params, nullptr, frame->preRenderExtra());
    r.preRenderResult = err;
    if (err == PF_Err_NONE) {
        in = effect.makeInData();
        frame->prepareInData(in);
        out = PF_OutData{};
        r.rendered = true;
        err = effect.command(PF_Cmd_SMART_RENDER, in, out, params, nullptr, frame->smartRenderExtra());
        r.renderResult = err;
    }
    r.preRenderOutput = frame->preRenderOutput();
    r.preRenderOutput.pre_render_data = nullptr;
    r.outputCheckedOut = frame->outputWorld() != nullptr;

    // The host takes back its worlds and checkouts and disposes of the pre-render data.
    // On success the caller's output is replaced: its storage takes the frame's result.
    // (Not when the caller renders an image onto itself: the frame still reads it as its input.)
    if (options.readOutput) {
        if (err == PF_Err_NONE && r.outputCheckedOut) options.readOutput(*frame->outputWorld());
        frame->finish();
        r.outputIntact = frame->outputIntact();
        r.inputUnchanged = frame->inputUnchanged();
        return err;
    }
    const bool copyToReport = report && options.reportOutput;
    if (err == PF_Err_NONE && !copyToReport && &output != &input)
        frame->finish(std::move(output.bytes));
    else
        frame->finish();
    r.outputIntact = frame->outputIntact();
    r.inputUnchanged = frame->inputUnchanged();
    if (effect.spareOutput().capacity() > SmartFrame::kOutputStorageMaxBytes)
        std::vector<std::uint8_t>().swap(effect.spareOutput());
    const PF_LRect area = options.request.value_or(PF_LRect{0, 0, frame->layerWidth(), frame->layerHeight()});
    try {
        if (copyToReport && r.outputCheckedOut) {
            r.output = frame->takeOutput(area);
            if (err == PF_Err_NONE) output = r.output;
        } else if (err == PF_Err_NONE) {
            output = frame->takeOutput(area);
        }
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;  // the requested area's image
    }
    return err;
}

}  // namespace vhost
