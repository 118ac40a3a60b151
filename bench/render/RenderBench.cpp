// One 1920 x 1080 frame of the blinds transition at 8, 16 and 32-bit float, Best and Draft
// quality, on all the host's worker threads, measured two ways:
//
//  - Frame/*: the whole frame through the module loaded from disk by the stand-in host. Each
//    depth's baseline is the same frame at Completion 0, which the effect answers with one host
//    copy: it carries everything a frame pays besides the filter (the host's input and output
//    worlds, their checks, the checkouts, the pre-render).
//  - Pass/*: the Blind filter alone (FilterMulti over host worlds, module code linked in), against
//    the host's copy of one world onto another.
//
// The counter "x_copy" is the time over the baseline, the baseline being measured next to every
// iteration (and not counted in its time), so that the ratio holds on a busy machine and
// compares across machines where raw times do not.
#include "BenchPicture.h"
#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Render.h"
#include "Worlds.h"

#include "VelmorBlind.h"
#include "VelmorFilterMulti.h"
#include "VelmorLayer.h"
#include "VelmorParams.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// The host, the module and one effect instance, for the whole run.
struct Session {
    vhost::Host host;
    std::shared_ptr<vhost::Module> module;
    std::unique_ptr<vhost::Effect> effect;
    std::map<vhost::Depth, vhost::Image> inputs;

    Session() {
        std::string error;
        module = vhost::Module::load(VELMOR_MODULE, error);
        if (!module) throw std::runtime_error("cannot load the module: " + error);
        effect = std::make_unique<vhost::Effect>(host, module);
        if (effect->globalSetup() || effect->paramsSetup()) throw std::runtime_error("set-up failed");
        // Bands that move and blend at seams: the dearest path through the pass.
        const std::pair<int, double> controls[] = {
            {PARAM_MODE, 2},   {PARAM_STATE, 2},      {PARAM_OUTSIDE, 4}, {PARAM_DELAY, 30},
            {PARAM_WIDTH, 24}, {PARAM_DIRECTION, 30}, {PARAM_OFFSET, 15}, {PARAM_ORDER, 3},
            {PARAM_SEED, 5},   {PARAM_EASING, 3}};
        for (const auto& [index, value] : controls) effect->setValue(index, value);
        for (vhost::Depth depth : {vhost::Depth::Bits8, vhost::Depth::Bits16, vhost::Depth::Float32})
            inputs.emplace(depth, benchPicture(kWidth, kHeight, depth));
    }
    ~Session() { effect.reset(); }

    double render(vhost::Depth depth, double completion, AEGP_LayerQuality quality) {
        effect->setValue(PARAM_COMPLETION, completion);
        vhost::RenderOptions options;
        options.quality = quality;
        vhost::Image out;
        const auto start = std::chrono::steady_clock::now();
        const PF_Err err = vhost::renderFrame(*effect, inputs.at(depth), out, options);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (err) throw std::runtime_error("render failed: " + std::to_string(err));
        benchmark::DoNotOptimize(out.bytes.data());
        return took.count();
    }
};

Session& session() {
    static Session s;
    return s;
}

void Frame(benchmark::State& state, vhost::Depth depth, double completion, AEGP_LayerQuality quality) {
    Session& s = session();
    double total = 0.0, base = 0.0;
    for (auto _ : state) {
        const double took = s.render(depth, completion, quality);
        state.SetIterationTime(took);
        total += took;
        base += s.render(depth, 0.0, AEGP_LayerQual_BEST);
    }
    state.counters["x_copy"] = total / base;
    state.counters["Mpix/s"] = benchmark::Counter(
        static_cast<double>(kWidth) * kHeight * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

using vhost::Depth;

#define FRAME_BENCH(name, depth, completion, quality) \
    BENCHMARK_CAPTURE(Frame, name, depth, completion, quality)->UseManualTime()->Unit(benchmark::kMillisecond)

FRAME_BENCH(copy_8, Depth::Bits8, 0.0, AEGP_LayerQual_BEST);
FRAME_BENCH(best_8, Depth::Bits8, 50.0, AEGP_LayerQual_BEST);
FRAME_BENCH(draft_8, Depth::Bits8, 50.0, AEGP_LayerQual_DRAFT);
FRAME_BENCH(copy_16, Depth::Bits16, 0.0, AEGP_LayerQual_BEST);
FRAME_BENCH(best_16, Depth::Bits16, 50.0, AEGP_LayerQual_BEST);
FRAME_BENCH(draft_16, Depth::Bits16, 50.0, AEGP_LayerQual_DRAFT);
FRAME_BENCH(copy_32f, Depth::Float32, 0.0, AEGP_LayerQual_BEST);
FRAME_BENCH(best_32f, Depth::Float32, 50.0, AEGP_LayerQual_BEST);
FRAME_BENCH(draft_32f, Depth::Float32, 50.0, AEGP_LayerQual_DRAFT);

// ---- the filter alone ----------------------------------------------------------------------------

PF_Err idle(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) { return PF_Err_NONE; }

// Host worlds of the frame's picture and a second effect instance (in process) whose PF_InData
// the filter runs on; it shares the session's host.
struct PassSession {
    std::unique_ptr<vhost::Effect> effect;
    PF_InData in{};
    PF_OutData out{};
    std::map<vhost::Depth, std::pair<PF_EffectWorld, PF_EffectWorld>> worlds;

    PassSession() {
        Session& s = session();
        effect = std::make_unique<vhost::Effect>(s.host, vhost::Module::fromEntryPoint(&idle));
        in = effect->makeInData();
        for (auto& [depth, image] : s.inputs) {
            auto& [src, dst] = worlds[depth];
            if (vhost::createWorld(kWidth, kHeight, depth, false, &src) ||
                vhost::createWorld(kWidth, kHeight, depth, false, &dst))
                throw std::runtime_error("no worlds");
            vhost::imageToWorld(image, 0, 0, &src);
        }
    }
    ~PassSession() {
        for (auto& [depth, pair] : worlds) {
            vhost::destroyWorld(&pair.first);
            vhost::destroyWorld(&pair.second);
        }
    }

    static int bpc(vhost::Depth depth) {
        return depth == vhost::Depth::Bits8 ? 0 : (depth == vhost::Depth::Bits16 ? 1 : 2);
    }

    double filter(vhost::Depth depth, bool aa) {
        auto& [src, dst] = worlds.at(depth);
        Velmor::Layer a(&in, &out, &src, bpc(depth)), b(&in, &out, &dst, bpc(depth));
        Velmor::Blind::Parameter p;
        p.setInData(&in)
            .setLayerRect(PF_LRect{0, 0, kWidth, kHeight})
            .setIsAA(aa)
            .setMode(2)
            .setCompletion(0.5)
            .setDelay(0.3)
            .setWidth(24.0)
            .setDirection(30.0 * 0.017453292519943295)
            .setOffset(15.0 / 360.0)
            .setOrder(3)
            .setSeed(5)
            .setEasingType(3)
            .setState(2)
            .setBorderType(4);
        const auto start = std::chrono::steady_clock::now();
        const PF_Err err = Velmor::FilterMulti<Velmor::Blind>(&in, a, b, p);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (err) throw std::runtime_error("filter failed: " + std::to_string(err));
        return took.count();
    }

    double copy(vhost::Depth depth) {
        auto& [src, dst] = worlds.at(depth);
        const auto start = std::chrono::steady_clock::now();
        const PF_Err err = in.utils->copy(in.effect_ref, &src, &dst, nullptr, nullptr);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (err) throw std::runtime_error("copy failed");
        return took.count();
    }
};

PassSession& passSession() {
    static PassSession s;
    return s;
}

void Pass(benchmark::State& state, vhost::Depth depth, int what) {
    PassSession& s = passSession();
    double total = 0.0, base = 0.0;
    for (auto _ : state) {
        const double took = what == 0 ? s.copy(depth) : s.filter(depth, what == 2);
        state.SetIterationTime(took);
        total += took;
        base += s.copy(depth);
    }
    state.counters["x_copy"] = total / base;
}

#define PASS_BENCH(name, depth, what) \
    BENCHMARK_CAPTURE(Pass, name, depth, what)->UseManualTime()->Unit(benchmark::kMillisecond)

PASS_BENCH(copy_8, Depth::Bits8, 0);
PASS_BENCH(best_8, Depth::Bits8, 2);
PASS_BENCH(draft_8, Depth::Bits8, 1);
PASS_BENCH(copy_16, Depth::Bits16, 0);
PASS_BENCH(best_16, Depth::Bits16, 2);
PASS_BENCH(draft_16, Depth::Bits16, 1);
PASS_BENCH(copy_32f, Depth::Float32, 0);
PASS_BENCH(best_32f, Depth::Float32, 2);
PASS_BENCH(draft_32f, Depth::Float32, 1);

}  // namespace

BENCHMARK_MAIN();
