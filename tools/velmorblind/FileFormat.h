// What each image format means by its pixels, one row per format: how it stores alpha, how it is
// compressed, whether it keeps a region's position and whether it holds integer channels. The
// reader and the writer look a file's row up once, by the name the image library gives the format,
// and follow it; formats without a row of their own (JPEG, BMP, ...) follow kOtherFormat.
#pragma once

#include "DeclaredSize.h"

#include <optional>
#include <string>
#include <string_view>

namespace vblind {

enum class AlphaConvention {
    Straight,    // colour is never premultiplied (PNG)
    Associated,  // colour is always premultiplied by alpha (OpenEXR's convention)
    Tagged,      // as the file's ExtraSamples tag says, premultiplied without one; written straight
                 // and tagged so (TIFF)
};

enum class Compression {
    LibraryDefault,  // whatever the image library does
    PngDeflate,      // deflate at the level given, else kDefaultCompression
    TiffDeflate,     // deflate at the level given, else PackBits
};

enum class Placement {
    None,        // the file holds the pixels alone
    DataWindow,  // a data window anywhere in a display window (OpenEXR)
    FrameOffset  // an unsigned offset from the frame's top-left corner (TIFF)
};

struct FileFormat {
    const char* name;       // the image library's name: "png", "tiff", "openexr"; "" for the others
    const char* title;      // how a sentence names it: "OpenEXR"; "" for the others
    const char* extension;  // the usual one, named when an output's extension is unknown
    AlphaConvention alpha;
    Compression compression;
    Placement placement;
    bool integers;  // holds 8- and 16-bit channels; otherwise such renders are written as float
    // Before decoding: why the file is too short for the picture its header declares, or nullopt.
    // Null where the size alone tells nothing.
    std::optional<std::string> (*tooShortForItsSize)(const std::string& path);
};

inline constexpr FileFormat kFileFormats[] = {
    {"png", "PNG", ".png", AlphaConvention::Straight, Compression::PngDeflate, Placement::None, true,
     &pngTooShortForItsSize},
    {"tiff", "TIFF", ".tif", AlphaConvention::Tagged, Compression::TiffDeflate, Placement::FrameOffset, true,
     nullptr},
    {"openexr", "OpenEXR", ".exr", AlphaConvention::Associated, Compression::LibraryDefault,
     Placement::DataWindow, false, nullptr},
};

inline constexpr FileFormat kOtherFormat = {
    "", "", "", AlphaConvention::Straight, Compression::LibraryDefault, Placement::None, true, nullptr};

// The row of the format the image library calls `name`, or kOtherFormat.
const FileFormat& fileFormat(std::string_view name);

// ".png, .tif, .exr": the rows' usual extensions, for a sentence suggesting one.
std::string usualExtensions();

}  // namespace vblind
