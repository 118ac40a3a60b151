// Which file channels become colour and alpha, and how memory sizes are written on the command line.
#include "Channels.h"
#include "MemoryBudget.h"

#include <gtest/gtest.h>

using namespace vblind;

TEST(Channels, AlphaIsOnlyWhatTheFileMarksOrNames) {
    // Two colour channels: green is colour, not alpha; blue is missing.
    ChannelLayout rg = channelLayout({"R", "G"}, -1, true);
    EXPECT_EQ(rg.alpha, -1);
    EXPECT_FALSE(rg.associated);
    EXPECT_EQ(rg.red, 0);
    EXPECT_EQ(rg.green, 1);
    EXPECT_EQ(rg.blue, -1);
    EXPECT_TRUE(rg.dropped.empty());

    // A fourth channel without the mark is not alpha; it is dropped by name.
    ChannelLayout rgbx = channelLayout({"R", "G", "B", "channel3"}, -1, false);
    EXPECT_EQ(rgbx.alpha, -1);
    EXPECT_EQ(rgbx.dropped, std::vector<std::string>{"channel3"});

    // Named alpha anywhere, colour found by name in any order, extra channels dropped.
    ChannelLayout named = channelLayout({"A", "B", "G", "R", "Z"}, -1, true);
    EXPECT_EQ(named.alpha, 0);
    EXPECT_TRUE(named.associated);
    EXPECT_EQ(named.red, 3);
    EXPECT_EQ(named.blue, 1);
    EXPECT_EQ(named.dropped, std::vector<std::string>{"Z"});

    // The format's mark wins over names; grey fills all three colours.
    ChannelLayout grey = channelLayout({"Y", "mask"}, 1, false);
    EXPECT_EQ(grey.alpha, 1);
    EXPECT_EQ(grey.red, 0);
    EXPECT_EQ(grey.blue, 0);
    ChannelLayout unnamed = channelLayout({"c0", "c1", "c2", "c3"}, -1, false);
    EXPECT_EQ(unnamed.blue, 2);
    EXPECT_EQ(unnamed.dropped, std::vector<std::string>{"c3"});
}

TEST(MemorySizes, UnitsArePowersOf1024AndNonsenseIsRefused) {
    EXPECT_EQ(parseByteSize("512M"), 512ull << 20);
    EXPECT_EQ(parseByteSize("2g"), 2ull << 30);
    EXPECT_EQ(parseByteSize("1.5KiB"), 1536u);
    EXPECT_EQ(parseByteSize("4096"), 4096u);
    for (const char* bad : {"", "0", "M", "12X", "-5M", "1.2.3G", "5 M"})
        EXPECT_FALSE(parseByteSize(bad)) << bad;
    EXPECT_EQ(describeBytes(3ull << 30), "3.0 GiB");
}
