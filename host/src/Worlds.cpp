#include "Worlds.h"

#include "Checksum.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vhost {

namespace {

// What the host keeps per world; PF_LayerDef::reserved0 points at it.
struct WorldBlock {
    std::unique_ptr<std::uint8_t[]> storage;
    std::size_t size = 0;
    void* data = nullptr;
    Depth depth = Depth::Bits8;
    PF_PixelFormat format = 0;
    int width = 0;
    int height = 0;
    A_long rowbytes = 0;
    std::size_t trailingGuard = 0;  // guard bytes after the last row of storage not its own
};

struct Registry {
    std::mutex mutex;
    std::map<const void*, std::unique_ptr<WorldBlock>> blocks;
    // Storage of large worlds that were freed, kept for the next world of the same size: a render
    // makes and frees the same few worlds every frame, and fresh memory costs a page fault per
    // page, more than the copy that fills it.
    std::vector<std::pair<std::size_t, std::unique_ptr<std::uint8_t[]>>> spare;
};

constexpr std::size_t kSpareMinBytes = std::size_t{1} << 20;
constexpr std::size_t kSpareBlocks = 3;
// ...and no more bytes than this in all: the worlds of very large frames are given back, since
// keeping them would raise the peak memory of a render by whole frames.
constexpr std::size_t kSpareMaxBytes = std::size_t{48} << 20;

// Storage of `size` bytes, from the spares when one fits exactly (then `*reused` is set: its bytes
// are what the world that gave it back held). Throws std::bad_alloc.
std::unique_ptr<std::uint8_t[]> takeStorage(std::size_t size, bool* reused);
void giveStorage(std::unique_ptr<std::uint8_t[]> storage, std::size_t size);

Registry& registry() {
    static Registry r;
    return r;
}

// The block of a record, or null; the caller holds the registry mutex.
const WorldBlock* findLocked(Registry& r, const PF_EffectWorld* world) {
    if (world == nullptr || world->reserved0 == nullptr) return nullptr;
    auto it = r.blocks.find(world->reserved0);
    if (it == r.blocks.end()) return nullptr;
    const WorldBlock* block = it->second.get();
    if (block->data != world->data || block->rowbytes != world->rowbytes || block->width != world->width ||
        block->height != world->height)
        return nullptr;
    return block;
}

std::unique_ptr<std::uint8_t[]> takeStorage(std::size_t size, bool* reused) {
    *reused = false;
    if (size >= kSpareMinBytes) {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (auto it = r.spare.begin(); it != r.spare.end(); ++it)
            if (it->first == size) {
                std::unique_ptr<std::uint8_t[]> storage = std::move(it->second);
                r.spare.erase(it);
                *reused = true;
                return storage;
            }
    }
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
}

void giveStorage(std::unique_ptr<std::uint8_t[]> storage, std::size_t size) {
    if (!storage || size < kSpareMinBytes || size > kSpareMaxBytes) return;
    std::vector<std::unique_ptr<std::uint8_t[]>> dropped;  // freed outside the lock
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::size_t kept = size;
    for (const auto& [bytes, spare] : r.spare) kept += bytes;
    while (!r.spare.empty() && (r.spare.size() == kSpareBlocks || kept > kSpareMaxBytes)) {
        kept -= r.spare.front().first;
        dropped.push_back(std::move(r.spare.front().second));
        r.spare.erase(r.spare.begin());
    }
    r.spare.emplace_back(size, std::move(storage));
}

}  // namespace

int worldRowGrain(std::size_t rowBytes) {
    // Enough bytes per run that handing it to a thread costs little next to it.
    constexpr std::size_t kRunBytes = std::size_t{256} << 10;
    return static_cast<int>(std::max<std::size_t>(1, kRunBytes / std::max<std::size_t>(rowBytes, 1)));
}

namespace {

// memcpy for a destination nobody reads soon (a frame copied out of the host): on x86 the bulk
// goes with streaming stores, which do not first fetch the destination's cache lines.
void copyOut(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes) {
#if defined(__SSE2__) && !defined(NOSTREAM)
    const std::size_t head = std::min(bytes, (16 - reinterpret_cast<std::uintptr_t>(to) % 16) % 16);
    std::memcpy(to, from, head);
    std::size_t i = head;
    for (; i + 64 <= bytes; i += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i + 48));
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i), a);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 16), b);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 32), c);
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i + 48), d);
    }
    std::memcpy(to + i, from + i, bytes - i);
#else
    std::memcpy(to, from, bytes);
#endif
}

}  // namespace

PF_PixelFormat pixelFormatOf(Depth depth) {
    switch (depth) {
        case Depth::Bits8: return PF_PixelFormat_ARGB32;
        case Depth::Bits16: return PF_PixelFormat_ARGB64;
        case Depth::Float32: return PF_PixelFormat_ARGB128;
    }
    return PF_PixelFormat_INVALID;
}

std::optional<Depth> depthOfPixelFormat(PF_PixelFormat format) {
    switch (format) {
        case PF_PixelFormat_ARGB32: return Depth::Bits8;
        case PF_PixelFormat_ARGB64: return Depth::Bits16;
        case PF_PixelFormat_ARGB128: return Depth::Float32;
        default: return std::nullopt;
    }
}

namespace {

// The record of a world of pixels at `data`, rows `rowbytes` apart, whose block (its storage
// already set, or none for a view) the registry then keeps.
void registerWorld(std::unique_ptr<WorldBlock> block, void* data, Depth depth, int width, int height,
                   std::size_t rowbytes, PF_EffectWorld* world) {
    block->data = data;
    block->depth = depth;
    block->format = pixelFormatOf(depth);
    block->width = width;
    block->height = height;
    block->rowbytes = static_cast<A_long>(rowbytes);
    PF_EffectWorld made{};
    made.reserved0 = block.get();
    made.world_flags = block->depth == Depth::Bits8 ? 0 : PF_WorldFlag_DEEP;
    made.data = block->data;
    made.rowbytes = block->rowbytes;
    made.width = block->width;
    made.height = block->height;
    made.extent_hint = PF_LRect{0, 0, block->width, block->height};
    made.pix_aspect_ratio = PF_RationalScale{1, 1};
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const void* key = block.get();
        r.blocks.emplace(key, std::move(block));
    }
    *world = made;
}

// fn(begin, end) over the rows [0, rows): on the pool's threads when there is one.
void forRows(WorkerPool* pool, int rows, std::size_t rowBytes, const std::function<void(int, int)>& fn) {
    if (pool != nullptr)
        pool->runRanges(rows, worldRowGrain(rowBytes), fn);
    else if (rows > 0)
        fn(0, rows);
}

// Lays out a new world of width x height at `depth` with every guard and padding byte set; the
// pixels are left for `fillRow(row, y, bytes, reused)` to write, row by row (on the pool's
// threads, when given: rows are independent). `reused` tells that the storage held an earlier
// world's bytes, which a row may keep where they already are what it would write. Refusals as
// createWorld. `prepare()` runs once the storage is taken, before any row is written; an error
// it returns is returned and nothing is made.
template <typename FillRow, typename Prepare = PF_Err (*)()>
PF_Err makeWorld(
    int width, int height, Depth depth, PF_EffectWorld* world, WorkerPool* pool, FillRow&& fillRow,
    Prepare&& prepare = [] { return PF_Err{PF_Err_NONE}; }) {
    if (world == nullptr || width < 0 || height < 0 || width > kMaxWorldSide || height > kMaxWorldSide)
        return PF_Err_BAD_CALLBACK_PARAM;
    const std::size_t ps = bytesPerPixel(depth);
    if (ps == 0) return PF_Err_BAD_CALLBACK_PARAM;
    const std::size_t rowbytes = (static_cast<std::size_t>(width) + kWorldRowSlackPixels) * ps;
    const std::size_t rows = static_cast<std::size_t>(height) + 2 * kWorldGuardRows;
    const std::size_t guardLeft = (kWorldRowSlackPixels / 2) * ps;
    const std::size_t pixelRowBytes = static_cast<std::size_t>(width) * ps;

    auto block = std::make_unique<WorldBlock>();
    bool reused = false;
    try {
        block->storage = takeStorage(rows * rowbytes, &reused);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
    if (PF_Err err = prepare()) return err;
    block->size = rows * rowbytes;
    std::uint8_t* base = block->storage.get();
    std::uint8_t* data = base + kWorldGuardRows * rowbytes + guardLeft;
    std::uint8_t* const end = base + block->size;
    // Each byte is written once: the guard before the first row, then per row its pixels and
    // the guard up to the next row (after the last row, up to the end of the block).
    std::memset(base, kWorldGuardByte, static_cast<std::size_t>((height > 0 ? data : end) - base));
    forRows(pool, height, rowbytes, [&](int begin, int stop) {
        for (int y = begin; y < stop; ++y) {
            std::uint8_t* row = data + static_cast<std::size_t>(y) * rowbytes;
            fillRow(row, y, pixelRowBytes, reused);
            std::uint8_t* next = y + 1 < height ? row + rowbytes : end;
            std::memset(row + pixelRowBytes, kWorldGuardByte,
                        static_cast<std::size_t>(next - (row + pixelRowBytes)));
        }
    });
    registerWorld(std::move(block), data, depth, width, height, rowbytes, world);
    return PF_Err_NONE;
}

}  // namespace

PF_Err viewWorld(std::uint8_t* pixels, int width, int height, std::size_t rowBytes, Depth depth,
                 PF_EffectWorld* world) {
    if (world == nullptr || width < 0 || height < 0 || width > kMaxWorldSide || height > kMaxWorldSide ||
        rowBytes < static_cast<std::size_t>(width) * bytesPerPixel(depth) ||
        rowBytes > static_cast<std::size_t>(std::numeric_limits<A_long>::max()))
        return PF_Err_BAD_CALLBACK_PARAM;
    registerWorld(std::make_unique<WorldBlock>(), pixels, depth, width, height, rowBytes, world);
    return PF_Err_NONE;
}

PF_Err createPackedWorld(std::vector<std::uint8_t>& storage, int width, int height, Depth depth,
                         PF_EffectWorld* world) {
    if (world == nullptr || width < 0 || height < 0 || width > kMaxWorldSide || height > kMaxWorldSide)
        return PF_Err_BAD_CALLBACK_PARAM;
    const std::size_t rowbytes = static_cast<std::size_t>(width) * bytesPerPixel(depth);
    const std::size_t pixels = rowbytes * static_cast<std::size_t>(height);
    const std::size_t guard = kWorldGuardRows * std::max<std::size_t>(rowbytes, 1);
    try {
        storage.resize(pixels + guard);
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    }
    std::memset(storage.data() + pixels, kWorldGuardByte, guard);
    auto block = std::make_unique<WorldBlock>();
    block->trailingGuard = guard;
    registerWorld(std::move(block), storage.data(), depth, width, height, rowbytes, world);
    return PF_Err_NONE;
}

PF_Err createWorldUnfilled(int width, int height, Depth depth, PF_EffectWorld* world) {
    return makeWorld(width, height, depth, world, nullptr, [](std::uint8_t*, int, std::size_t, bool) {});
}

PF_Err createWorld(int width, int height, Depth depth, bool clear, PF_EffectWorld* world, WorkerPool* pool) {
    const int value = clear ? 0 : kWorldUnclearedByte;
    return makeWorld(
        width, height, depth, world, pool,
        [value](std::uint8_t* row, int, std::size_t bytes, bool) { std::memset(row, value, bytes); });
}

namespace {

// memcpy for storage that may already hold the source's bytes (a world made again from the same
// layer frame after frame, in storage the previous frame's world gave back): blocks that match
// are only read, so their cache lines stay clean and nothing has to be written back for them.
void copyUnlessSame(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes, bool mayMatch) {
    if (!mayMatch) {
        std::memcpy(to, from, bytes);
        return;
    }
    constexpr std::size_t kBlock = 1024;
    for (std::size_t i = 0; i < bytes; i += kBlock) {
        const std::size_t n = std::min(kBlock, bytes - i);
        if (std::memcmp(to + i, from + i, n) != 0) std::memcpy(to + i, from + i, n);
    }
}

}  // namespace

namespace {

// createWorldFrom, calling `alongside(r)` after row r of the new world is written, on the same
// thread (for a second world filled in the same pass over the rows).
template <typename Alongside, typename Prepare = PF_Err (*)()>
PF_Err makeWorldFrom(
    const Image& image, int x, int y, int width, int height, PF_EffectWorld* world, WorkerPool* pool,
    Alongside&& alongside, Prepare&& prepare = [] { return PF_Err{PF_Err_NONE}; }) {
    const std::size_t ps = bytesPerPixel(image.depth);
    // The columns of the world that the image covers, and where they start in it.
    const int x0 = std::clamp(-x, 0, std::max(width, 0));
    const int x1 = std::clamp(image.width - x, x0, std::max(width, 0));
    return makeWorld(
        width, height, image.depth, world, pool,
        [&](std::uint8_t* row, int r, std::size_t bytes, bool reused) {
            const int from = y + r;
            if (from < 0 || from >= image.height || x0 >= x1) {
                std::memset(row, 0, bytes);
            } else {
                std::memset(row, 0, static_cast<std::size_t>(x0) * ps);
                copyUnlessSame(row + static_cast<std::size_t>(x0) * ps,
                               image.bytes.data() + (static_cast<std::size_t>(from) * image.width +
                                                     static_cast<std::size_t>(x + x0)) *
                                                        ps,
                               static_cast<std::size_t>(x1 - x0) * ps, reused);
                std::memset(row + static_cast<std::size_t>(x1) * ps, 0,
                            bytes - static_cast<std::size_t>(x1) * ps);
            }
            alongside(r);
        },
        prepare);
}

}  // namespace

PF_Err createWorldFrom(const Image& image, int x, int y, int width, int height, PF_EffectWorld* world,
                       WorkerPool* pool) {
    return makeWorldFrom(image, x, y, width, height, world, pool, [](int) {});
}

PF_Err createWorldsFrom(const Image& image, int x, int y, int width, int height, PF_EffectWorld* world,
                        int blankWidth, int blankHeight, bool clear, PF_EffectWorld* blank,
                        WorkerPool* pool) {
    const int value = clear ? 0 : kWorldUnclearedByte;
    const std::size_t blankRowBytes = static_cast<std::size_t>(blankWidth) * bytesPerPixel(image.depth);
    const int ps = pixelBytes(image.depth);
    auto blankRow = [&](int r) {
        if (r < blankHeight) std::memset(worldPixelAddress(blank, 0, r, ps), value, blankRowBytes);
    };
    // `world` takes its storage first (storage given back by the same frame's input world before
    // holds the bytes it needs), then the blank world is laid out: its guards at once, its pixel
    // rows in the pass that fills `world`.
    bool blankMade = false;
    const PF_Err err = makeWorldFrom(image, x, y, width, height, world, pool, blankRow, [&] {
        const PF_Err made = makeWorld(blankWidth, blankHeight, image.depth, blank, nullptr,
                                      [](std::uint8_t*, int, std::size_t, bool) {});
        blankMade = made == PF_Err_NONE;
        return made;
    });
    if (err != PF_Err_NONE) {
        if (blankMade) destroyWorld(blank);
        return err;
    }
    // Rows of the blank world below the last of `world`.
    if (blankHeight > height)
        forRows(pool, blankHeight - height, blankRowBytes, [&](int begin, int end) {
            for (int r = begin; r < end; ++r) blankRow(height + r);
        });
    return PF_Err_NONE;
}

bool worldRowsMatchImage(const PF_EffectWorld* world, const Image& image, int x, int y, int begin, int end) {
    const int ps = pixelBytes(image.depth);
    for (int r = begin; r < end; ++r) {
        const int from = y + r;
        for (int c = 0; c < world->width;) {
            const int sx = x + c;
            const bool covered = from >= 0 && from < image.height && sx >= 0 && sx < image.width;
            const std::uint8_t* pixel = worldPixelAddress(world, c, r, ps);
            if (!covered) {
                // Outside the image the world was made zero.
                for (int i = 0; i < ps; ++i)
                    if (pixel[i] != 0) return false;
                ++c;
                continue;
            }
            const int run = std::min(world->width - c, image.width - sx);
            if (std::memcmp(pixel,
                            image.bytes.data() + (static_cast<std::size_t>(from) * image.width + sx) * ps,
                            static_cast<std::size_t>(run) * ps) != 0)
                return false;
            c += run;
        }
    }
    return true;
}

bool worldMatchesImage(const PF_EffectWorld* world, const Image& image, int x, int y, WorkerPool* pool) {
    std::atomic<bool> same{true};
    forRows(
        pool, world->height, static_cast<std::size_t>(world->width) * pixelBytes(image.depth),
        [&](int begin, int end) {
            if (same.load(std::memory_order_relaxed) && !worldRowsMatchImage(world, image, x, y, begin, end))
                same.store(false, std::memory_order_relaxed);
        });
    return same.load();
}

bool destroyWorld(PF_EffectWorld* world) {
    std::unique_ptr<WorldBlock> gone;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (findLocked(r, world) == nullptr) return false;
        auto it = r.blocks.find(world->reserved0);
        gone = std::move(it->second);
        r.blocks.erase(it);
    }
    giveStorage(std::move(gone->storage), gone->size);
    *world = PF_EffectWorld{};
    return true;
}

bool isHostWorld(const PF_EffectWorld* world) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return findLocked(r, world) != nullptr;
}

std::optional<Depth> worldDepth(const PF_EffectWorld* world) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const WorldBlock* block = findLocked(r, world);
    if (block == nullptr) return std::nullopt;
    return block->depth;
}

std::optional<PF_PixelFormat> worldPixelFormat(const PF_EffectWorld* world) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const WorldBlock* block = findLocked(r, world);
    if (block == nullptr) return std::nullopt;
    return block->format;
}

bool worldGuardsIntact(const PF_EffectWorld* world) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const WorldBlock* block = findLocked(r, world);
    if (block == nullptr) return false;
    const auto* data = static_cast<const std::uint8_t*>(block->data);
    // Eight bytes at a time, then the rest one by one.
    auto clean = [](const std::uint8_t* from, const std::uint8_t* to) {
        constexpr std::uint64_t kGuardWord = 0x0101010101010101ull * kWorldGuardByte;
        for (; to - from >= 8; from += 8) {
            std::uint64_t word;
            std::memcpy(&word, from, sizeof word);
            if (word != kGuardWord) return false;
        }
        return std::all_of(from, to, [](std::uint8_t b) { return b == kWorldGuardByte; });
    };
    if (!block->storage) {
        // A view of the caller's pixels has no guards; a packed world, the one after its rows.
        const std::uint8_t* end = data + static_cast<std::size_t>(block->rowbytes) * block->height;
        return clean(end, end + block->trailingGuard);
    }
    const std::uint8_t* base = block->storage.get();
    const std::size_t imageRowBytes = static_cast<std::size_t>(block->width) * bytesPerPixel(block->depth);
    const std::size_t rowbytes = static_cast<std::size_t>(block->rowbytes);
    // Everything before the first pixel, between the end of one row and the start of the next,
    // and after the last pixel.
    if (!clean(base, data)) return false;
    for (int y = 0; y < block->height; ++y) {
        const std::uint8_t* rowEnd = data + static_cast<std::size_t>(y) * rowbytes + imageRowBytes;
        const std::uint8_t* nextRow =
            y + 1 < block->height ? data + static_cast<std::size_t>(y + 1) * rowbytes : base + block->size;
        if (!clean(rowEnd, nextRow)) return false;
    }
    if (block->height == 0) return clean(data, base + block->size);
    return true;
}

int liveWorldCount() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return static_cast<int>(r.blocks.size());
}

void imageToWorld(const Image& image, int x, int y, PF_EffectWorld* world) {
    const int ps = pixelBytes(image.depth);
    const int x0 = std::max(x, 0), x1 = std::min(x + image.width, static_cast<int>(world->width));
    const int y0 = std::max(y, 0), y1 = std::min(y + image.height, static_cast<int>(world->height));
    if (x0 >= x1) return;
    for (int row = y0; row < y1; ++row) {
        const std::uint8_t* from =
            image.bytes.data() + (static_cast<std::size_t>(row - y) * image.width + (x0 - x)) * ps;
        std::memcpy(worldPixelAddress(world, x0, row, ps), from, static_cast<std::size_t>(x1 - x0) * ps);
    }
}

void worldRowsToPacked(const PF_EffectWorld* world, Depth depth, std::uint8_t* to, int begin, int end) {
    const std::size_t rowBytes = static_cast<std::size_t>(world->width) * bytesPerPixel(depth);
    for (int y = begin; y < end; ++y)
        copyOut(to + static_cast<std::size_t>(y) * rowBytes,
                worldPixelAddress(world, 0, y, pixelBytes(depth)), rowBytes);
#if defined(__SSE2__)
    _mm_sfence();  // the streamed bytes are in memory before another thread reads them
#endif
}

void worldToPacked(const PF_EffectWorld* world, Depth depth, std::uint8_t* to, WorkerPool* pool) {
    const std::size_t rowBytes = static_cast<std::size_t>(world->width) * bytesPerPixel(depth);
    forRows(pool, world->height, rowBytes,
            [&](int begin, int end) { worldRowsToPacked(world, depth, to, begin, end); });
}

Image worldToImage(const PF_EffectWorld* world, Depth depth, int x, int y, int width, int height) {
    if (x >= 0 && y >= 0 && width > 0 && height > 0 && x + width <= world->width &&
        y + height <= world->height) {
        // Wholly inside: the rows appended as they are, with no zero fill before them.
        Image image;
        image.width = width;
        image.height = height;
        image.depth = depth;
        const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel(depth);
        image.bytes.reserve(rowBytes * static_cast<std::size_t>(height));
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* from = worldPixelAddress(world, x, y + row, pixelBytes(depth));
            image.bytes.insert(image.bytes.end(), from, from + rowBytes);
        }
        return image;
    }
    Image image(width, height, depth);
    const int ps = pixelBytes(depth);
    const int x0 = std::max(x, 0), x1 = std::min(x + width, static_cast<int>(world->width));
    const int y0 = std::max(y, 0), y1 = std::min(y + height, static_cast<int>(world->height));
    if (x0 >= x1) return image;
    for (int row = y0; row < y1; ++row) {
        std::uint8_t* to = image.bytes.data() + (static_cast<std::size_t>(row - y) * width + (x0 - x)) * ps;
        std::memcpy(to, worldPixelAddress(world, x0, row, ps), static_cast<std::size_t>(x1 - x0) * ps);
    }
    return image;
}

std::uint64_t worldChecksum(const PF_EffectWorld* world, Depth depth) {
    std::uint64_t hash = kFnv1aOffset;
    const std::size_t rowBytes = static_cast<std::size_t>(world->width) * bytesPerPixel(depth);
    for (int y = 0; y < world->height; ++y)
        hash = fnv1a64(worldPixelAddress(world, 0, y, pixelBytes(depth)), rowBytes, hash);
    return hash;
}

}  // namespace vhost
