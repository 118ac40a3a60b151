// One frei0r instance: its frame size and its parameter values. It keeps no state between frames
// (MLT may hand it frames out of order, and from several threads at once); every update renders
// from the values set at that moment.
#pragma once

#include "Engine.h"
#include "Parameters.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace vfrei0r {

class Instance {
public:
    // Largest side accepted: the host refuses worlds above 30000 pixels on a side.
    static constexpr unsigned kMaxSide = 30000;

    // Holds the engine for its lifetime; throws when the engine cannot be set up.
    Instance(unsigned width, unsigned height);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // frei0r's set/get: `param` points at a double (BOOL, DOUBLE) or a char* (STRING). An index out
    // of range, a NaN or an unknown choice leaves the value as it was; numbers are held to 0..1.
    void set(int index, const void* param);
    void get(int index, void* param) const;

    // Renders one frame. Null in1: the frame is in2 (or transparent black). A host error leaves in2
    // (or transparent black) in `out`. With reverse set, in1 and in2 trade places first.
    void update(const std::uint32_t* in1, const std::uint32_t* in2, std::uint32_t* out);

    // The control values the next update would render with.
    FrameSettings settings() const;

private:
    int width_;
    int height_;
    Engine& engine_;
    mutable std::mutex mutex_;
    // frei0r values; for choices, the 1-based choice number.
    std::array<double, kParamCount> values_{};
    std::array<const vsession::ControlDef*, kParamCount> controls_{};
};

}  // namespace vfrei0r
