// The frame-range and output-name parsers. The input's first line is a --frames value, the rest an
// output name. A range taken runs forwards within the frame limit; a name taken for several frames
// gives each frame its own path.
#include "Error.h"
#include "Frames.h"
#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

// What `parse` returns, or nothing when it refuses the text as a usage error in one sentence.
template <typename Parse>
auto unlessRefused(std::string_view input, Parse parse) -> std::optional<decltype(parse())> {
    try {
        return parse();
    } catch (const vblind::ToolError& e) {
        vtest::expect(e.status() == vblind::kExitUsage, "refused as a failure, not a usage error", e.what());
        vtest::oneSentence(e.what(), input);
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view rangeText = input.substr(0, newline);
    const std::string patternText(newline == std::string_view::npos ? std::string_view()
                                                                    : input.substr(newline + 1));

    const auto parsedRange = unlessRefused(rangeText, [&] { return vblind::parseFrameRange(rangeText); });
    const vblind::FrameRange range = parsedRange.value_or(vblind::FrameRange{0, 1});
    if (parsedRange)
        vtest::expect(range.first >= 0 && range.first <= range.last && range.last <= vblind::kMaxFrameNumber,
                      "accepted a backward or out-of-range frame range", std::string(rangeText));

    const auto pattern =
        unlessRefused(patternText, [&] { return vblind::OutputPattern::parse(patternText, range.count()); });
    if (!pattern) return 0;
    const std::string first = pattern->pathFor(range.first);
    const std::string last = pattern->pathFor(range.last);
    if (range.count() > 1)
        vtest::expect(pattern->hasFrameNumber() && first != last, "two frames share one output path",
                      patternText);
    return 0;
}
