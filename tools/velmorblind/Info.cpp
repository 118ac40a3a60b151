#include "Info.h"

#include "Error.h"
#include "HostBridge.h"

#include "ModuleFile.h"
#include "Pipl.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <ostream>
#include <vector>

namespace vblind {

namespace {

std::string hex(unsigned word) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", word);
    return buf;
}

// Columns count characters, not bytes ("°" is two bytes, one column).
std::size_t columns(const std::string& s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string pad(const std::string& s, std::size_t width) {
    const std::size_t n = columns(s);
    return n >= width ? s + " " : s + std::string(width - n, ' ');
}

std::string rangeText(const ControlDef& c, double lo, double hi) {
    if (c.type == PF_Param_ANGLE && !c.hasRange) return "-";
    if (c.type == PF_Param_POPUP) return "1 to " + std::to_string(c.choices.size());
    const std::string unit = c.percent ? "%" : "";
    return vsession::plainNumber(lo) + unit + " to " + vsession::plainNumber(hi) + unit;
}

std::string joinChoices(const ControlDef& c) {
    std::string s;
    for (std::size_t i = 0; i < c.choices.size(); ++i) s += (i ? "|" : "") + c.choices[i];
    return s;
}

// The platform a macOS code entry is for.
std::string macCodeEntryNote(const std::string& key) {
    const char* arch = key == vhost::kPiplMacArmCodeEntryKey ? "arm64" : "x86-64";
    return " (code entry \"" + key + "\": macOS " + arch + ")";
}

// A session that only reads what the module declares: no renders, so one thread.
SessionOptions readingOptions(const std::optional<std::string>& module) {
    SessionOptions options;
    if (module) options.module = *module;
    options.threads = 1;
    return options;
}

// A list of a macOS bundle (`mac`) shows every code entry with its key and platform, one a line;
// the list of a module this host runs shows its entry point alone.
void printPropertyList(const vhost::Pipl& pipl, bool mac, std::ostream& out) {
    out << "Property list, read from the file:\n";
    out << "  Name:        " << pipl.name << "\n";
    out << "  Category:    " << pipl.category << "\n";
    out << "  Match name:  " << pipl.matchName << "\n";
    if (mac) {
        for (const vhost::PiplCodeEntry& entry : pipl.codeEntries)
            out << "  Entry point: " << entry.name << macCodeEntryNote(entry.key) << "\n";
    } else {
        out << "  Entry point: " << pipl.entryPoint << "\n";
    }
    if (pipl.version)
        out << "  Version:     " << describeVersion(*pipl.version) << " (" << hex(*pipl.version) << ")\n";
    if (pipl.outFlags) out << "  Flags:       " << describeFlags(*pipl.outFlags, false) << "\n";
    if (pipl.outFlags2) out << "  Flags 2:     " << describeFlags(*pipl.outFlags2, true) << "\n";
    if (pipl.infoFlags) out << "  Info flags:  " << hex(*pipl.infoFlags) << "\n";
}

}  // namespace

bool isBundleFolder(const std::filesystem::path& module) {
    std::error_code ec;
    return std::filesystem::is_directory(module, ec);
}

void printBundleInfo(const std::filesystem::path& bundle, std::ostream& out) {
    std::string error;
    const auto bytes = vhost::readBundlePiplBytes(bundle, error);
    if (!bytes) failure(error + ".");
    const auto pipl = vhost::parseMacPipl(*bytes, error);
    if (!pipl) failure(bundle.string() + " carries a bad property list (" + error + ").");
    out << "Module:      " << bundle.string()
        << " (a macOS bundle: its property list is read, its binary is not loaded)\n";
    printPropertyList(*pipl, true, out);
}

void printVersions(std::ostream& out) {
    out << "velmorblind " << VELMORBLIND_VERSION << "\n";
    const std::filesystem::path module = locateModule(std::nullopt);
    std::string error;
    const auto bytes = vhost::readPiplBytes(module, error);
    if (!bytes) failure("cannot read the module's version: " + error + ".");
    const auto pipl = vhost::parsePipl(*bytes, error);
    if (!pipl)
        failure("cannot read the module's version: " + module.string() + " carries a bad property list (" +
                error + ").");
    if (!pipl->version) failure("cannot read the module's version: " + module.string() + " declares none.");
    out << pipl->name << " " << describeVersion(*pipl->version) << " (" << module.string() << ")\n";
}

std::string describeVersion(unsigned word) {
    const vhost::EffectVersion v = vhost::decodeEffectVersion(word);
    static const char* const kStages[] = {"develop", "alpha", "beta", "release"};
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision) + " " +
           kStages[v.stage & 3] + ", build " + std::to_string(v.build);
}

std::string describeFlags(unsigned word, bool second) {
    struct Bit {
        unsigned bit;
        const char* name;
    };
    static const Bit kFirst[] = {{8, "DISPLAY_ERROR_MESSAGE"},
                                 {17, "REFRESH_UI"},
                                 {25, "DEEP_COLOR_AWARE"},
                                 {26, "SEND_UPDATE_PARAMS_UI"}};
    static const Bit kSecond[] = {{10, "SUPPORTS_SMART_RENDER"}, {12, "FLOAT_COLOR_AWARE"}};
    std::vector<std::string> names;
    for (unsigned bit = 0; bit < 32; ++bit) {
        if (!(word & (1u << bit))) continue;
        std::string name = "bit " + std::to_string(bit);
        for (const Bit& b : second ? std::vector<Bit>(std::begin(kSecond), std::end(kSecond))
                                   : std::vector<Bit>(std::begin(kFirst), std::end(kFirst)))
            if (b.bit == bit) name = b.name;
        names.push_back(name);
    }
    std::string text = hex(word);
    if (!names.empty()) {
        text += " (";
        for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
        text += ")";
    }
    return text;
}

void runInfo(const std::optional<std::string>& module, std::ostream& out) {
    if (module && isBundleFolder(*module)) {
        printBundleInfo(*module, out);
        return;
    }
    EffectSession session(readingOptions(module));
    printInfo(session, out);
}

std::optional<std::vector<std::string>> declaredControlNames(const std::optional<std::string>& module) {
    if (module && isBundleFolder(*module)) return std::nullopt;
    try {
        EffectSession session(readingOptions(module));
        std::vector<std::string> names;
        for (const ControlDef& c : session.controls()) names.push_back(c.name);
        return names;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void printInfo(EffectSession& session, std::ostream& out) {
    const vhost::Pipl& pipl = session.pipl();
    out << "Module:      " << session.modulePath().string() << "\n";
    printPropertyList(pipl, false, out);

    // About: lines end in a carriage return in the host's convention.
    std::string about = session.about();
    out << "About:\n";
    std::size_t start = 0;
    while (start <= about.size()) {
        std::size_t end = about.find_first_of("\r\n", start);
        out << "  " << about.substr(start, end == std::string::npos ? std::string::npos : end - start)
            << "\n";
        if (end == std::string::npos) break;
        start = end + 1;
    }

    const std::vector<ControlDef>& controls = session.controls();
    const std::vector<std::string> greyed = session.greyedControls();
    auto isGreyed = [&](const std::string& name) {
        return std::find(greyed.begin(), greyed.end(), name) != greyed.end();
    };
    out << "Controls (" << controls.size() << ", after the input layer; the module reports "
        << session.declaredParamCount() << " parameters):\n";
    const std::vector<std::size_t> widths = {5, 14, 14, 16, 14, 10, 8};
    out << "  " << pad("#", widths[0]) << pad("Name", widths[1]) << pad("Type", widths[2])
        << pad("Range", widths[3]) << pad("Slider", widths[4]) << pad("Default", widths[5])
        << pad("Greyed", widths[6]) << "Choices\n";
    for (const ControlDef& c : controls) {
        const bool slider = c.type != PF_Param_POPUP && c.type != PF_Param_ANGLE;
        std::string row = "  " + pad(std::to_string(c.index), widths[0]) + pad(c.name, widths[1]) +
                          pad(typeName(c.type), widths[2]) +
                          pad(rangeText(c, c.validMin, c.validMax), widths[3]) +
                          pad(slider ? rangeText(c, c.sliderMin, c.sliderMax) : "-", widths[4]) +
                          pad(formatValue(c, c.defaultValue), widths[5]) +
                          pad(isGreyed(c.name) ? "yes" : "no", widths[6]) + joinChoices(c);
        while (!row.empty() && row.back() == ' ') row.pop_back();
        out << row << "\n";
    }
    out << "Greyed out at the defaults: ";
    if (greyed.empty()) out << "none";
    for (std::size_t i = 0; i < greyed.size(); ++i) out << (i ? ", " : "") << greyed[i];
    out << "\n";
}

}  // namespace vblind
