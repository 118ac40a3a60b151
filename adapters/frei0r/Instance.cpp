#include "Instance.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace vfrei0r {

Instance::Instance(unsigned width, unsigned height)
    : width_(static_cast<int>(width)), height_(static_cast<int>(height)), engine_(Engine::acquire()) {
    try {
        const auto& table = paramTable();
        for (std::size_t i = 0; i < kParamCount; ++i) {
            if (!hasControl(table[i].kind)) continue;
            const vsession::ControlDef& c = engine_.control(table[i].control);
            controls_[i] = &c;
            // The module's own defaults, in frei0r's units.
            values_[i] = table[i].kind == Kind::Choice ? c.defaultValue
                                                       : frei0rValue(table[i].kind, c, c.defaultValue);
        }
    } catch (...) {
        Engine::release();
        throw;
    }
}

Instance::~Instance() { Engine::release(); }

void Instance::set(int index, const void* param) {
    if (index < 0 || static_cast<std::size_t>(index) >= kParamCount || !param) return;
    const std::size_t i = static_cast<std::size_t>(index);
    const ParamInfo& info = paramTable()[i];
    if (info.kind == Kind::Choice) {
        const char* text = *static_cast<const char* const*>(param);
        if (!text) return;
        const std::optional<double> choice = vsession::readValue(*controls_[i], text);
        if (!choice) return;  // not one of the choices: keep the previous one
        std::lock_guard lock(mutex_);
        values_[i] = *choice;
        return;
    }
    const double v = *static_cast<const double*>(param);
    if (std::isnan(v)) return;
    std::lock_guard lock(mutex_);
    values_[i] = hasControl(info.kind) ? clampUnit(v) : v >= 0.5 ? 1.0 : 0.0;
}

void Instance::get(int index, void* param) const {
    if (index < 0 || static_cast<std::size_t>(index) >= kParamCount || !param) return;
    const std::size_t i = static_cast<std::size_t>(index);
    std::lock_guard lock(mutex_);
    if (paramTable()[i].kind == Kind::Choice) {
        // The choice's text lives in the engine's control description, as long as the instance.
        const auto& choices = controls_[i]->choices;
        const auto n = static_cast<std::size_t>(values_[i]);
        *static_cast<const char**>(param) = n >= 1 && n <= choices.size() ? choices[n - 1].c_str() : "";
        return;
    }
    *static_cast<double*>(param) = values_[i];
}

FrameSettings Instance::settings() const {
    FrameSettings s;
    std::lock_guard lock(mutex_);
    const auto& table = paramTable();
    for (std::size_t i = 0; i < kParamCount; ++i) {
        if (table[i].kind == Kind::Draft)
            s.draft = values_[i] >= 0.5;
        else if (table[i].kind == Kind::Reverse)
            s.reverse = values_[i] >= 0.5;
        else if (table[i].kind == Kind::Choice)
            s.values[controls_[i]->index] = values_[i];
        else
            s.values[controls_[i]->index] = controlValue(table[i].kind, *controls_[i], values_[i]);
    }
    return s;
}

void Instance::update(const std::uint32_t* in1, const std::uint32_t* in2, std::uint32_t* out) {
    if (!out) return;
    try {
        const FrameSettings s = settings();
        orderInputs(s.reverse, in1, in2);  // so the fallback below shows the input being revealed
        if (in1 && engine_.render(s, width_, height_, in1, in2, out)) return;
    } catch (...) {
        // Out of memory and the like: the frame falls back as for a host error.
    }
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    if (in2 && in2 != out)
        std::memmove(out, in2, bytes);
    else if (!in2)
        std::memset(out, 0, bytes);
}

}  // namespace vfrei0r
