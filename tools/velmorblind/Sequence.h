// The `render` and `demo` commands: settle the controls, read the images, render every frame
// through the host, put it over the background, write it, and gather the contact sheet.
#pragma once

#include "Cli.h"
#include "Frames.h"
#include "HostBridge.h"
#include "ImageIO.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace vblind {

class Notes;

// What one run renders, with everything already checked.
struct SequencePlan {
    FrameRange frames;
    OutputPattern output;
    Quality quality = Quality::Best;
    int downsample = 1;
    std::optional<Region> region;       // of the rendered frame; nullopt: all of it
    std::optional<vhost::Image> under;  // at the output's size and the render's depth
    std::string contactSheet;           // empty: none
    WriteOptions write;
    int writers = 1;  // frames encoded at once, beside the render
    bool progress = false;
    bool verbose = false;
};

// Renders the plan's frames of `input`; `out` receives the --verbose lines.
void renderSequence(EffectSession& session, const vhost::Image& input, const SequencePlan& plan, Notes& notes,
                    std::ostream& out);

// Without any setting of its own, Completion runs from 0 % on the first frame to 100 % on the last
// of a sequence of several frames.
void addDefaultCompletion(const std::vector<ControlDef>& controls, ControlPlan& plan,
                          const FrameRange& frames);

// One --verbose line: "frame 12: Mode=Both; Completion=25.0%; ...".
std::string describeFrame(const EffectSession& session, int frame);

void runRender(const RenderRequest& request, std::ostream& out, std::ostream& err);
void runDemo(const DemoRequest& request, std::ostream& out, std::ostream& err);

}  // namespace vblind
