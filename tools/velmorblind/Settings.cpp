#include "Settings.h"

#include "Error.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vblind {

using vsession::readValue;
using vsession::trim;

const ControlDef& findControl(const std::vector<ControlDef>& controls, std::string_view name) {
    if (const ControlDef* c = vsession::findByName(controls, name)) return *c;
    std::string list;
    for (std::size_t i = 0; i < controls.size(); ++i) list += (i ? ", " : "") + controls[i].name;
    usageError("there is no control named \"" + trim(name) + "\"; the controls are " + list + ".");
}

double parseValue(const ControlDef& c, std::string_view raw) {
    if (const std::optional<double> v = readValue(c, raw)) return *v;
    usageError(c.name + " accepts " + describeAccepted(c) + ", not \"" + trim(raw) + "\".");
}

namespace {

// "NAME=REST": the control and the text after the first '='.
std::pair<const ControlDef*, std::string> splitAssignment(const std::vector<ControlDef>& controls,
                                                          const std::string& text, const char* option,
                                                          const char* example) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || trim(std::string_view(text).substr(0, eq)).empty())
        usageError(std::string(option) + " \"" + text + "\" is not written as " +
                   (std::string(option) == "--set" ? "NAME=VALUE" : "NAME=VALUE@FRAME,...") +
                   " (for example " + option + " \"" + example + "\").");
    return {&findControl(controls, std::string_view(text).substr(0, eq)), text.substr(eq + 1)};
}

int parseKeyFrame(const ControlDef& c, const std::string& key, std::string_view text) {
    const std::string t = trim(text);
    int frame = -1;
    const bool digits = !t.empty() && t.size() <= 7 &&
                        std::all_of(t.begin(), t.end(), [](unsigned char ch) { return std::isdigit(ch); });
    if (digits) std::from_chars(t.data(), t.data() + t.size(), frame);
    if (!digits || frame < 0)
        usageError("the key \"" + key + "\" of " + c.name +
                   " has no valid frame after '@': write "
                   "VALUE@FRAME with a whole frame number from 0 to 9999999.");
    return frame;
}

}  // namespace

ControlPlan parseSettings(const std::vector<ControlDef>& controls, const std::vector<std::string>& sets,
                          const std::vector<std::string>& keys) {
    ControlPlan plan;
    auto claim = [&](const ControlDef& c) -> ControlSetting& {
        if (plan.count(c.index))
            usageError(c.name +
                       " is given more than once; set it with one --set or animate it with one "
                       "--key.");
        return plan[c.index];
    };
    for (const std::string& text : sets) {
        auto [control, value] = splitAssignment(controls, text, "--set", "Easing Mode=InOut");
        ControlSetting& s = claim(*control);
        s.value = parseValue(*control, value);
    }
    for (const std::string& text : keys) {
        auto [control, list] = splitAssignment(controls, text, "--key", "Completion=0@1,100@48");
        ControlSetting& s = claim(*control);
        s.animated = true;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = list.find(',', start);
            const std::string key = list.substr(start, comma - start);
            const std::size_t at = key.rfind('@');
            if (at == std::string::npos)
                usageError("the key \"" + key + "\" of " + control->name +
                           " has no frame: write "
                           "VALUE@FRAME, keys separated by commas (for example 0@1,100@48).");
            Key k;
            k.value = parseValue(*control, std::string_view(key).substr(0, at));
            k.frame = parseKeyFrame(*control, key, std::string_view(key).substr(at + 1));
            for (const Key& other : s.keys)
                if (other.frame == k.frame)
                    usageError(control->name + " has two keys on frame " + std::to_string(k.frame) + ".");
            s.keys.push_back(k);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        std::sort(s.keys.begin(), s.keys.end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
    }
    return plan;
}

}  // namespace vblind
