// Image files in and out through OpenImageIO. The host works in straight alpha; files are read and
// written as each format means its alpha (Channels.h picks the channels): OpenEXR associated, TIFF as
// its ExtraSamples tag says on reading and straight (marked so) on writing, PNG straight. Grey files
// fill red, green and blue; files without an alpha channel are opaque. Channels are reordered to the
// host's alpha, red, green, blue and values converted with the exact formulas of PixelConvert.h.
// Only a whole file is trusted: any damage the decoder reports fails the read.
#pragma once

#include "Image.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vblind {

class Notes;

// Images over this many pixels on a side are refused: the host's 16.16 positions would overflow.
constexpr int kMaxImageSide = 30000;

struct LoadedImage {
    vhost::Image image;      // at the asked depth, or the file's own
    vhost::Depth fileDepth;  // what the file holds: 8-bit, 16-bit or float
};

struct ReadOptions {
    std::uint64_t memoryBudget = 0;  // most bytes the pixels may take; 0: half the physical memory
    Notes* notes = nullptr;          // told about channels left out; null: not said
};

// Reads `path`; `depth` converts on load (nullopt keeps the file's depth). `role` names the file in
// error sentences ("input image", "background image"). Throws a ToolError with one sentence for a
// missing, unreadable, empty, damaged, cut short, deep or oversized file, or for anything but a
// regular file. An orientation tag is applied; the file's pixel position is kept on the image.
LoadedImage readImage(const std::string& path, std::optional<vhost::Depth> depth,
                      const std::string& role = "input image", const ReadOptions& options = {});

// How files are encoded. `compression` is the deflate level of PNG and TIFF files, 0 (stored) to 9
// (smallest, slowest); unset, each format's fast default: PNG deflate at kDefaultCompression, TIFF
// PackBits. At deflate levels up to 2, PNG rows are stored unfiltered, which is what makes the
// fast levels fast; above, the PNG library picks a filter per row for smaller files.
constexpr int kDefaultCompression = 1;
struct WriteOptions {
    std::optional<int> compression;
};

// Writes `image` to `path` in the format its extension names, through a temporary file renamed into
// place. OpenEXR and TIFF files keep the image's placement. A render whose depth the format cannot
// hold is converted with clamping and rounding to nearest (said once through `notes`, which may be
// shared by threads writing at once); a float render goes to EXR and TIFF as 32-bit float.
void writeImage(const std::string& path, const vhost::Image& image, Notes& notes,
                const WriteOptions& options = {});

// Refuses an output name whose extension names no format we can write (exit status 2) and a
// destination folder that is missing or not writable (exit status 1), before any work is done.
void checkWritableImage(const std::string& path);

}  // namespace vblind
