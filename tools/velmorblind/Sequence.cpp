#include "Sequence.h"

#include "Colour.h"
#include "Composite.h"
#include "ContactSheet.h"
#include "Demo.h"
#include "Error.h"
#include "ImageIO.h"
#include "Interrupt.h"
#include "MemoryBudget.h"
#include "Notes.h"
#include "OutputClash.h"
#include "OutputFile.h"
#include "Progress.h"
#include "WritePipeline.h"

#include <algorithm>
#include <filesystem>
#include <thread>
#include <ostream>

namespace vblind {

using vsession::compositeOver;
using vsession::solidImage;

namespace fs = std::filesystem;

namespace {

int indexOf(const std::vector<ControlDef>& controls, const std::string& name) {
    for (const ControlDef& c : controls)
        if (normalizeName(c.name) == normalizeName(name)) return c.index;
    return -1;
}

std::optional<vhost::Depth> depthOption(std::optional<int> bits) {
    if (!bits) return std::nullopt;
    return *bits == 8 ? vhost::Depth::Bits8 : *bits == 16 ? vhost::Depth::Bits16 : vhost::Depth::Float32;
}

// The background at the output's size and the render's depth, from --under.
std::optional<vhost::Image> loadUnder(const EffectSession& session, const std::string& under,
                                      const vhost::Image& input, int downsample,
                                      const std::optional<Region>& region, const ReadOptions& reading) {
    if (under.empty()) return std::nullopt;
    if (looksLikeColour(under)) {
        const int w = region ? region->width : (input.width + downsample - 1) / downsample;
        const int h = region ? region->height : (input.height + downsample - 1) / downsample;
        return solidImage(w, h, input.depth, parseColour(under));
    }
    vhost::Image back = readImage(under, input.depth, "background image", reading).image;
    if (back.width != input.width || back.height != input.height)
        usageError("the background image \"" + under + "\" is " + std::to_string(back.width) + " x " +
                   std::to_string(back.height) + " pixels but the input is " + std::to_string(input.width) +
                   " x " + std::to_string(input.height) + "; --under needs an image of the same size.");
    if (region) return cutRegion(session.downsampled(back, downsample), *region);
    return session.downsampled(back, downsample);
}

// The size of the frames written: the region, or the whole rendered frame.
std::pair<int, int> outputSize(const vhost::Image& input, const SequencePlan& plan) {
    if (plan.region) return {plan.region->width, plan.region->height};
    return {(input.width + plan.downsample - 1) / plan.downsample,
            (input.height + plan.downsample - 1) / plan.downsample};
}

// As many frames encoded at once as the render has threads: --threads, else the cores.
int writerCount(int threads) {
    if (threads > 0) return threads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Temporary files that killed runs left where this run writes are removed first, said in one line.
void removeLeftovers(const std::vector<std::string>& destinations, std::ostream& err) {
    std::vector<fs::path> folders;
    for (const std::string& d : destinations) {
        const fs::path folder = writeFolder(d);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    for (const fs::path& folder : folders)
        if (const int removed = removeStaleTemporaries(folder))
            err << "velmorblind: removed " << removed << " temporary file" << (removed == 1 ? "" : "s")
                << " left in \"" << folder.string() << "\" by runs that were killed." << std::endl;
}

// Frames and keys past the last frame the host's 32-bit time holds at the rate (frame 2145341 at
// 30000/1001) are refused: their times would wrap.
void checkFramesFitTime(const FrameRate& rate, const FrameRange& frames, const ControlPlan& controls) {
    int last = frames.last;
    for (const auto& [index, setting] : controls)
        for (const Key& k : setting.keys) last = std::max(last, k.frame);
    if (last > lastFrameAt(rate))
        usageError("frame " + std::to_string(last) + " is past frame " + std::to_string(lastFrameAt(rate)) +
                   ", the last whose time the host's 32-bit clock holds at " + std::to_string(rate.scale) +
                   "/" + std::to_string(rate.ticks) + " frames per second.");
}

}  // namespace

void addDefaultCompletion(const std::vector<ControlDef>& controls, ControlPlan& plan,
                          const FrameRange& frames) {
    const int completion = indexOf(controls, "Completion");
    if (completion < 0 || plan.count(completion) || frames.count() < 2) return;
    const ControlDef& c = controls.at(static_cast<std::size_t>(completion - 1));
    ControlSetting s;
    s.animated = true;
    s.keys = {Key{frames.first, c.validMin}, Key{frames.last, c.validMax}};
    plan[completion] = s;
}

std::string describeFrame(const EffectSession& session, int frame) {
    std::string line = "frame " + std::to_string(frame) + ":";
    const auto& controls = session.controls();
    for (std::size_t i = 0; i < controls.size(); ++i)
        line += (i ? "; " : " ") + controls[i].name + "=" +
                formatValue(controls[i], session.valueAt(controls[i].index, frame));
    return line;
}

void renderSequence(EffectSession& session, const vhost::Image& input, const SequencePlan& plan, Notes& notes,
                    std::ostream& out) {
    const int completion = indexOf(session.controls(), "Completion");
    const auto [outW, outH] = outputSize(input, plan);
    std::optional<ContactSheet> sheet;
    if (!plan.contactSheet.empty()) sheet.emplace(plan.frames.count(), outW, outH);

    // A signal stops the run between steps; the frame in hand is dropped unwritten.
    auto stopIfAsked = [&](int frame) {
        if (!interruptSignal()) return;
        if (plan.frames.count() == 1) stopForInterrupt("before the frame was written; nothing was written.");
        std::string done = frame == plan.frames.first
                               ? "no frame was written"
                               : "frames " + std::to_string(plan.frames.first) + " to " +
                                     std::to_string(frame - 1) + " are complete";
        stopForInterrupt("at frame " + std::to_string(frame) + ": " + done + ", frame " +
                         std::to_string(frame) + " and later ones were not written" +
                         (sheet ? ", nor the contact sheet." : "."));
    };

    // Frames are written on other threads while the next one renders. Leaving this function by an
    // exception, the pipeline still writes the frames it was handed before the failure.
    WritePipeline writer(plan.writers,
                         static_cast<std::size_t>(outW) * outH * vhost::bytesPerPixel(input.depth),
                         plan.write, notes);

    Progress progress(plan.frames.count(), plan.progress);
    for (int frame = plan.frames.first; frame <= plan.frames.last; ++frame) {
        if (interruptSignal()) writer.finish();  // the frames before are complete when we say so
        stopIfAsked(frame);
        const std::string path = plan.output.pathFor(frame);
        progress.step(frame - plan.frames.first, path);
        if (plan.verbose) {
            progress.finish();
            out << describeFrame(session, frame) << std::endl;
        }
        vhost::Image result = session.render(input, frame, plan.quality, plan.downsample, plan.region);
        if (plan.under && (plan.under->width != result.width || plan.under->height != result.height))
            failure("the host rendered frame " + std::to_string(frame) + " at " +
                    std::to_string(result.width) + " x " + std::to_string(result.height) +
                    " pixels, not the size of the background.");
        if (interruptSignal()) writer.finish();
        stopIfAsked(frame);
        checkDestination(path);
        // The background goes under on the writer's thread, unless the contact sheet needs the
        // finished frame here.
        const vhost::Image* under = plan.under ? &*plan.under : nullptr;
        const int index = frame - plan.frames.first;
        if (sheet && sheet->wants(index)) {
            if (under) compositeOver(result, *under);
            under = nullptr;
            sheet->add(result, frame, completion > 0 ? session.valueAt(completion, frame) : 0.0);
        }
        writer.submit(path, std::move(result), under);
    }
    writer.finish();
    progress.step(plan.frames.count(), "done");
    progress.finish();
    if (sheet) {
        if (interruptSignal())
            stopForInterrupt(
                "after the last frame: every frame is complete, the contact sheet was not written.");
        writeImage(plan.contactSheet, sheet->image(), notes, plan.write);
    }
}

void runRender(const RenderRequest& request, std::ostream& out, std::ostream& err) {
    InterruptGuard interrupts;
    // Everything about the command line is checked before any image is read or frame rendered.
    SequencePlan plan;
    plan.frames = parseFrameRange(request.frames);
    plan.output = OutputPattern::parse(request.output, plan.frames.count());
    plan.quality = request.quality;
    plan.downsample = request.downsample;
    plan.contactSheet = request.contactSheet;
    plan.region = request.region;
    if (request.compression) plan.write.compression = *request.compression;
    plan.writers = writerCount(request.threads);
    plan.verbose = request.verbose;
    plan.progress = !request.quiet && stderrIsTerminal();
    if (looksLikeColour(request.under)) parseColour(request.under);
    checkWritableImage(plan.output.pathFor(plan.frames.first));
    if (!plan.contactSheet.empty()) checkWritableImage(plan.contactSheet);
    std::vector<ReadFile> reads{{request.input, "input image"}};
    if (!request.under.empty() && !looksLikeColour(request.under))
        reads.push_back({request.under, "background image"});
    checkOutputsSpareInputs(reads, plan.output, plan.frames, plan.contactSheet);
    std::vector<std::string> destinations{plan.output.pathFor(plan.frames.first)};
    if (!plan.contactSheet.empty()) destinations.push_back(plan.contactSheet);
    removeLeftovers(destinations, err);

    SessionOptions options;
    if (request.module) options.module = *request.module;
    options.threads = request.threads;
    options.fps = request.fps;
    EffectSession session(options);
    ControlPlan controls = parseSettings(session.controls(), request.sets, request.keys);
    checkFramesFitTime(request.fps, plan.frames, controls);
    addDefaultCompletion(session.controls(), controls, plan.frames);
    session.apply(controls);

    Notes notes(err);
    const ReadOptions reading{request.maxMemory.value_or(0), &notes};
    const LoadedImage input = readImage(request.input, depthOption(request.depth), "input image", reading);
    if (plan.region) {
        // The region's frames are held like any image: within the memory budget.
        const std::uint64_t budget = reading.memoryBudget ? reading.memoryBudget : defaultMemoryBudget();
        if (plan.region->bytes(input.image.depth) > budget)
            usageError("--region " + std::to_string(plan.region->width) + "x" +
                       std::to_string(plan.region->height) + " would take " +
                       describeBytes(plan.region->bytes(input.image.depth)) +
                       " at this depth, over the memory limit of " + describeBytes(budget) +
                       "; ask for a smaller region or raise --max-memory.");
    }
    plan.under = loadUnder(session, request.under, input.image, plan.downsample, plan.region, reading);

    renderSequence(session, input.image, plan, notes, out);
}

void runDemo(const DemoRequest& request, std::ostream& out, std::ostream& err) {
    InterruptGuard interrupts;
    const fs::path dir = request.outDir;
    std::error_code made, ec;
    fs::create_directories(dir, made);
    const std::string cannot = "cannot make the folder \"" + dir.string() + "\" for the demo: ";
    const fs::file_status status = fs::status(dir, ec);
    if (fs::exists(status) && !fs::is_directory(status))
        failure(cannot + "a file of that name is in the way; name a folder with -o.");
    if (!fs::is_directory(status))
        failure(cannot + (made ? fileErrorReason(made.value()) : std::string("the system gave no reason")) +
                ".");

    SequencePlan plan;
    plan.frames = FrameRange{kDemoFirstFrame, kDemoLastFrame};
    plan.output = OutputPattern::parse((dir / "frame_%04d.png").string(), plan.frames.count());
    plan.contactSheet = (dir / "contact_sheet.png").string();
    plan.writers = writerCount(request.threads);
    plan.verbose = request.verbose;
    plan.progress = !request.quiet && stderrIsTerminal();
    checkWritableImage(plan.output.pathFor(plan.frames.first));
    removeLeftovers({plan.output.pathFor(plan.frames.first)}, err);

    SessionOptions options;
    if (request.module) options.module = *request.module;
    options.threads = request.threads;
    EffectSession session(options);
    ControlPlan controls = parseSettings(session.controls(), demoSettings(), {});
    addDefaultCompletion(session.controls(), controls, plan.frames);
    session.apply(controls);

    const vhost::Image input = demoForeground();
    plan.under = demoBackground();

    Notes notes(err);
    renderSequence(session, input, plan, notes, out);
    if (!request.quiet)
        out << "velmorblind: wrote " << plan.frames.count() << " frames, "
            << plan.output.pathFor(plan.frames.first) << " to "
            << fs::path(plan.output.pathFor(plan.frames.last)).filename().string()
            << ", and the contact sheet " << plan.contactSheet << "\n";
}

}  // namespace vblind
