#include "Cli.h"

#include "ContactSheet.h"
#include "Error.h"
#include "ImageIO.h"
#include "MemoryBudget.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <ostream>

namespace vblind {

namespace {

constexpr const char* kFooter = "Exit status: 0 success, 1 a file, render or host error, 2 bad usage.";

// Help text is folded to lines of at most this many columns.
constexpr std::size_t kHelpWidth = 90;

constexpr const char* kControlsAfterNames =
    "Popups take the choice (\"Both\", \"InOut\") or its number from 1; Completion and Delay are "
    "percent, angles degrees, Width pixels.";

constexpr const char* kRenderFooterEnd =
    "Without keys, a render of several frames runs Completion from 0% on the first frame to\n"
    "100% on the last.\n"
    "Examples:\n"
    "  velmorblind render in.png -o out.png --set Completion=40 --set Mode=Both\n"
    "  velmorblind render in.png -o out/f_%04d.png --frames 1-48 --under #000000\n"
    "  velmorblind render in.exr -o f_%03d.exr --frames 0-24 --key Direction=0@0,90@24\n"
    "  velmorblind render in.png -o corner.png --region 256x256+0+0 --set Completion=50";

// `text` folded at spaces into lines of at most kHelpWidth columns, each indented by two.
std::string indented(const std::string& text) {
    std::string folded, line = "  ";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (line.size() > 2 && line.size() + 1 + word.size() > kHelpWidth) {
            folded += line + "\n";
            line = "  ";
        }
        line += (line.size() > 2 ? " " : "") + word;
        start = end + 1;
    }
    return folded + line + "\n";
}

// The render command's footer: the controls the module declares, by name, or where none can be
// loaded, where to find them.
std::string renderFooter(const std::optional<std::vector<std::string>>& controls) {
    std::string names;
    if (controls) {
        for (const std::string& name : *controls) names += (names.empty() ? "" : ", ") + name;
        names += ".";
    } else {
        names = "\"velmorblind info\" lists them (no module could be loaded to ask).";
    }
    return "Controls (names as the module declares them; case and spaces do not matter):\n" +
           indented(names + " " + kControlsAfterNames) + kRenderFooterEnd;
}

// 30, or 30000/1001 for a rate that is not a whole number of frames per second.
std::string rateText(const FrameRate& rate) {
    return std::to_string(rate.scale) + (rate.ticks == 1 ? "" : "/" + std::to_string(rate.ticks));
}

std::string sentence(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::replace(text.begin(), text.end(), '\n', ' ');
    // "The following argument..." reads on after our prefix in lower case; "IN is required" keeps its name.
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        std::islower(static_cast<unsigned char>(text[1])))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

// Every option and argument that takes a value refuses an empty one: `--frames ""` is a mistake,
// not a request for the default. Looked for before parsing, so that no option's own check (a
// number's range, a list of choices) speaks first with a puzzling message about a blank.
void refuseEmptyValues(int argc, const char* const* argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i], before = argv[i - 1];
        const bool flag = before == "-q" || before == "--quiet" || before == "-v" || before == "--verbose";
        std::string option;
        if (arg.size() > 2 && arg.rfind("--", 0) == 0 && arg.back() == '=')
            option = arg.substr(0, arg.size() - 1);
        else if (arg.empty() && before.size() > 1 && before[0] == '-' && !flag)
            option = before;
        else if (arg.empty())
            option = "IN";
        if (!option.empty())
            usageError(option + " was given an empty value, which names nothing; see \"velmorblind " +
                       command + " --help\".");
    }
}

void addModuleOption(CLI::App& cmd, std::optional<std::string>& module) {
    cmd.add_option("--module", module,
                   "Effect module to load (default: the VelmorBlind module beside "
                   "this program)");
}

}  // namespace

std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                            const ControlNames& controlNames) {
    CommandLine cl;
    CLI::App app{"Renders the VelmorBlind blinds transition through the stand-in effect host.",
                 "velmorblind"};
    app.require_subcommand(1);
    app.footer(kFooter);
    // Shown in the overview's help; asked for on its own, before any command is required.
    bool version = false;
    app.add_flag("--version", version, "Print the versions of this program and of its module, then exit");
    if (argc == 2 && std::string(argv[1]) == "--version") {
        cl.command = Command::Version;
        return cl;
    }

    // ---- info
    CLI::App* info = app.add_subcommand("info", "Show the module's property list, About text and controls");
    addModuleOption(*info, cl.info.module);
    info->footer(kFooter);

    // ---- render
    RenderRequest& r = cl.render;
    CLI::App* render = app.add_subcommand("render", "Render frames of the transition from an image");
    render->add_option("IN", r.input, "Input image (PNG, TIFF, EXR, JPEG, ...)")->required();
    render
        ->add_option("-o,--output", r.output,
                     "Output image; with several frames it holds a frame number such as %04d")
        ->required();
    render->add_option("--set", r.sets, "NAME=VALUE: set a control (repeatable)")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    render
        ->add_option("--key", r.keys,
                     "NAME=VALUE@FRAME[,VALUE@FRAME...]: animate a control (repeatable); numbers "
                     "interpolate linearly, popups hold")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    render->add_option("--frames", r.frames, "Frames to render, A-B or one frame")->capture_default_str();
    std::string fps = rateText(r.fps);
    render
        ->add_option("--fps", fps,
                     "Frames per second, the time scale: 1 to 1000, a video rate such as 29.97, or a "
                     "fraction such as 30000/1001")
        ->capture_default_str();
    std::string quality = qualityRow(r.quality).name;
    render->add_option("--quality", quality, "The layer quality the host gives the module")
        ->check(CLI::IsMember(qualityNames(), CLI::ignore_case))
        ->capture_default_str();
    render->add_option("--downsample", r.downsample, "Render at 1/N resolution")
        ->check(CLI::Range(1, 64))
        ->capture_default_str();
    std::string depth;
    render
        ->add_option("--depth", depth,
                     "Bits per channel of the render: 8, 16 or 32 (float); "
                     "default: the input file's")
        ->check(CLI::Validator(
            [](std::string& value) {
                return value == "8" || value == "16" || value == "32"
                           ? std::string()
                           : "\"" + value + "\" is not a depth; write 8, 16 or 32 (32 is float)";
            },
            "", "DEPTH"));
    render
        ->add_option("--threads", r.threads,
                     "Worker threads, also the number of frames encoded at once "
                     "(default: all cores)")
        ->check(CLI::Range(1, 256));
    render->add_option("--under", r.under,
                       "Composite the output over an image of the same size or a colour #RRGGBB[AA]");
    render->add_option("--contact-sheet", r.contactSheet,
                       "Also write one picture of the frames in a grid, labelled; a range of over " +
                           std::to_string(ContactSheet::kMaxCells) + " frames shows " +
                           std::to_string(ContactSheet::kMaxCells) +
                           " of them, the first, the last and others evenly spaced between");
    std::string region;
    CLI::Option* regionOption =
        render
            ->add_option("--region", region,
                         "Render only this rectangle of the frame, WIDTHxHEIGHT+LEFT+TOP in the rendered "
                         "frame's pixels (after --downsample), such as 640x360+100+50: the host asks the "
                         "module for it alone, the file holds exactly it (zero where it leaves the frame; "
                         "EXR and TIFF keep its position), and it is exactly that cut of the whole frame")
            ->type_name("GEOMETRY");
    render
        ->add_option("--compression", r.compression,
                     "PNG and TIFF deflate level, 0 (none) to 9 (smallest files, slowest); default: "
                     "PNG level " +
                         std::to_string(kDefaultCompression) +
                         ", the fastest that still compresses, TIFF PackBits")
        ->check(CLI::Range(0, 9));
    std::string maxMemory;
    CLI::Option* maxMemoryOption =
        render
            ->add_option(
                "--max-memory", maxMemory,
                "Most memory an image's pixels may take, such as 512M or 2G; a file that declares a larger "
                "picture is refused (default: half the physical memory)")
            ->type_name("SIZE");
    render->add_flag("-q,--quiet", r.quiet, "No progress bar");
    render->add_flag("-v,--verbose", r.verbose, "Print each frame's control values");
    addModuleOption(*render, r.module);
    // The module is asked for its controls only when this help is printed, after --module is read;
    // CLI11 prints that part, then a line break, then the footer every command has.
    render->footer(
        [&controlNames, &r] { return renderFooter(controlNames ? controlNames(r.module) : std::nullopt); });
    render->footer(kFooter);

    // ---- demo
    DemoRequest& d = cl.demo;
    CLI::App* demo =
        app.add_subcommand("demo", "Render a built-in example (48 frames and a contact sheet) into a folder");
    demo->add_option("-o,--output", d.outDir, "Folder for the frames and the contact sheet")
        ->capture_default_str();
    demo->add_option("--threads", d.threads, "Worker threads (default: all cores)")
        ->check(CLI::Range(1, 256));
    demo->add_flag("-q,--quiet", d.quiet, "No progress bar and no closing message");
    demo->add_flag("-v,--verbose", d.verbose, "Print each frame's control values");
    addModuleOption(*demo, d.module);
    demo->footer(kFooter);

    // CLI11 would call an unknown command a missing one; name it instead.
    const std::string first = argc > 1 ? argv[1] : "";
    if (!first.empty() && first[0] != '-' && first != "info" && first != "render" && first != "demo")
        usageError("there is no command \"" + std::string(argv[1]) +
                   "\"; the commands are info, render and demo. See \"velmorblind --help\".");
    refuseEmptyValues(argc, argv);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // Help for the subcommand that was asked about, or the overview.
        const CLI::App* asked = &app;
        for (const CLI::App* sub : app.get_subcommands()) asked = sub;
        out << asked->help();
        return std::nullopt;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return std::nullopt;
    } catch (const CLI::Success&) {
        out << app.help();
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        const CLI::App* in = &app;
        for (const CLI::App* sub : app.get_subcommands()) in = sub;
        const std::string where =
            in == &app ? "velmorblind --help" : "velmorblind " + in->get_name() + " --help";
        usageError(sentence(e.what()) + " See \"" + where + "\".");
    }

    if (*info) cl.command = Command::Info;
    if (*render) {
        cl.command = Command::Render;
        r.quality = qualityNamed(quality).value_or(r.quality);
        if (!depth.empty()) r.depth = std::stoi(depth);
        if (regionOption->count()) r.region = parseRegion(region);
        r.fps = parseFrameRate(fps);
        if (maxMemoryOption->count()) {
            bool tooLarge = false;
            r.maxMemory = parseByteSize(maxMemory, &tooLarge);
            if (tooLarge)
                usageError(
                    "--max-memory \"" +
                    (maxMemory.size() > 24 ? maxMemory.substr(0, 20) + "..." : maxMemory) +
                    "\" is more memory than any machine has (the most is 2 to the 64 bytes, 16 EiB); give "
                    "a size such as 512M or 2G.");
            if (!r.maxMemory)
                usageError("--max-memory takes a size such as 512M or 2G, not \"" + maxMemory +
                           "\". See \"velmorblind render --help\".");
        }
    }
    if (*demo) cl.command = Command::Demo;
    return cl;
}

}  // namespace vblind
