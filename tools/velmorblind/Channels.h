// Which of a file's channels the host's red, green, blue and alpha come from, and whether its colour
// is stored associated with (premultiplied by) alpha. The alpha channel is the one the format marks
// as alpha or, failing a mark, the one named so; a file without one is opaque. Colour channels are
// found by name (R, G, B; or one grey channel), else by position; anything left over is dropped.
#pragma once

#include <string>
#include <vector>

namespace vblind {

struct ChannelLayout {
    int red = -1, green = -1, blue = -1;  // file channel, or -1: the file has none (reads as 0)
    int alpha = -1;                       // file channel, or -1: opaque
    bool associated = false;              // colour is premultiplied by alpha in the file
    std::vector<std::string> dropped;     // channels that are neither colour nor alpha
};

// `names`: the file's channel names in order; `markedAlpha`: the channel the format marks as alpha
// (-1 for none); `associatedAlpha`: whether the format stores that alpha associated.
ChannelLayout channelLayout(const std::vector<std::string>& names, int markedAlpha, bool associatedAlpha);

}  // namespace vblind
