// Shared set-up for the render tests: the built module loaded from disk into a stand-in host, one
// effect instance set up (global and parameter set-up), its controls by index, synthetic input
// images that show the same picture at the three depths with every pixel unique, and the checks
// that every render gives back all it took.
#pragma once

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Render.h"
#include "SmartFrame.h"
#include "Worlds.h"

#include "VelmorParams.h"

#include "Pixels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace vtest {

// The effect's controls by the indices the module declares them with.
enum Control {
    kMode = PARAM_MODE,
    kCompletion = PARAM_COMPLETION,
    kDelay = PARAM_DELAY,
    kWidth = PARAM_WIDTH,
    kDirection = PARAM_DIRECTION,
    kOffset = PARAM_OFFSET,
    kOrder = PARAM_ORDER,
    kSeed = PARAM_SEED,
    kEasing = PARAM_EASING,
    kEasingMode = PARAM_EASING_MODE,
    kState = PARAM_STATE,
    kOutside = PARAM_OUTSIDE
};
enum { One = 1, Both = 2 };
enum { Still = 1, Move = 2, Shrink = 3 };
enum { Void = 1, Edge = 2, Tile = 3, Mirror = 4 };
enum { Normal = 1, Inverse = 2, Random = 3 };

using vhost::Depth;
using vhost::Image;

// Every suite the module may ask for, by name and version.
inline const std::vector<std::pair<std::string, int>>& moduleSuites() {
    static const std::vector<std::pair<std::string, int>> suites = {
        {"PF Handle Suite", 2},         {"AEGP Utility Suite", 7}, {"PF Param Utils Suite", 2},
        {"AEGP PF Interface Suite", 1}, {"AEGP Layer Suite", 11},  {"AEGP Iterate Suite", 1},
        {"PF Iterate8 Suite", 1},       {"PF World Suite", 1},     {"PF World Suite", 2},
        {"PF Fill Matte Suite", 2},     {"PF Sampling8 Suite", 1}, {"PF Sampling16 Suite", 1},
        {"PF SamplingFloat Suite", 1},
    };
    return suites;
}

inline const char* samplingSuiteOf(Depth depth) {
    switch (depth) {
        case Depth::Bits8: return "PF Sampling8 Suite";
        case Depth::Bits16: return "PF Sampling16 Suite";
        case Depth::Float32: return "PF SamplingFloat Suite";
    }
    return "";
}

// A host with the module from disk and one effect instance of it, set up.
class Rig {
public:
    explicit Rig(int threads = 1) : host_(vhost::Host::Options{threads}) {
        std::string error;
        module_ = vhost::Module::load(VELMOR_MODULE, error);
        if (!module_) throw std::runtime_error("cannot load the module: " + error);
        effect_ = std::make_unique<vhost::Effect>(host_, module_);
        if (effect_->globalSetup() != PF_Err_NONE || effect_->paramsSetup() != PF_Err_NONE)
            throw std::runtime_error("the module did not set up");
        vhost::registerLayerSuites(host_);
    }
    ~Rig() { effect_.reset(); }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    vhost::Host& host() { return host_; }
    vhost::Effect& effect() { return *effect_; }
    vhost::Ledger& ledger() { return host_.ledger(); }

    void set(int control, double value) {
        std::string why;
        if (!effect_->setValue(control, value, &why))
            throw std::invalid_argument("control " + std::to_string(control) + ": " + why);
    }
    using Controls = std::vector<std::pair<int, double>>;
    void set(const Controls& values) {
        for (const auto& [control, value] : values) set(control, value);
    }

    PF_Err render(const Image& input, Image& output, vhost::RenderOptions options = {},
                  vhost::RenderReport* report = nullptr) {
        return vhost::renderFrame(*effect_, input, output, options, report);
    }

    // Everything the module took is back: only the global data handle stays open, every suite
    // acquired was released as often, under the same name and version, and the host noticed no
    // misuse (writes outside the output, writes to the input, double releases...).
    ::testing::AssertionResult clean() const {
        const vhost::Ledger& ledger = host_.ledger();
        if (!ledger.balanced({{"handle", 1}})) return ::testing::AssertionFailure() << ledger.describe();
        for (const auto& [name, version] : moduleSuites()) {
            if (ledger.acquisitions(name, version) != ledger.releases(name, version))
                return ::testing::AssertionFailure()
                       << name << " " << version << " acquired " << ledger.acquisitions(name, version)
                       << " times, released " << ledger.releases(name, version) << " times";
        }
        return ::testing::AssertionSuccess();
    }

    bool called(const std::string& op) const { return host_.ledger().callsOf(op) > 0; }

private:
    vhost::Host host_;
    std::shared_ptr<vhost::Module> module_;
    std::unique_ptr<vhost::Effect> effect_;
};

}  // namespace vtest
