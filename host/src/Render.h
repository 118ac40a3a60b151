// Rendering one frame of one effect instance as the host does it: the smart-render protocol
// (PF_Cmd_SMART_PRE_RENDER, then PF_Cmd_SMART_RENDER) on a SmartFrame, with the render's time,
// layer quality, downsampling, thread count and iteration order.
//
// The effect side of a render also needs the effect's layer and its quality: "AEGP PF Interface
// Suite" 1 (AEGP_GetEffectLayer) and "AEGP Layer Suite" 11 (AEGP_GetLayerQuality), defined in
// Render.cpp and registered by the Host constructor (registerLayerSuites, in HostSuites.h). The
// layer an effect is applied to exists while an EffectLayer for it lives (renderFrame makes one
// for the render); its quality is the render's.
//
//     vhost::Host host;
//     vhost::Effect effect(host, module);
//     effect.globalSetup();  effect.paramsSetup();  effect.setValue(2, 50.0);
//     vhost::Image out;
//     vhost::RenderOptions options;  options.quality = AEGP_LayerQual_DRAFT;
//     PF_Err err = vhost::renderFrame(effect, input, out, options);
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "Host.h"
#include "HostSuites.h"
#include "Image.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace vhost {

class Effect;

// The layer `effect` is applied to, for as long as this object lives: AEGP_GetEffectLayer for the
// effect's reference answers a handle to it, and AEGP_GetLayerQuality on that handle answers
// `quality`. Without one, both calls fail with PF_Err_BAD_CALLBACK_PARAM. One per effect at a time.
class EffectLayer {
public:
    EffectLayer(Effect& effect, AEGP_LayerQuality quality);
    ~EffectLayer();
    EffectLayer(const EffectLayer&) = delete;
    EffectLayer& operator=(const EffectLayer&) = delete;

    AEGP_LayerH handle() const;
    void setQuality(AEGP_LayerQuality quality) { quality_ = quality; }
    AEGP_LayerQuality quality() const { return quality_; }

private:
    const Effect* effect_;
    AEGP_LayerQuality quality_;
};

struct RenderOptions {
    // The time rendered, in ticks of the effect's time base (Effect::frameTime(n).value for frame
    // n); nullopt keeps the effect's current time. The effect keeps the time set.
    std::optional<A_long> time;
    // The effect layer's quality for this render (Best, Draft or Wireframe).
    AEGP_LayerQuality quality = AEGP_LayerQual_BEST;
    // Downsampling 1/n horizontally and vertically, n >= 1.
    int downsampleX = 1;
    int downsampleY = 1;
    // Worker threads (AEGP_GetNumThreads and iterate_generic); 0 leaves the host's count. The host
    // keeps the count and the order set.
    int threads = 0;
    IterationOrder order = IterationOrder::Threads;
    // The output rectangle the host asks for, in downsampled layer coordinates; by default the
    // whole downsampled layer. The output image covers exactly this rectangle, zero where it
    // leaves the layer. It may lie anywhere in the 32-bit range, but each side is at most
    // kMaxWorldSide and its pixels at most `memoryBudget` bytes.
    std::optional<PF_LRect> request;
    // Bytes the requested output's pixels may take; 0: no limit beyond the sides.
    std::uint64_t memoryBudget = 0;
    // With a report: whether the report keeps its own copy of the output (RenderReport::output).
    // A caller that only reads the report's flags turns this off, and the output is handed over
    // without a second frame-sized copy.
    bool reportOutput = true;
    // The host's proofs (see SmartFrame::Options::checked): off, the module reads `input` in
    // place, and a report's outputIntact and inputUnchanged stay true whatever the module did.
    // For callers that trust the module and pay for every pass over the frame (the frei0r plug-in).
    bool checked = true;
    // When set, a successful render hands its output world (the requested rectangle's pixels as
    // the module left them, origin at the request's left/top) to this function, on the calling
    // thread, before the host takes the world back; `output` and the report's copy are then left
    // as they were. The caller reads the pixels where they are instead of from a copy.
    std::function<void(const PF_EffectWorld& world)> readOutput;
    // Unchecked renders with readOutput: memory of the caller's that the output world is made
    // over (the requested rectangle, rows `outputRowBytes` apart), so that the module writes its
    // result there and readOutput finds it in place. Used only when the module's output covers
    // exactly the requested rectangle; otherwise the output world is the host's own as usual.
    std::uint8_t* outputPixels = nullptr;
    std::size_t outputRowBytes = 0;
};

// What happened during renderFrame, for callers that look closer (tests).
struct RenderReport {
    PF_Err preRenderResult = PF_Err_NONE;
    bool rendered = false;  // PF_Cmd_SMART_RENDER was sent
    PF_Err renderResult = PF_Err_NONE;
    PF_PreRenderOutput preRenderOutput{};  // as the pre-render left it (pre_render_data cleared)
    bool outputIntact = true;              // nothing written outside the output world
    bool inputUnchanged = true;            // the input world was only read
    // Whether the module checked out the output world, and its pixels over the requested
    // rectangle as the module left them, also after a failure (pixels never written hold
    // kWorldUnclearedByte).
    bool outputCheckedOut = false;
    Image output;
};

// Renders one frame of `effect` from `input` (the layer at full resolution; the render's depth is
// input.depth) into `output` (the requested rectangle, by default ceil(W / downsampleX) x
// ceil(H / downsampleY), at the same depth). The effect must have been set up (GLOBAL_SETUP,
// PARAMS_SETUP). Sends the pre-render and, when it succeeds, the render; the host then takes back
// its worlds and checkouts and disposes of the pre-render data. Returns the first failing
// command's error, or PF_Err_BAD_CALLBACK_PARAM for a render the host cannot make (a
// downsampling below 1, an empty request or one with a side over kMaxWorldSide, or an
// EffectLayer of the caller's still alive for this effect) and PF_Err_OUT_OF_MEMORY for a request
// over the memory budget or memory that cannot be had; no exception leaves it. `output` is
// written only on success. Commands run on the calling thread; the filter's
// bands run on the host's worker pool (or as `order` says).
PF_Err renderFrame(Effect& effect, const Image& input, Image& output, const RenderOptions& options = {},
                   RenderReport* report = nullptr);

}  // namespace vhost
