#include "Frames.h"

#include "Error.h"

#include <cctype>
#include <charconv>

namespace vblind {

namespace {

bool parseFrameNumber(std::string_view text, int& out) {
    if (text.empty() || text.size() > 7) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out <= kMaxFrameNumber;
}

}  // namespace

FrameRange parseFrameRange(std::string_view text) {
    const std::string shown(text);
    FrameRange range;
    const std::size_t dash = text.find('-');
    bool ok = false;
    if (dash == std::string_view::npos) {
        ok = parseFrameNumber(text, range.first);
        range.last = range.first;
    } else {
        ok = parseFrameNumber(text.substr(0, dash), range.first) &&
             parseFrameNumber(text.substr(dash + 1), range.last);
    }
    if (!ok)
        usageError("the frame range \"" + shown +
                   "\" is not valid: write A-B with whole frame numbers "
                   "from 0 to " +
                   std::to_string(kMaxFrameNumber) + " (or a single frame number).");
    if (range.last < range.first)
        usageError("the frame range \"" + shown +
                   "\" runs backwards: the first frame must not come "
                   "after the last.");
    return range;
}

OutputPattern OutputPattern::parse(const std::string& text, int frameCount) {
    OutputPattern p;
    p.text_ = text;
    std::string* part = &p.prefix_;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *part += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        // %d, %Nd or %0Nd
        std::size_t j = i + 1;
        bool zero = false;
        if (j < text.size() && text[j] == '0') {
            zero = true;
            ++j;
        }
        int width = 0;
        std::size_t digits = 0;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && digits < 2) {
            width = width * 10 + (text[j] - '0');
            ++j;
            ++digits;
        }
        if (j >= text.size() || text[j] != 'd' || width > 9) {
            const std::string bad = text.substr(i, std::min(text.size(), j + 1) - i);
            usageError("the output name \"" + text + "\" holds \"" + bad +
                       "\", which is not a frame "
                       "number: write the frame number as %d or %04d, and a percent sign as %%.");
        }
        if (p.hasFrameNumber())
            usageError("the output name \"" + text +
                       "\" holds more than one frame number; use one "
                       "%d (or %04d).");
        p.slotBegin_ = i;
        p.width_ = width;
        p.zeroPad_ = zero;
        part = &p.suffix_;
        i = j;
    }
    if (frameCount > 1 && !p.hasFrameNumber())
        usageError("the output name \"" + text + "\" has no frame number, but " + std::to_string(frameCount) +
                   " frames are rendered: put %d or %04d where the "
                   "number goes (for example out/f_%04d.png).");
    return p;
}

std::string OutputPattern::pathFor(int frame) const {
    if (!hasFrameNumber()) return prefix_;
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < width_)
        number.insert(0, static_cast<std::size_t>(width_) - number.size(), zeroPad_ ? '0' : ' ');
    return prefix_ + number + suffix_;
}

int OutputPattern::frameOf(const std::string& path, const FrameRange& range) const {
    if (!hasFrameNumber()) return path == prefix_ ? range.first : -1;
    if (path.size() <= prefix_.size() + suffix_.size() || path.compare(0, prefix_.size(), prefix_) != 0 ||
        path.compare(path.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return -1;
    std::string_view number(path);
    number = number.substr(prefix_.size(), path.size() - prefix_.size() - suffix_.size());
    while (!number.empty() && number.front() == ' ') number.remove_prefix(1);
    int frame = -1;
    if (!parseFrameNumber(number, frame) || frame < range.first || frame > range.last) return -1;
    return pathFor(frame) == path ? frame : -1;
}

}  // namespace vblind
