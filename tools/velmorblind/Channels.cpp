#include "Channels.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace vblind {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

int find(const std::vector<std::string>& names, std::initializer_list<const char*> wanted, int skip) {
    for (int c = 0; c < static_cast<int>(names.size()); ++c)
        if (c != skip)
            for (const char* w : wanted)
                if (lower(names[static_cast<std::size_t>(c)]) == w) return c;
    return -1;
}

}  // namespace

ChannelLayout channelLayout(const std::vector<std::string>& names, int markedAlpha, bool associatedAlpha) {
    const int count = static_cast<int>(names.size());
    ChannelLayout layout;
    layout.alpha = markedAlpha >= 0 && markedAlpha < count ? markedAlpha : find(names, {"a", "alpha"}, -1);
    layout.associated = associatedAlpha && layout.alpha >= 0;

    layout.red = find(names, {"r", "red"}, layout.alpha);
    layout.green = find(names, {"g", "green"}, layout.alpha);
    layout.blue = find(names, {"b", "blue"}, layout.alpha);
    if (layout.red < 0 && layout.green < 0 && layout.blue < 0) {
        int grey = find(names, {"y", "l", "grey", "gray", "luminance"}, layout.alpha);
        std::vector<int> rest;  // unnamed channels, by position
        for (int c = 0; c < count; ++c)
            if (c != layout.alpha) rest.push_back(c);
        if (grey < 0 && rest.size() >= 3) {
            layout.red = rest[0];
            layout.green = rest[1];
            layout.blue = rest[2];
        } else {
            if (grey < 0 && !rest.empty()) grey = rest[0];
            layout.red = layout.green = layout.blue = grey;
        }
    }
    for (int c = 0; c < count; ++c)
        if (c != layout.alpha && c != layout.red && c != layout.green && c != layout.blue)
            layout.dropped.push_back(names[static_cast<std::size_t>(c)]);
    return layout;
}

}  // namespace vblind
