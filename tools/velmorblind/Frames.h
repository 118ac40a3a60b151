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
