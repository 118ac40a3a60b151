#include "Frames.h"

#include "Error.h"

#include "AE_Effect.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <optional>

namespace vblind {

namespace {

// A frame's length in ticks stays small enough that long ranges still fit the 32-bit time value.
constexpr long long kMaxTicksPerFrame = 1001;

bool parseFrameNumber(std::string_view text, int& out) {
    if (text.empty() || text.size() > 7) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out <= kMaxFrameNumber;
}

// Digits only, at most `most` of them.
bool wholeNumber(std::string_view text, std::size_t most, long long& out) {
    if (text.empty() || text.size() > most) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = std::stoll(std::string(text));
    return true;
}

// num/den reduced, when it lies from 1 to 1000 frames per second and its tick fits the time value.
std::optional<FrameRate> rateOf(long long num, long long den) {
    if (num <= 0 || den <= 0 || num < den || num > 1000 * den) return std::nullopt;
    const long long common = std::gcd(num, den);
    num /= common;
    den /= common;
    if (num > std::numeric_limits<A_long>::max() || den > kMaxTicksPerFrame) return std::nullopt;
    return FrameRate{static_cast<unsigned>(num), static_cast<int>(den)};
}

std::optional<FrameRate> readFrameRate(const std::string& text) {
    long long num = 0, den = 0;
    if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
        if (!wholeNumber(std::string_view(text).substr(0, slash), 9, num) ||
            !wholeNumber(std::string_view(text).substr(slash + 1), 9, den))
            return std::nullopt;
        return rateOf(num, den);
    }
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos) return wholeNumber(text, 4, num) ? rateOf(num, 1) : std::nullopt;
    // A decimal: whole part and up to three decimals, read exactly as digits.
    long long whole = 0, fraction = 0;
    const std::string_view decimals = std::string_view(text).substr(dot + 1);
    if (!wholeNumber(std::string_view(text).substr(0, dot), 4, whole) || !wholeNumber(decimals, 3, fraction))
        return std::nullopt;
    long long power = 1;
    for (std::size_t i = 0; i < decimals.size(); ++i) power *= 10;
    const long long written = whole * power + fraction;  // the rate is written / power
    // Video's rates: a whole rate N slowed by 1000/1001, written rounded to the digits given
    // (29.97 for 30000/1001). Exact decimals (30.0, 12.5) are what they say.
    if (written % power != 0) {
        const long long n = (written * 1001 + power * 500) / (power * 1000);
        // |N * 1000 / 1001 - written / power| < 1 / (2 * power), in integers.
        const long long gap = std::llabs(2 * power * n * 1000 - 2 * written * 1001);
        if (n >= 1 && gap < 1001) return rateOf(n * 1000, 1001);
    }
    return rateOf(written, power);
}

}  // namespace

FrameRate parseFrameRate(const std::string& text) {
    if (const auto rate = readFrameRate(text)) return *rate;
    usageError(
        "--fps takes frames per second from 1 to 1000: a whole number, a video rate such as 23.976, "
        "29.97 or 59.94 (24000/1001, 30000/1001, 60000/1001), or a fraction such as 30000/1001; \"" +
        text + "\" is none of these. See \"velmorblind render --help\".");
}

int lastFrameAt(const FrameRate& rate) {
    const long long last = std::numeric_limits<A_long>::max() / std::max(rate.ticks, 1) - 1;
    return static_cast<int>(std::min<long long>(last, kMaxFrameNumber));
}

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
