// The command line as parsed, before anything runs.
#include "Cli.h"
#include "Error.h"
#include "Info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

using namespace vblind;

namespace {

std::optional<CommandLine> parse(std::vector<const char*> args, std::string* help = nullptr,
                                 const ControlNames& controlNames = {}) {
    args.insert(args.begin(), "velmorblind");
    std::ostringstream out;
    auto cl = parseCommandLine(static_cast<int>(args.size()), args.data(), out, controlNames);
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

// CLI11 prints each default after the option's type ("--downsample INT=1"), from the value the
// request starts with; the description no longer says it again.
TEST(CliParse, HelpShowsEachDefaultFromTheValue) {
    const CommandLine defaults;
    std::string help;
    // An option's entry: its line and the description folded under it.
    auto entryOf = [&](const std::string& option) {
        const std::size_t at = help.find("\n  " + option + " ");
        return at == std::string::npos ? std::string() : help.substr(at + 1, help.find("\n  -", at + 1) - at);
    };
    ASSERT_FALSE(parse({"render", "--help"}, &help));
    const std::vector<std::pair<std::string, std::string>> shown{
        {"--frames", "TEXT=" + defaults.render.frames + " "},
        {"--fps", "TEXT=30 "},
        {"--quality", "}=best\n"},
        {"--downsample", "]=" + std::to_string(defaults.render.downsample) + "\n"}};
    for (const auto& [option, text] : shown) {
        EXPECT_NE(entryOf(option).find(text), std::string::npos) << option << ":\n" << help;
        EXPECT_EQ(entryOf(option).find("default"), std::string::npos) << entryOf(option);
    }
    ASSERT_FALSE(parse({"demo", "--help"}, &help));
    EXPECT_NE(entryOf("-o,--output").find("TEXT=" + defaults.demo.outDir + " "), std::string::npos) << help;
}

// The render help's footer names what the module declares: every control of the module given with
// --module, folded into lines that fit; without a module it says where the names are found.
TEST(CliParse, RenderHelpListsTheControlsTheModuleDeclares) {
    std::optional<std::string> asked;
    std::string help;
    ASSERT_FALSE(parse({"render", "--help", "--module", VELMOR_MODULE_PATH}, &help,
                       [&](const std::optional<std::string>& module) {
                           asked = module;
                           return declaredControlNames(module);
                       }));
    EXPECT_EQ(asked, VELMOR_MODULE_PATH);
    const auto names = declaredControlNames(std::string(VELMOR_MODULE_PATH));
    ASSERT_TRUE(names);
    ASSERT_GE(names->size(), 12u);
    const std::string footer = help.substr(help.find("Controls ("));
    std::string flat = footer;
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    for (std::size_t i = 0; i + 1 < names->size(); ++i)
        EXPECT_NE(flat.find(" " + (*names)[i] + ","), std::string::npos) << (*names)[i];
    EXPECT_NE(flat.find(" " + names->back() + ". Popups"), std::string::npos) << footer;
    std::istringstream lines(footer);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 90u) << line;

    const auto none = [](const std::optional<std::string>&) {
        return std::optional<std::vector<std::string>>();
    };
    ASSERT_FALSE(parse({"render", "--help"}, &help, none));
    EXPECT_NE(help.find("\"velmorblind info\" lists them"), std::string::npos) << help;
    EXPECT_EQ(help.find("Easing Mode"), std::string::npos);
    // Other help never loads a module.
    bool called = false;
    ASSERT_FALSE(parse({"demo", "--help"}, &help, [&](const std::optional<std::string>&) {
        called = true;
        return std::optional<std::vector<std::string>>();
    }));
    EXPECT_FALSE(called);
    EXPECT_FALSE(declaredControlNames(std::string("no/such/module.so")));
}

TEST(CliParse, QualityWordsAreTheTables) {
    for (const QualityRow& row : kQualities) {
        std::string upper = row.name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& word : {std::string(row.name), upper}) {
            const auto cl = parse({"render", "a", "-o", "b", "--quality", word.c_str()});
            ASSERT_TRUE(cl) << word;
            EXPECT_EQ(cl->render.quality, row.quality) << word;
        }
        EXPECT_EQ(qualityRow(row.quality).name, row.name);
    }
    EXPECT_FALSE(qualityNamed("bes"));
    EXPECT_FALSE(qualityNamed("bestest"));
    EXPECT_THROW(parse({"render", "a", "-o", "b", "--quality", "fine"}), ToolError);
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
