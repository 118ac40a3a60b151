// The host's effect worlds: pixel buffers at the three depths with padded rows and a guard band of
// known bytes all around, so that code addressing rows by width, or writing outside the image,
// shows up in tests. The pixel format and the allocation of every world live in the host's own
// bookkeeping, reached through PF_LayerDef::reserved0, which a module never touches.
#pragma once

#include "AE_Effect.h"
#include "Image.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vhost {

class WorkerPool;

// Worlds larger than this on a side are refused: 16.16 positions inside them overflow 32 bits.
inline constexpr int kMaxWorldSide = 30000;
// Every row carries this many pixels beyond its width (left and right guard plus padding)...
inline constexpr int kWorldRowSlackPixels = 7;
// ...and this many guard rows lie above the first and below the last row.
inline constexpr int kWorldGuardRows = 2;
// The byte every guard and padding byte holds while nobody writes where they must not.
inline constexpr std::uint8_t kWorldGuardByte = 0xA5;
// The byte that fills the pixels of a world made without clearing.
inline constexpr std::uint8_t kWorldUnclearedByte = 0xCD;

PF_PixelFormat pixelFormatOf(Depth depth);
// Depth of a pixel format the host lays out in memory (the three ARGB formats); nullopt otherwise.
std::optional<Depth> depthOfPixelFormat(PF_PixelFormat format);

// Fills `world` with a new world of width x height at `depth`, pixels cleared to zero when `clear`
// is set, otherwise filled with kWorldUnclearedByte. Origin (0, 0). Refuses negative sizes and
// sizes above kMaxWorldSide (PF_Err_BAD_CALLBACK_PARAM), and reports PF_Err_OUT_OF_MEMORY when the
// pixels cannot be allocated; the record is left untouched on failure. No Ledger entry: the
// callers that hand worlds to a module count them. With a `pool`, a large world's rows are filled
// on its threads (the same bytes either way); the same holds for the functions below.
PF_Err createWorld(int width, int height, Depth depth, bool clear, PF_EffectWorld* world,
                   WorkerPool* pool = nullptr);
// A new world of width x height at the image's depth whose pixel (i, j) is the image's pixel
// (x + i, y + j), zero where that lies outside the image; made in one pass over its bytes.
// Refusals as createWorld.
PF_Err createWorldFrom(const Image& image, int x, int y, int width, int height, PF_EffectWorld* world,
                       WorkerPool* pool = nullptr);
// createWorldFrom, and in the same pass over the rows a second world `blank` of blankWidth x
// blankHeight at the image's depth, made as createWorld(blankWidth, blankHeight, depth, clear)
// makes it: one sweep of memory instead of two. On failure neither world is made.
PF_Err createWorldsFrom(const Image& image, int x, int y, int width, int height, PF_EffectWorld* world,
                        int blankWidth, int blankHeight, bool clear, PF_EffectWorld* blank,
                        WorkerPool* pool = nullptr);
// True when every pixel of the world still holds what createWorldFrom put there from the same
// image and position: compared at memcmp speed, so a host can prove cheaply that a module only
// read a world it was given.
bool worldMatchesImage(const PF_EffectWorld* world, const Image& image, int x, int y,
                       WorkerPool* pool = nullptr);
// The same for the world's rows [begin, end) only, on the calling thread: for callers that fold
// the comparison into a pass of their own over the rows.
bool worldRowsMatchImage(const PF_EffectWorld* world, const Image& image, int x, int y, int begin, int end);
// A world over pixels the caller owns (a packed image, for instance), read and written in place:
// no copy, no guard band, rows `rowBytes` apart. The host's bookkeeping knows it like any other
// world (pixel format, isHostWorld); destroyWorld forgets it and leaves the pixels alone. For
// callers that skip the host's proofs (see SmartFrame::Options::checked). Refusals as createWorld.
PF_Err viewWorld(std::uint8_t* pixels, int width, int height, std::size_t rowBytes, Depth depth,
                 PF_EffectWorld* world);
// createWorld without filling the pixels: they hold whatever the storage held (the previous
// frame's, in storage given back). For outputs a module writes in full, where the pass that marks
// unwritten pixels is not wanted.
PF_Err createWorldUnfilled(int width, int height, Depth depth, PF_EffectWorld* world);
// A world of width x height at `depth` whose rows are packed (rowbytes = width x pixel size) in
// `storage`, followed by kWorldGuardRows rows' worth of guard bytes: once the guard is cut off
// (storage.resize(width * height * pixel size)) the storage is a packed image's bytes, handed on
// without a copy. `storage` is resized to hold both: bytes it already held keep their values
// (unfilled pixels), bytes it gains are zero. The world does not own it; destroyWorld leaves it.
// worldGuardsIntact checks the trailing guard; a write past a row's end lands in the next row,
// which only worlds with padded rows can show. Refusals as createWorld.
PF_Err createPackedWorld(std::vector<std::uint8_t>& storage, int width, int height, Depth depth,
                         PF_EffectWorld* world);
// Frees a world made by createWorld and clears the record. False (nothing freed) when the record
// is not a live host world.
bool destroyWorld(PF_EffectWorld* world);

// True when the record describes a live host world (its bookkeeping and its pixel address agree).
bool isHostWorld(const PF_EffectWorld* world);
std::optional<Depth> worldDepth(const PF_EffectWorld* world);
std::optional<PF_PixelFormat> worldPixelFormat(const PF_EffectWorld* world);
// True when every guard and padding byte of the world still holds kWorldGuardByte (a view, which
// has none, is always intact).
bool worldGuardsIntact(const PF_EffectWorld* world);
// Number of live host worlds (all kinds), for tests.
int liveWorldCount();

// Rows of `rowBytes` each that one thread takes at a time when a pass over a world is shared out.
int worldRowGrain(std::size_t rowBytes);

// Bytes per pixel of a world of that depth.
inline int pixelBytes(Depth depth) { return static_cast<int>(bytesPerPixel(depth)); }

// Address of pixel (x, y) of a world whose depth the caller knows; no checks.
inline std::uint8_t* worldPixelAddress(const PF_EffectWorld* world, int x, int y, int pixelSize) {
    return static_cast<std::uint8_t*>(world->data) + static_cast<std::ptrdiff_t>(y) * world->rowbytes +
           static_cast<std::ptrdiff_t>(x) * pixelSize;
}

// Copies between tightly packed images and worlds of the same depth. The area copied is the
// image's size placed at (x, y) of the world, clipped to the world.
void imageToWorld(const Image& image, int x, int y, PF_EffectWorld* world);
// The world's pixels, row after row with no padding, written to `to` (width * height pixels).
void worldToPacked(const PF_EffectWorld* world, Depth depth, std::uint8_t* to, WorkerPool* pool = nullptr);
// The same for the world's rows [begin, end) only (row y lands at y * width pixels into `to`).
void worldRowsToPacked(const PF_EffectWorld* world, Depth depth, std::uint8_t* to, int begin, int end);
// The image of `width` x `height` read from the world at (x, y); pixels outside the world are 0.
Image worldToImage(const PF_EffectWorld* world, Depth depth, int x, int y, int width, int height);

// A 64-bit FNV-1a checksum of the world's pixels (padding excluded), to show a world was only read.
std::uint64_t worldChecksum(const PF_EffectWorld* world, Depth depth);

}  // namespace vhost
