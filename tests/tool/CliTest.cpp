// The built program, run as a user runs it: exit status, what it says, and what it leaves on disk.
#include "ToolRunner.h"

#include <cctype>

#include <sys/stat.h>

namespace fs = std::filesystem;

using CliTest = vtest::ToolTest;
using vtest::ToolRun;

TEST_F(CliTest, HelpAndUsage) {
    ToolRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("render"), std::string::npos);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos);
    r = run({"render", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--contact-sheet"), std::string::npos);
    EXPECT_NE(r.out.find("Easing Mode"), std::string::npos);
    expectRefused({}, 2, "subcommand");
    expectRefused({"paint"}, 2, "paint");
}

TEST_F(CliTest, RenderHelpWithoutAModuleStillHelps) {
    // The controls come from the module; one that cannot be loaded leaves a pointer to `info`.
    for (const char* module : {"no/such/VelmorBlind.so", TOOL_FIXTURE_NO_PIPL}) {
        const ToolRun r = run({"render", "--help", "--module", module});
        EXPECT_EQ(r.status, 0) << module;
        EXPECT_NE(r.out.find("\"velmorblind info\" lists them"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Exit status"), std::string::npos);
        EXPECT_EQ(r.err, "") << module;
    }
}

TEST_F(CliTest, BadCommandLinesAreUsageErrors) {
    writeInput("in.png");
    expectRefused({"render", "in.png"}, 2, "--output is required");
    expectRefused({"render", "-o", "out.png"}, 2, "IN is required");
    expectRefused({"render", "in.png", "-o", "out.png", "--sparkle"}, 2, "--sparkle");
    expectRefused({"render", "in.png", "-o", "out.png", "--depth", "12"}, 2, "--depth");
    expectRefused({"render", "in.png", "-o", "out.png", "--quality", "superb"}, 2, "--quality");
    expectRefused({"render", "in.png", "-o", "out.png", "--downsample", "0"}, 2, "--downsample");
    expectRefused({"render", "in.png", "-o", "out.png", "--threads", "0"}, 2, "--threads");
}

TEST_F(CliTest, BadControlsAreRefusedNamingTheControl) {
    writeInput("in.png");
    expectRefused({"render", "in.png", "-o", "out.png", "--set", "Opacity=5"}, 2,
                  "no control named \"Opacity\"");
    expectRefused({"render", "in.png", "-o", "out.png", "--set", "Easing=Wobbly"}, 2,
                  "Easing accepts one of Linear, Quad, Cubic");
    expectRefused({"render", "in.png", "-o", "out.png", "--set", "Completion=101"}, 2,
                  "Completion accepts a percentage from 0 to 100");
    expectRefused({"render", "in.png", "-o", "out.png", "--set", "Width=0"}, 2, "Width accepts");
    expectRefused({"render", "in.png", "-o", "out.png", "--set", "Seed=1.5"}, 2,
                  "Seed accepts a whole number");
    expectRefused({"render", "in.png", "-o", "out.png", "--set", "State"}, 2, "NAME=VALUE");
    expectRefused({"render", "in.png", "-o", "f%d.png", "--frames", "1-3", "--key", "Completion=0@1,x@3"}, 2,
                  "Completion accepts");
    expectRefused({"render", "in.png", "-o", "f%d.png", "--frames", "1-3", "--key", "Order=Random"}, 2,
                  "no frame");
}

TEST_F(CliTest, BadFramesAndOutputNamesAreRefused) {
    writeInput("in.png");
    expectRefused({"render", "in.png", "-o", "f%d.png", "--frames", "9-3"}, 2, "backwards");
    expectRefused({"render", "in.png", "-o", "f%d.png", "--frames", "one-two"}, 2, "frame range");
    expectRefused({"render", "in.png", "-o", "out.png", "--frames", "1-2"}, 2, "no frame number");
    expectRefused({"render", "in.png", "-o", "f%s.png", "--frames", "1-2"}, 2, "not a frame number");
    expectRefused({"render", "in.png", "-o", "out.bogus"}, 2, "\".bogus\"");
    expectRefused({"render", "in.png", "-o", "missing/out.png"}, 1, "does not exist");
    expectRefused({"render", "in.png", "-o", "in.png/out.png"}, 1, "not a folder");
    expectRefused({"render", "in.png", "-o", "out.png", "--contact-sheet", "nowhere/sheet.png"}, 1,
                  "does not exist");
    expectRefused({"render", "in.png", "-o", "out.png", "--under", "#12345"}, 2, "#RRGGBB");
}

TEST_F(CliTest, BadImagesAreRefused) {
    writeInput("in.png");
    expectRefused({"render", "nothere.png", "-o", "out.png"}, 1, "no such file");
    { std::ofstream(path("empty.png")); }
    expectRefused({"render", "empty.png", "-o", "out.png"}, 1, "empty");
    { std::ofstream(path("notes.png")) << "shopping list\n"; }
    expectRefused({"render", "notes.png", "-o", "out.png"}, 1, "not an image");
    fs::copy_file(path("in.png"), path("cut.png"));
    fs::resize_file(path("cut.png"), fs::file_size(path("in.png")) - 20);
    expectRefused({"render", "cut.png", "-o", "out.png"}, 1, "damaged or cut short");
    writeInput("huge.png", 30001, 1);
    expectRefused({"render", "huge.png", "-o", "out.png"}, 1, "over 30000 pixels");
    writeInput("other.png", 20, 12);
    expectRefused({"render", "in.png", "-o", "out.png", "--under", "other.png"}, 2, "same size");
    expectRefused({"render", "in.png", "-o", "out.png", "--under", "absent.png"}, 1, "background image");
}

TEST_F(CliTest, BadModulesAreRefused) {
    writeInput("in.png");
    expectRefused({"info", "--module", "absent.so"}, 1, "no such file");
    expectRefused({"info", "--module", "in.png"}, 1, "not an effect module");
    expectRefused({"info", "--module", TOOL_FIXTURE_NO_PIPL}, 1, "property list");
    expectRefused({"render", "in.png", "-o", "out.png", "--module", TOOL_FIXTURE_NO_PIPL}, 1,
                  "property list");
}

TEST_F(CliTest, InfoListsTheTwelveControlsAsDeclared) {
    const ToolRun r = run({"info", "--module", VELMOR_MODULE_PATH});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_NE(r.out.find("Name:        VelmorBlind\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Category:    Velmor\n"), std::string::npos);
    EXPECT_NE(r.out.find("Match name:  VelmorBlind by Tavelinor\n"), std::string::npos);
    EXPECT_NE(r.out.find("Version:     1.3.0 release, build 1 (0x00098601)\n"), std::string::npos);
    EXPECT_NE(r.out.find("Flags:       0x06000000 (DEEP_COLOR_AWARE, SEND_UPDATE_PARAMS_UI)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Flags 2:     0x00001400 (SUPPORTS_SMART_RENDER, FLOAT_COLOR_AWARE)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("About:\n  VelmorBlind, v1.3.0\n  "), std::string::npos) << r.out;

    // Control rows: index, name, type, range, slider, default, greyed, choices.
    const std::vector<std::string> expected = {
        "1 | Mode | popup | 1 to 2 | - | One | no | One|Both",
        "2 | Completion | fixed slider | 0% to 100% | 0% to 100% | 0.0% | no |",
        "3 | Delay | fixed slider | 0% to 100% | 0% to 100% | 10.0% | no |",
        "4 | Width | float slider | 1 to 4000 | 1 to 100 | 20.00 | no |",
        "5 | Direction | angle | - | - | 90.0\xC2\xB0 | no |",
        "6 | Offset | angle | - | - | 0.0\xC2\xB0 | no |",
        "7 | Order | popup | 1 to 3 | - | Normal | no | Normal|Inverse|Random",
        "8 | Seed | slider | 0 to 10000 | 0 to 100 | 0 | yes |",
        "9 | Easing | popup | 1 to 9 | - | Linear | no | Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce",
        "10 | Easing Mode | popup | 1 to 3 | - | InOut | yes | In|Out|InOut",
        "11 | State | popup | 1 to 3 | - | Still | no | Still|Move|Shrink",
        "12 | Outside | popup | 1 to 4 | - | Mirror | yes | Void|Edge|Tile|Mirror",
    };
    // Columns are separated by two or more spaces (names and types hold single spaces).
    auto columns = [](const std::string& line) {
        std::vector<std::string> cells;
        std::size_t at = line.find_first_not_of(' ');
        while (at != std::string::npos) {
            std::size_t end = line.find("  ", at);
            cells.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
            at = end == std::string::npos ? end : line.find_first_not_of(' ', end);
        }
        return cells;
    };
    std::vector<std::string> rows;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> c = columns(line);
        const bool numbered = !c.empty() && std::all_of(c[0].begin(), c[0].end(), ::isdigit);
        if (line.rfind("  ", 0) != 0 || !numbered || (c.size() != 7 && c.size() != 8)) continue;
        rows.push_back(c[0] + " | " + c[1] + " | " + c[2] + " | " + c[3] + " | " + c[4] + " | " + c[5] +
                       " | " + c[6] + " |" + (c.size() == 8 ? " " + c[7] : ""));
    }
    EXPECT_EQ(rows, expected) << r.out;
    EXPECT_NE(r.out.find("Greyed out at the defaults: Seed, Easing Mode, Outside\n"), std::string::npos);
}

TEST_F(CliTest, InfoFindsTheModuleBesideTheTool) {
    const ToolRun r = run({"info"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("Module:      " + (fs::path(VELMORBLIND_EXE).parent_path() / "VelmorBlind.so").string()),
        std::string::npos)
        << r.out;
}

TEST_F(CliTest, EmptyValuesAndUnknownDepthsAreRefusedSayingWhatIsAccepted) {
    writeInput("in.png");
    for (const char* option :
         {"--frames", "--depth", "--under", "--contact-sheet", "--fps", "--set", "--module"})
        expectRefused({"render", "in.png", "-o", "out.png", option, ""}, 2, "empty");
    expectRefused({"render", "in.png", "-o", ""}, 2, "empty");
    expectRefused({"render", "", "-o", "out.png"}, 2, "empty");
    expectRefused({"demo", "-o", ""}, 2, "empty");
    expectRefused({"render", "in.png", "-o", "out.png", "--depth", "float"}, 2, "write 8, 16 or 32");
}

TEST_F(CliTest, ModulesThatAreNotFilesOfAModulesSizeAreRefusedAtOnce) {
    // Each would be read until memory ran out (/dev/zero), block forever (a pipe), or is no module.
    writeInput("in.png");
    ASSERT_EQ(::mkfifo(path("pipe.so").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", path("zero.so"));
    fs::create_directories(path("folder.so"));
    { std::ofstream(path("sparse.so")); }
    fs::resize_file(path("sparse.so"), std::uintmax_t{300} << 20);  // sparse: no disk is used
    const std::vector<std::pair<std::string, std::string>> cases{{"/dev/zero", "a character device"},
                                                                 {"zero.so", "a character device"},
                                                                 {"pipe.so", "a pipe (FIFO)"},
                                                                 {"sparse.so", "300 MB, larger than any"}};
    for (const auto& [module, said] : cases) expectRefused({"info", "--module", module}, 1, said);
    // render opens the module the same way.
    expectRefused({"render", "in.png", "-o", "out.png", "--module", "pipe.so"}, 1, "a pipe (FIFO)");
    expectRefused({"info", "--module", "folder.so"}, 1, "not a macOS effect bundle");
    expectRefused({"render", "in.png", "-o", "out.png", "--module", "folder.so"}, 1, "is a folder");
}

TEST_F(CliTest, RefusalsNameTheRealReason) {
    writeInput("in.png");
    expectRefused({"render", "in.png", "-o", "out.png", "--max-memory", std::string(330, '9')}, 2,
                  "more memory than any machine has");
    expectRefused(
        {"render", "in.png", "-o", "out.png", "--fps", "0"}, 2,
        "--fps takes frames per second from 1 to 1000: a whole number, a video rate such as 23.976");
    expectRefused({"render", "in.png", "-o", "out.png", "--fps", "29.97", "--frames", "2145338"}, 2,
                  "past frame 2145337, the last whose time the host's 32-bit clock holds at 30000/1001");
    expectRefused(
        {"render", "in.png", "-o", "out.png", "--fps", "30000/1001", "--key", "Completion=0@0,50@3000000"}, 2,
        "frame 3000000 is past frame 2145337");
    { std::ofstream(path("taken")) << "a file"; }
    expectRefused({"demo", "-o", "taken"}, 1,
                  "cannot make the folder \"taken\" for the demo: a file of that name");

    // A folder on a read-only file system, mounted where only this test sees it.
    fs::create_directories(path("ro"));
    ToolRun r = script(
        "unshare -rm sh -c 'mount -t tmpfs -o ro none ro || exit 77; "
        "$VB demo -o ro/demo; echo \"demo $?\" >&2; $VB render in.png -o ro/out.png'");
    if (r.status == 77) GTEST_SKIP() << "cannot mount a read-only file system here: " << r.err;
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(
                  "cannot make the folder \"ro/demo\" for the demo: the file system is read-only.\ndemo 1\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("cannot write \"ro/out.png\": the folder \"ro\" is on a read-only file system."),
              std::string::npos)
        << r.err;
}

TEST_F(CliTest, VideoFrameRatesRender) {
    writeInput("in.png");
    for (const char* fps : {"29.97", "30000/1001"}) {
        const ToolRun r =
            run({"render", "in.png", "-o", "f_%d.png", "--fps", fps, "--frames", "2145336-2145337"});
        EXPECT_EQ(r.status, 0) << fps << ": " << r.err;
    }
    EXPECT_TRUE(fs::exists(path("f_2145337.png")));
}

TEST_F(CliTest, VersionAndOutputThatCannotBeWritten) {
    ToolRun r = run({"--version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("velmorblind 1.3.0\nVelmorBlind 1.3.0 release, build 1 (", 0), 0u) << r.out;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"$VB info >/dev/full", "standard output: no space left on the device."},
        {"$VB --help >/dev/full", "standard output"},
        {"$VB --version >/dev/full", "standard output"},
        {"$VB info >&-", "standard output: it is closed."}};
    for (const auto& [command, said] : cases) {
        r = script(command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("velmorblind: cannot write to " + said), std::string::npos)
            << command << ": " << r.err;
    }
}
