// The image services: worlds, fill, copy, iteration, and the registration of the samplers of
// Sampling.cpp. Worlds made here are counted in the ledger as "world" until disposed of.
#include "Host.h"
#include "HostSuites.h"
#include "Sampling.h"
#include "SuiteEntry.h"
#include "WorkerPool.h"
#include "Worlds.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace vhost {

namespace {

// ---- worlds ---------------------------------------------------------------------------------

PF_Err newWorldCounted(A_long width, A_long height, Depth depth, bool clear, PF_EffectWorld* world) {
    const PF_Err err = createWorld(width, height, depth, clear, world);
    if (err == PF_Err_NONE) Host::current()->ledger().opened("world");
    return err;
}

PF_Err disposeWorldCounted(PF_EffectWorld* world) {
    if (world == nullptr || !destroyWorld(world)) {
        Host::current()->ledger().fault("dispose of something that is not a live world");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Host::current()->ledger().closed("world");
    return PF_Err_NONE;
}

PF_Err world1New(PF_ProgPtr, A_long width, A_long height, PF_NewWorldFlags flags, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("new_world")) return *refusal;
    const Depth depth = (flags & PF_NewWorldFlag_DEEP_PIXELS) ? Depth::Bits16 : Depth::Bits8;
    return newWorldCounted(width, height, depth, (flags & PF_NewWorldFlag_CLEAR_PIXELS) != 0, world);
}

PF_Err world1Dispose(PF_ProgPtr, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("dispose_world")) return *refusal;
    return disposeWorldCounted(world);
}

PF_Err world2New(PF_ProgPtr, A_long width, A_long height, PF_Boolean clear, PF_PixelFormat format,
                 PF_EffectWorld* world) {
    if (auto refusal = enterSuite("PF_NewWorld")) return *refusal;
    const auto depth = depthOfPixelFormat(format);
    if (!depth) return PF_Err_BAD_CALLBACK_PARAM;
    return newWorldCounted(width, height, *depth, clear != 0, world);
}

PF_Err world2Dispose(PF_ProgPtr, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("PF_DisposeWorld")) return *refusal;
    return disposeWorldCounted(world);
}

PF_Err world2PixelFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
    if (auto refusal = enterSuite("PF_GetPixelFormat")) return *refusal;
    if (format == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const auto known = worldPixelFormat(world);
    if (!known) return PF_Err_BAD_CALLBACK_PARAM;
    *format = *known;
    return PF_Err_NONE;
}

const PF_WorldSuite1 kWorldSuite1{&world1New, &world1Dispose};
const PF_WorldSuite2 kWorldSuite2{&world2New, &world2Dispose, &world2PixelFormat};

// ---- fill -----------------------------------------------------------------------------------

// The rectangle to work on: the whole world for null, otherwise the rectangle clipped to it (an
// inverted rectangle clips to nothing).
PF_LRect clippedToWorld(const PF_Rect* rect, const PF_EffectWorld* world) {
    PF_LRect whole{0, 0, world->width, world->height};
    if (rect == nullptr) return whole;
    return PF_LRect{std::max(rect->left, whole.left), std::max(rect->top, whole.top),
                    std::min(rect->right, whole.right), std::min(rect->bottom, whole.bottom)};
}

template <typename Pixel>
void fillArea(PF_EffectWorld* world, const PF_LRect& area, const Pixel& colour) {
    for (A_long y = area.top; y < area.bottom; ++y) {
        auto* row = reinterpret_cast<Pixel*>(worldPixelAddress(world, 0, y, sizeof(Pixel)));
        std::fill(row + area.left, row + area.right, colour);
    }
}

// An 8-bit colour at the depth of the world it fills: 16-bit v x 32768 / 255 rounded to nearest,
// float v / 255.
PF_Err fillConverted(const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    if (colour == nullptr || world == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const auto depth = worldDepth(world);
    if (!depth) return PF_Err_BAD_CALLBACK_PARAM;
    const PF_LRect area = clippedToWorld(rect, world);
    if (area.left >= area.right || area.top >= area.bottom) return PF_Err_NONE;
    auto to16 = [](A_u_char v) { return static_cast<A_u_short>((v * 32768u + 127u) / 255u); };
    auto toFloat = [](A_u_char v) { return static_cast<float>(v) / 255.0f; };
    switch (*depth) {
        case Depth::Bits8: fillArea(world, area, *colour); break;
        case Depth::Bits16:
            fillArea(
                world, area,
                PF_Pixel16{to16(colour->alpha), to16(colour->red), to16(colour->green), to16(colour->blue)});
            break;
        case Depth::Float32:
            fillArea(world, area,
                     PF_PixelFloat{toFloat(colour->alpha), toFloat(colour->red), toFloat(colour->green),
                                   toFloat(colour->blue)});
            break;
    }
    return PF_Err_NONE;
}

// A colour given at the world's own depth; a world of another depth is refused.
template <typename Pixel>
PF_Err fillSameDepth(const Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world, Depth want) {
    if (colour == nullptr || world == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const auto depth = worldDepth(world);
    if (!depth || *depth != want) return PF_Err_BAD_CALLBACK_PARAM;
    const PF_LRect area = clippedToWorld(rect, world);
    if (area.left < area.right && area.top < area.bottom) fillArea(world, area, *colour);
    return PF_Err_NONE;
}

PF_Err utilFill(PF_ProgPtr, const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("fill")) return *refusal;
    return fillConverted(colour, rect, world);
}

PF_Err matteFill(PF_ProgPtr, const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("FillMatte.fill")) return *refusal;
    return fillConverted(colour, rect, world);
}

PF_Err matteFill16(PF_ProgPtr, const PF_Pixel16* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("FillMatte.fill16")) return *refusal;
    return fillSameDepth(colour, rect, world, Depth::Bits16);
}

PF_Err matteFillFloat(PF_ProgPtr, const PF_PixelFloat* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    if (auto refusal = enterSuite("FillMatte.fill_float")) return *refusal;
    return fillSameDepth(colour, rect, world, Depth::Float32);
}

const PF_FillMatteSuite2 kFillMatteSuite2{&matteFill, &matteFill16, &matteFillFloat};

// ---- copy -----------------------------------------------------------------------------------

// Copies src_rect of src onto dst_rect of dst. Null rectangles stand for the whole world; the two
// rectangles must be of one size; the area actually copied is clipped to both worlds, keeping
// source and destination positions in step.
PF_Err utilCopy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcRect, PF_Rect* dstRect) {
    if (auto refusal = enterSuite("copy")) return *refusal;
    if (src == nullptr || dst == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const auto srcDepth = worldDepth(src);
    const auto dstDepth = worldDepth(dst);
    if (!srcDepth || !dstDepth || *srcDepth != *dstDepth) return PF_Err_BAD_CALLBACK_PARAM;
    const PF_LRect s = srcRect ? *srcRect : PF_LRect{0, 0, src->width, src->height};
    const PF_LRect d = dstRect ? *dstRect : PF_LRect{0, 0, dst->width, dst->height};
    const std::int64_t w = std::int64_t{s.right} - s.left, h = std::int64_t{s.bottom} - s.top;
    if (w < 0 || h < 0 || w != std::int64_t{d.right} - d.left || h != std::int64_t{d.bottom} - d.top)
        return PF_Err_BAD_CALLBACK_PARAM;
    // Source-space area: the source rectangle within the source world and within the
    // destination world shifted back by the rectangles' offset.
    const std::int64_t dx = std::int64_t{d.left} - s.left, dy = std::int64_t{d.top} - s.top;
    const std::int64_t left = std::max({std::int64_t{s.left}, std::int64_t{0}, -dx});
    const std::int64_t top = std::max({std::int64_t{s.top}, std::int64_t{0}, -dy});
    const std::int64_t right = std::min({std::int64_t{s.right}, std::int64_t{src->width}, dst->width - dx});
    const std::int64_t bottom =
        std::min({std::int64_t{s.bottom}, std::int64_t{src->height}, dst->height - dy});
    if (left >= right || top >= bottom) return PF_Err_NONE;
    const int ps = pixelBytes(*srcDepth);
    const std::size_t bytes = static_cast<std::size_t>(right - left) * ps;
    const int rows = static_cast<int>(bottom - top);
    if (src->data != dst->data) {
        // Two worlds never share pixels: row to row, rows shared out among the worker threads
        // (a copy asked for from inside a band stays on that band's thread).
        const auto copyRows = [&](int begin, int end) {
            for (int r = begin; r < end; ++r)
                std::memcpy(
                    worldPixelAddress(dst, static_cast<int>(left + dx), static_cast<int>(top + dy) + r, ps),
                    worldPixelAddress(src, static_cast<int>(left), static_cast<int>(top) + r, ps), bytes);
        };
        Host* host = Host::current();
        if (host->threadCount() > 1)
            host->pool().runRanges(rows, worldRowGrain(bytes), copyRows);
        else
            copyRows(0, rows);
        return PF_Err_NONE;
    }
    // Within one world the rows go through a scratch buffer, so that the copy never reads what
    // it has already written.
    std::vector<std::uint8_t> scratch(bytes * static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        std::memcpy(scratch.data() + bytes * r,
                    worldPixelAddress(src, static_cast<int>(left), static_cast<int>(top) + r, ps), bytes);
    for (int r = 0; r < rows; ++r)
        std::memcpy(worldPixelAddress(dst, static_cast<int>(left + dx), static_cast<int>(top + dy) + r, ps),
                    scratch.data() + bytes * r, bytes);
    return PF_Err_NONE;
}

// ---- threads --------------------------------------------------------------------------------

PF_Err getNumThreads(A_long* count) {
    if (auto refusal = enterSuite("AEGP_GetNumThreads")) return *refusal;
    if (count == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *count = Host::current()->sliceCount();
    return PF_Err_NONE;
}

std::atomic<std::uint64_t> shuffleCalls{0};

// Calls fn once for every index. On the pool the calls run concurrently and this returns when the
// last has finished; the other orders run on the calling thread to show a caller does not depend
// on order or on thread_index. The result is the first failing index's error, or 0.
PF_Err iterateGeneric(A_long iterations, void* refcon, PF_IterateGenericFunc fn) {
    if (auto refusal = enterSuite("iterate_generic")) return *refusal;
    if (fn == nullptr || iterations < 0) return PF_Err_BAD_CALLBACK_PARAM;
    if (iterations == 0) return PF_Err_NONE;
    Host* host = Host::current();
    std::vector<PF_Err> results(static_cast<std::size_t>(iterations), PF_Err_NONE);
    const IterationOrder order = host->iterationOrder();
    if (order == IterationOrder::Threads) {
        host->pool().run(iterations, [&](int thread, int i) {
            results[static_cast<std::size_t>(i)] = fn(refcon, thread, i, iterations);
        });
    } else {
        std::vector<A_long> indices(static_cast<std::size_t>(iterations));
        std::iota(indices.begin(), indices.end(), 0);
        std::mt19937_64 random(0x5EEDull + shuffleCalls.fetch_add(1));
        if (order == IterationOrder::Reversed) std::reverse(indices.begin(), indices.end());
        if (order == IterationOrder::Shuffled) std::shuffle(indices.begin(), indices.end(), random);
        const A_long threads = std::max(1, host->threadCount());
        for (A_long i : indices) {
            // Shuffled runs also vary the thread index, which a caller must not rely on.
            const A_long thread =
                order == IterationOrder::Shuffled ? static_cast<A_long>(random() % threads) : 0;
            results[static_cast<std::size_t>(i)] = fn(refcon, thread, i, iterations);
        }
    }
    for (PF_Err err : results)
        if (err != PF_Err_NONE) return err;
    return PF_Err_NONE;
}

const AEGP_IterateSuite1 kIterateSuite1{&getNumThreads};
const PF_Iterate8Suite1 kIterate8Suite1{&iterateGeneric};

}  // namespace

void registerImageServices(Host& host) {
    host.registerSuite(kPFWorldSuite, kPFWorldSuiteVersion1, &kWorldSuite1);
    host.registerSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &kWorldSuite2);
    host.registerSuite(kPFFillMatteSuite, kPFFillMatteSuiteVersion2, &kFillMatteSuite2);
    host.registerSuite(kAEGPIterateSuite, kAEGPIterateSuiteVersion1, &kIterateSuite1);
    host.registerSuite(kPFIterate8Suite, kPFIterate8SuiteVersion1, &kIterate8Suite1);
    host.registerSuite(kPFSampling8Suite, kPFSamplingSuiteVersion1, &sampling8Suite());
    host.registerSuite(kPFSampling16Suite, kPFSamplingSuiteVersion1, &sampling16Suite());
    host.registerSuite(kPFSamplingFloatSuite, kPFSamplingSuiteVersion1, &samplingFloatSuite());
    PF_UtilCallbacks* utils = host.utilCallbacks();
    utils->copy = &utilCopy;
    utils->fill = &utilFill;
}

}  // namespace vhost
