// Whether a file can hold the picture its header declares. Some decoders allocate the whole picture
// before the first pixel arrives (OpenImageIO's reader of interlaced PNG does), so a short file with a
// huge header would cost memory before it fails; where the format makes it possible to tell from the
// file's size alone, that is checked first.
#pragma once

#include <optional>
#include <string>

namespace vblind {

// For a PNG: the sentence saying why its compressed pixel data are too few bytes for the size in
// its header, or nullopt when they may be enough (or the file is not a PNG this check understands).
std::optional<std::string> pngTooShortForItsSize(const std::string& path);

}  // namespace vblind
