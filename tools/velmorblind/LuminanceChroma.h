// OpenEXR's luminance/chroma images: luminance Y with colour differences RY and BY, the chroma
// usually stored at half resolution both ways. OpenImageIO does not decode subsampled channels, so
// these files are read through OpenEXR's own RGBA interface, which rebuilds red, green and blue (and
// keeps alpha) exactly as OpenEXR defines the conversion.
#pragma once

#include <OpenImageIO/imageio.h>

#include <optional>
#include <string>
#include <vector>

namespace vblind {

// The file's layout as it reads through the RGBA interface (channels R, G, B and, when the file
// has it, A; half floats; data and display windows), when `path` is an OpenEXR file with chroma
// channels; nullopt for any other file (also one OpenEXR cannot open: the usual reader judges it).
std::optional<OIIO::ImageSpec> luminanceChromaLayout(const std::string& path);

// Every pixel of such a file, as `layout` describes, converted to RGB(A) floats interleaved in
// rows. Colour stays associated with alpha, as OpenEXR stores it. Throws std::exception on damage.
std::vector<float> readLuminanceChroma(const std::string& path, const OIIO::ImageSpec& layout);

}  // namespace vblind
