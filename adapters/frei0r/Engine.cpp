#include "Engine.h"

#include "Composite.h"
#include "PixelConvert.h"
#include "VelmorPlugin.h"

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Render.h"
#include "WorkerPool.h"
#include "Worlds.h"

#include <bit>
#include <cstring>
#include <functional>

namespace vfrei0r {

namespace {

std::mutex gEngineMutex;
Engine* gEngine = nullptr;
int gUsers = 0;

// frei0r's RGBA8888 is the bytes R, G, B, A in memory and the host's 8-bit pixel A, R, G, B: on a
// little-endian machine one is the other's 32-bit word turned by a byte.
static_assert(std::endian::native == std::endian::little, "the pixel words below are little-endian");
using vsession::px::hostWordFromRgba;
using vsession::px::rgbaWordFromHost;

inline PF_Pixel pixelOf(std::uint32_t hostWord) {
    PF_Pixel p;
    std::memcpy(&p, &hostWord, sizeof p);
    return p;
}
inline std::uint32_t wordOf(PF_Pixel p) {
    std::uint32_t w;
    std::memcpy(&w, &p, sizeof w);
    return w;
}

// fn(begin, end) over the rows [0, height), shared out among the host's threads.
void forRows(vhost::Host& host, int height, int width, const std::function<void(int, int)>& fn) {
    if (host.threadCount() > 1)
        host.pool().runRanges(height, vhost::worldRowGrain(static_cast<std::size_t>(width) * 4), fn);
    else if (height > 0)
        fn(0, height);
}

// One pixel of the render (a host word) over one of in2 (frei0r's order; `hasBack` false: none,
// transparent black), in frei0r's order: compositeOver's 8-bit arithmetic (over8).
inline std::uint32_t overPixel(std::uint32_t front, std::uint32_t back, bool hasBack) {
    const std::uint32_t alpha = front & 0xFFu;
    if (alpha == 255) return rgbaWordFromHost(front);
    if (alpha == 0) return back >> 24 == 0 ? 0u : back;
    const PF_Pixel b = hasBack ? pixelOf(hostWordFromRgba(back)) : PF_Pixel{};
    return rgbaWordFromHost(wordOf(vsession::over8(pixelOf(front), b)));
}

// Rows [begin, end) of the render (`front`, a host world) over in2 (null: transparent black),
// written to `out` in frei0r's order, in the same pass that turns the pixels back. `out` may be
// in2 itself, or the render's own pixels (each run is read before it is written). Runs of opaque or clear
// front pixels, most of a transition, skip the arithmetic.
void overRows(const PF_EffectWorld& front, const std::uint32_t* in2, std::uint32_t* out, int begin, int end) {
    constexpr std::size_t kRun = 8;
    const std::size_t width = static_cast<std::size_t>(front.width);
    for (int y = begin; y < end; ++y) {
        const auto* f = reinterpret_cast<const std::uint8_t*>(front.data) +
                        static_cast<std::ptrdiff_t>(y) * front.rowbytes;
        const std::uint32_t* b = in2 ? in2 + static_cast<std::size_t>(y) * width : nullptr;
        std::uint32_t* o = out + static_cast<std::size_t>(y) * width;
        std::size_t x = 0;
        for (; x + kRun <= width; x += kRun) {
            std::uint32_t fw[kRun];
            std::memcpy(fw, f + 4 * x, sizeof fw);
            std::uint32_t all = 0xFFu, any = 0;
            for (std::size_t k = 0; k < kRun; ++k) {
                all &= fw[k];
                any |= fw[k];
            }
            if ((all & 0xFFu) == 0xFFu) {
                for (std::size_t k = 0; k < kRun; ++k) o[x + k] = rgbaWordFromHost(fw[k]);
            } else if ((any & 0xFFu) == 0 && b) {
                for (std::size_t k = 0; k < kRun; ++k) o[x + k] = b[x + k] >> 24 == 0 ? 0u : b[x + k];
            } else {
                for (std::size_t k = 0; k < kRun; ++k)
                    o[x + k] = overPixel(fw[k], b ? b[x + k] : 0u, b != nullptr);
            }
        }
        for (; x < width; ++x) {
            std::uint32_t fw;
            std::memcpy(&fw, f + 4 * x, 4);
            o[x] = overPixel(fw, b ? b[x] : 0u, b != nullptr);
        }
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

Engine::Engine()
    : session_(vhost::Module::fromEntryPoint(&EntryPointFunc, {}, "velmorblind (frei0r)")),
      host_(&session_.host()),
      effect_(&session_.effect()) {
    session_.setUp();  // a SessionError when the module cannot be set up
}

Engine::~Engine() = default;  // the session sends global set-down while the host is still there

const vsession::ControlDef& Engine::control(int index) const { return session_.control(index); }

bool Engine::render(const FrameSettings& settings, int width, int height, const std::uint32_t* in1,
                    const std::uint32_t* in2, std::uint32_t* out) {
    std::lock_guard lock(renderMutex_);
    // The first input in the host's order, in storage kept from frame to frame.
    if (input_.width != width || input_.height != height) {
        input_ = vhost::Image();
        input_.width = width;
        input_.height = height;
        input_.bytes.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    }
    auto* layer = reinterpret_cast<std::uint32_t*>(input_.bytes.data());
    const std::size_t w = static_cast<std::size_t>(width);
    forRows(*host_, height, width, [&](int begin, int end) {
        for (std::size_t i = begin * w; i < end * w; ++i) layer[i] = hostWordFromRgba(in1[i]);
    });

    for (const auto& [index, value] : settings.values)
        if (!effect_->setValue(index, value)) return false;
    vhost::RenderOptions options;
    options.time = 0;
    options.quality = settings.draft ? AEGP_LayerQual_DRAFT : AEGP_LayerQual_BEST;
    // The module is ours and proven by the tests and the renderer: no proofs per frame, the layer
    // read in place, the output composited straight from its world into `out`.
    options.checked = false;
    bool written = false;
    vhost::Ledger& ledger = host_->ledger();
    const std::size_t faultsBefore = ledger.faults().size();
    options.readOutput = [&](const PF_EffectWorld& world) {
        if (ledger.faults().size() != faultsBefore || world.width != width || world.height != height ||
            world.origin_x != 0 || world.origin_y != 0)
            return;
        forRows(*host_, height, width, [&](int begin, int end) { overRows(world, in2, out, begin, end); });
        written = true;
    };
    // The module writes its result straight into `out` (composited there in place) unless `out`
    // is in2, which the composite still has to read.
    const std::size_t frameBytes = w * static_cast<std::size_t>(height) * 4;
    const auto* outBytes = reinterpret_cast<const std::uint8_t*>(out);
    const auto* in2Bytes = reinterpret_cast<const std::uint8_t*>(in2);
    if (in2 == nullptr || outBytes + frameBytes <= in2Bytes || in2Bytes + frameBytes <= outBytes) {
        options.outputPixels = reinterpret_cast<std::uint8_t*>(out);
        options.outputRowBytes = w * 4;
    }
    vhost::Image unused;
    return session_.render(input_, unused, options).trusted() && written;
}

}  // namespace vfrei0r
