// The process-wide side of the transition: a session of the session library (the stand-in host, the
// module's entry point linked into this library, never loaded from a file, and one set-up effect
// instance), which renders a frame the way the renderer does (`velmorblind render in1 --under in2`). The host
// allows one Host per process and an effect instance holds one set of control values, so renders are
// serialised here; each render still spreads its bands over the host's worker threads.
//
// A frame takes the lean path through the host: the first input turned into the host's pixel order
// a word at a time (into storage kept from frame to frame) and read by the module in place, none
// of the host's per-frame proofs (guard bands, the comparison of the input, the marking of the
// output: the renderer's checked path and the tests keep them), the module's output written
// straight into frei0r's output frame (unless that is the second input) and composited over the
// second input there, in place, in one pass. Every pass over the frame runs on the host's threads.
#pragma once

#include "Controls.h"
#include "Image.h"
#include "Session.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vfrei0r {

// One frame's settings: control values by the module's parameter index, in the renderer's units.
struct FrameSettings {
    std::map<int, double> values;
    bool draft = false;
    bool reverse = false;  // the inputs swapped (Instance::update)
};

class Engine {
public:
    // The shared engine, created on first use; each acquire() is matched by a release(). The last
    // release keeps it for the next instance; shutdown() (f0r_deinit) drops it when nobody holds it.
    static Engine& acquire();
    static void release();
    static void shutdown();

    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The module's controls as it declared them (parameter 1 onwards).
    const std::vector<vsession::ControlDef>& controls() const { return session_.controls(); }
    // The control of parameter `index`; throws std::out_of_range for one the module did not declare.
    const vsession::ControlDef& control(int index) const;

    // Renders in1 (RGBA8888, width x height, rows unpadded) at `settings`, composited over in2 (null:
    // transparent black), into out (which may be in2). Returns false when the host reports an error
    // or a fault; `out` may then hold part of a render (the module writes there when out is not
    // in2), and the caller fills it with its fallback. Safe to call from several threads.
    bool render(const FrameSettings& settings, int width, int height, const std::uint32_t* in1,
                const std::uint32_t* in2, std::uint32_t* out);

    // The stand-in host, for tests that inject faults; only while the engine is held.
    vhost::Host& host() { return session_.host(); }

private:
    Engine();

    std::mutex renderMutex_;
    vsession::Session session_;
    vhost::Host* host_;      // the session's
    vhost::Effect* effect_;  // the session's
    vhost::Image input_;     // the first input in the host's order, kept from frame to frame
};

}  // namespace vfrei0r
