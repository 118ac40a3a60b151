// Pictures whose pixels are stored turned or mirrored, with a tag saying how to show them (the EXIF
// orientation of cameras' JPEG files, also in TIFF). The tool reads them the way they are meant to be
// seen, and writes what it renders upright.
#pragma once

#include "Image.h"

namespace vblind {

// The picture as seen, from `stored` and its orientation code 1..8 (1, or any other value: as stored).
// Codes 5 to 8 swap width and height.
vhost::Image applyOrientation(const vhost::Image& stored, int orientation);

}  // namespace vblind
