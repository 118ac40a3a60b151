// Frame ranges ("--frames 1-48") and output names with a printf-style frame number
// ("out/f_%04d.png").
#pragma once

#include <string>
#include <string_view>

namespace vblind {

struct FrameRange {
    int first = 0;
    int last = 0;
    int count() const { return last - first + 1; }
};

// Frame numbers stay below this so that times (frame x time step) fit the host's 32-bit times.
constexpr int kMaxFrameNumber = 9999999;

// "A-B" (0 <= A <= B) or a single frame "N". Throws a usage ToolError otherwise.
FrameRange parseFrameRange(std::string_view text);

// Frames per second as the host's time base holds it exactly: a frame lasts `ticks` units of
// 1/`scale` second (30 fps: 1/30; 29.97 fps: 1001/30000).
struct FrameRate {
    unsigned scale = 30;
    int ticks = 1;
    bool operator==(const FrameRate&) const = default;
};

// A whole number from 1 to 1000, a fraction "30000/1001", or a decimal: video's 23.976, 29.97 and
// 59.94 (any whole rate times 1000/1001, as written to the digits given) or an exact one such as
// 12.5. The rate must lie from 1 to 1000 frames per second. Throws a usage ToolError otherwise.
FrameRate parseFrameRate(const std::string& text);

// The last frame number whose time the host's 32-bit time value holds at `rate`.
int lastFrameAt(const FrameRate& rate);

// A file name holding at most one frame-number conversion: %d, %Nd or %0Nd (N up to 9); "%%" is a
// literal percent sign; any other conversion is refused. Several frames need a frame number.
class OutputPattern {
public:
    static OutputPattern parse(const std::string& text, int frameCount);

    bool hasFrameNumber() const { return slotBegin_ != std::string::npos; }
    std::string pathFor(int frame) const;
    // The frame of `range` whose name pathFor() gives exactly `path` (as text), or -1.
    int frameOf(const std::string& path, const FrameRange& range) const;
    // Whether the frame number lies in the file name, not in a folder of the path.
    bool numberInFileName() const { return suffix_.find('/') == std::string::npos; }
    // The path up to and including its last '/' before the frame number ("" for none).
    std::string fixedFolder() const { return prefix_.substr(0, prefix_.rfind('/') + 1); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::string prefix_, suffix_;  // with %% already turned into %
    std::size_t slotBegin_ = std::string::npos;
    int width_ = 0;
    bool zeroPad_ = false;
};

}  // namespace vblind
