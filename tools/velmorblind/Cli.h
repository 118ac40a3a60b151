// The command line: `velmorblind info | render | demo` and their options, parsed with CLI11 into plain
// requests. Nothing here touches files or the host.
#pragma once

#include "Frames.h"
#include "Quality.h"
#include "Region.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vblind {

struct InfoRequest {
    std::optional<std::string> module;
};

struct RenderRequest {
    std::string input;
    std::string output;
    std::vector<std::string> sets;
    std::vector<std::string> keys;
    std::string frames = "0";
    FrameRate fps;  // 30 frames per second unless --fps says otherwise
    Quality quality = Quality::Best;
    int downsample = 1;
    std::optional<int> depth;                // 8, 16 or 32; nullopt: the file's depth
    int threads = 0;                         // 0: all cores
    std::string under;                       // image file or #RRGGBB[AA]; empty: none
    std::string contactSheet;                // empty: none
    std::optional<Region> region;            // nullopt: the whole frame
    std::optional<int> compression;          // deflate level 0-9 of PNG and TIFF; nullopt: the fast default
    std::optional<std::uint64_t> maxMemory;  // bytes an image's pixels may take; nullopt: the default
    bool quiet = false;
    bool verbose = false;
    std::optional<std::string> module;
};

struct DemoRequest {
    std::string outDir = "out/demo";
    int threads = 0;
    bool quiet = false;
    bool verbose = false;
    std::optional<std::string> module;
};

enum class Command { Info, Render, Demo, Version };

struct CommandLine {
    Command command = Command::Info;
    InfoRequest info;
    RenderRequest render;
    DemoRequest demo;
};

// The names of the controls a module declares (`module`, else the one beside this program), for the
// render command's help; nullopt when no module can be loaded.
using ControlNames =
    std::function<std::optional<std::vector<std::string>>(const std::optional<std::string>& module)>;

// Parses argv. `velmorblind --version` gives Command::Version. Help (--help on any level) is printed
// to `out` and gives nullopt; the render command's help lists the controls `controlNames` gives
// (called only for that help; empty: it says where to find them instead). A malformed command
// line throws a usage ToolError whose sentence names the problem.
std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                                            const ControlNames& controlNames = {});

}  // namespace vblind
