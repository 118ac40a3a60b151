// Frame ranges and output names with a frame number.
#include "Error.h"
#include "Frames.h"

#include <gtest/gtest.h>

using namespace vblind;

namespace {

std::string usageMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const ToolError& e) {
        EXPECT_EQ(e.status(), kExitUsage);
        return e.what();
    }
    ADD_FAILURE() << "accepted";
    return {};
}

}  // namespace

TEST(FrameRange, AcceptsRangesAndSingleFrames) {
    FrameRange r = parseFrameRange("1-48");
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(r.last, 48);
    EXPECT_EQ(r.count(), 48);
    r = parseFrameRange("7");
    EXPECT_EQ(r.first, 7);
    EXPECT_EQ(r.count(), 1);
    r = parseFrameRange("0-0");
    EXPECT_EQ(r.count(), 1);
    EXPECT_EQ(parseFrameRange("0-9999999").last, 9999999);
}

TEST(FrameRange, RefusesMalformedAndBackwardRanges) {
    for (const char* bad :
         {"", "-", "a-b", "1-", "-5", "1--2", "1-2-3", "1.5-3", " 1-3", "10000000", "0-10000000", "+1"})
        EXPECT_NE(usageMessage([&] { parseFrameRange(bad); }).find("frame range"), std::string::npos) << bad;
    EXPECT_NE(usageMessage([] { parseFrameRange("9-3"); }).find("backwards"), std::string::npos);
}

TEST(OutputPattern, FormatsTheFrameNumberLikePrintf) {
    EXPECT_EQ(OutputPattern::parse("out/f_%04d.png", 48).pathFor(7), "out/f_0007.png");
    EXPECT_EQ(OutputPattern::parse("out/f_%04d.png", 48).pathFor(12345), "out/f_12345.png");
    EXPECT_EQ(OutputPattern::parse("f%d.png", 2).pathFor(0), "f0.png");
    EXPECT_EQ(OutputPattern::parse("f%3d.png", 2).pathFor(5), "f  5.png");
    EXPECT_EQ(OutputPattern::parse("%d", 2).pathFor(31), "31");
    // %% is a literal percent sign, also next to the number.
    EXPECT_EQ(OutputPattern::parse("50%%_%02d%%.tif", 2).pathFor(3), "50%_03%.tif");
}

TEST(OutputPattern, OneFrameNeedsNoNumber) {
    const OutputPattern p = OutputPattern::parse("still.png", 1);
    EXPECT_FALSE(p.hasFrameNumber());
    EXPECT_EQ(p.pathFor(17), "still.png");
    EXPECT_EQ(OutputPattern::parse("100%%.png", 1).pathFor(0), "100%.png");
    EXPECT_EQ(OutputPattern::parse("f%04d.png", 1).pathFor(17), "f0017.png");
}

TEST(OutputPattern, RefusesWhatIsNotOneFrameNumber) {
    EXPECT_NE(usageMessage([] { OutputPattern::parse("out.png", 2); }).find("no frame number"),
              std::string::npos);
    EXPECT_NE(usageMessage([] { OutputPattern::parse("a%d_%d.png", 2); }).find("more than one"),
              std::string::npos);
    for (const char* bad :
         {"f%s.png", "f%.png", "f%x.png", "f%-4d.png", "f%4.2d.png", "f%010d.png", "f%", "f%0"})
        EXPECT_NE(usageMessage([&] { OutputPattern::parse(bad, 2); }).find("not a frame number"),
                  std::string::npos)
            << bad;
}

TEST(OutputPattern, FindsTheFrameANameBelongsTo) {
    const FrameRange range{0, 999999};
    const OutputPattern padded = OutputPattern::parse("out/f_%04d.png", 2);
    EXPECT_EQ(padded.frameOf("out/f_0042.png", range), 42);
    EXPECT_EQ(padded.frameOf("out/f_123456.png", range), 123456);  // wider than the padding
    EXPECT_EQ(padded.frameOf("out/f_42.png", range), -1);          // not how frame 42 is written
    EXPECT_EQ(padded.frameOf("out/f_0042.png", FrameRange{50, 60}), -1);
    EXPECT_EQ(padded.frameOf("f_0042.png", range), -1);
    EXPECT_EQ(padded.frameOf("out/f_.png", range), -1);
    EXPECT_EQ(padded.fixedFolder(), "out/");
    EXPECT_TRUE(padded.numberInFileName());
    const OutputPattern spaced = OutputPattern::parse("%3d.tif", 2);
    EXPECT_EQ(spaced.frameOf("  7.tif", range), 7);
    EXPECT_EQ(spaced.frameOf("007.tif", range), -1);
    EXPECT_FALSE(OutputPattern::parse("take%d/f.png", 2).numberInFileName());
}
