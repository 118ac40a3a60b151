// The command line as parsed, before anything runs.
#include "Cli.h"
#include "Error.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace vblind;

namespace {

std::optional<CommandLine> parse(std::vector<const char*> args, std::string* help = nullptr) {
    args.insert(args.begin(), "velmorblind");
    std::ostringstream out;
    auto cl = parseCommandLine(static_cast<int>(args.size()), args.data(), out);
    if (help) *help = out.str();
    return cl;
}

}  // namespace

TEST(CliParse, RepeatedSetsAndKeysDoNotSwallowTheInput) {
    const auto cl = parse({"render", "--set", "Mode=Both", "--key", "Direction=0@0,90@9", "in.png", "--set",
                           "Completion=30", "-o", "out_%d.png", "--frames", "0-9"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->command, Command::Render);
    EXPECT_EQ(cl->render.input, "in.png");
    EXPECT_EQ(cl->render.output, "out_%d.png");
    EXPECT_EQ(cl->render.sets, (std::vector<std::string>{"Mode=Both", "Completion=30"}));
    EXPECT_EQ(cl->render.keys, (std::vector<std::string>{"Direction=0@0,90@9"}));
    EXPECT_EQ(cl->render.frames, "0-9");
}

TEST(CliParse, RenderDefaultsAndOptions) {
    auto cl = parse({"render", "a.exr", "-o", "b.exr"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->render.quality, Quality::Best);
    EXPECT_EQ(cl->render.downsample, 1);
    EXPECT_EQ(cl->render.fps, (FrameRate{30, 1}));
    EXPECT_FALSE(cl->render.depth);
    EXPECT_EQ(cl->render.threads, 0);
    EXPECT_FALSE(cl->render.quiet);
    EXPECT_FALSE(cl->render.module);
    cl = parse({"render",          "a.exr", "-o",    "b.exr", "--quality", "Draft", "--depth", "16",
                "--downsample",    "3",     "--fps", "24",    "--threads", "2",     "--under", "#000000",
                "--contact-sheet", "s.png", "-q",    "-v",    "--module",  "m.so"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->render.quality, Quality::Draft);
    EXPECT_EQ(cl->render.depth, 16);
    EXPECT_EQ(cl->render.downsample, 3);
    EXPECT_EQ(cl->render.fps, (FrameRate{24, 1}));
    EXPECT_EQ(cl->render.threads, 2);
    EXPECT_EQ(cl->render.under, "#000000");
    EXPECT_EQ(cl->render.contactSheet, "s.png");
    EXPECT_TRUE(cl->render.quiet);
    EXPECT_TRUE(cl->render.verbose);
    EXPECT_EQ(cl->render.module, "m.so");
    EXPECT_EQ(parse({"render", "a", "-o", "b", "--quality", "WIREFRAME"})->render.quality,
              Quality::Wireframe);
}

TEST(CliParse, DemoAndInfo) {
    auto cl = parse({"demo"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->command, Command::Demo);
    EXPECT_EQ(cl->demo.outDir, "out/demo");
    EXPECT_EQ(parse({"demo", "-o", "elsewhere"})->demo.outDir, "elsewhere");
    cl = parse({"info", "--module", "x.so"});
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->command, Command::Info);
    EXPECT_EQ(cl->info.module, "x.so");
}

TEST(CliParse, HelpIsNotACommand) {
    std::string help;
    EXPECT_FALSE(parse({"--help"}, &help));
    EXPECT_NE(help.find("Subcommands"), std::string::npos);
    EXPECT_FALSE(parse({"demo", "--help"}, &help));
    EXPECT_NE(help.find("out/demo"), std::string::npos);
}

TEST(CliParse, MalformedCommandLinesAreUsageErrors) {
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"draw"},
        {"render", "a.png"},
        {"render", "-o", "b.png"},
        {"render", "a.png", "-o", "b.png", "--depth", "24"},
        {"render", "a.png", "-o", "b.png", "--fps", "0"},
        {"render", "a.png", "-o", "b.png", "--downsample", "x"},
        {"render", "a.png", "-o", "b.png", "--frames"},
        {"render", "a.png", "c.png", "-o", "b.png"},
        {"info", "--depth", "8"},
    };
    for (const auto& args : bad) {
        std::string shown;
        for (const char* a : args) shown += std::string(a) + " ";
        try {
            parse(args);
            ADD_FAILURE() << shown << "accepted";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status(), kExitUsage) << shown;
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
        }
    }
}

TEST(CliParse, FrameRatesAreHeldExactlyInTheHostsTimeBase) {
    const std::vector<std::pair<std::string, FrameRate>> good{
        {"30", {30, 1}},           {"1000", {1000, 1}},      {"29.97", {30000, 1001}},
        {"23.976", {24000, 1001}}, {"59.94", {60000, 1001}}, {"30000/1001", {30000, 1001}},
        {"60/2", {30, 1}},         {"12.5", {25, 2}},        {"30.0", {30, 1}}};
    for (const auto& [text, rate] : good) EXPECT_EQ(parseFrameRate(text), rate) << text;
    for (const char* bad :
         {"0", "1001", "1/2", "30/0", "abc", "29.9712", "-30", "30fps", "1/30000", "30000/1003"})
        EXPECT_THROW(parseFrameRate(bad), ToolError) << bad;
    // 32-bit times: at 1001 ticks a frame, frame 2145337 is the last that fits with a frame to spare.
    EXPECT_EQ(lastFrameAt({30000, 1001}), 2145337);
    EXPECT_EQ(lastFrameAt({30, 1}), kMaxFrameNumber);
}
