// velmor_matrix: loads the VelmorBlind module that sits beside it through the stand-in host, checks
// the property list the host read from the file, and renders a fixed matrix of synthetic frames,
// printing one line per frame with its settings and the FNV-1a 64 checksum of the output bytes.
//
// The same program is built for every platform the module is built for; two builds that print the
// same lines have read the same property list and rendered the same pixels. Everything printed is
// made from integers and fixed strings (no floating-point formatting), so the C library that
// formats numbers cannot make two platforms' lines differ.
//
//     velmor_matrix                    the module beside the program
//     velmor_matrix --module FILE      another module file
//     velmor_matrix --pipl FILE        print the property list bytes the host reads from FILE, in hex
//
// Exit status: 0 when the module loaded, its property list is the expected one and every frame
// rendered; 1 otherwise (the lines say what failed); 2 for a bad command line.
#include "Checksum.h"
#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "ModuleFile.h"
#include "Render.h"
#include "Session.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// ---- formatting ------------------------------------------------------------------------------

std::string hex64(std::uint64_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = digits[v & 15];
    return s;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

// Control characters shown as \r, \n or \xNN so that one record stays on one line.
std::string visible(const std::string& text) {
    std::string s;
    for (unsigned char c : text) {
        if (c == '\r')
            s += "\\r";
        else if (c == '\n')
            s += "\\n";
        else if (c < 0x20 || c >= 0x7F)
            s += "\\x" + hexBytes({c});
        else
            s += static_cast<char>(c);
    }
    return s;
}

// A control's name without its blanks ("Easing Mode" -> "EasingMode"): one word per setting.
std::string compact(const char* name) {
    std::string s;
    for (const char* c = name; *c; ++c)
        if (*c != ' ') s += *c;
    return s;
}

void line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
}

// ---- the controls --------------------------------------------------------------------------------

// A control value and the text printed for it (the value is never formatted). A popup's choice
// is given by its name alone: its value is its place among the choices the module declares.
struct Choice {
    const char* label;
    double value = 0;
};

const Choice kModes[] = {{"One"}, {"Both"}};
const Choice kStates[] = {{"Still"}, {"Move"}, {"Shrink"}};
const Choice kOutsides[] = {{"Void"}, {"Edge"}, {"Tile"}, {"Mirror"}};
const Choice kQualities[] = {{"Best", AEGP_LayerQual_BEST}, {"Draft", AEGP_LayerQual_DRAFT}};
// 8.23, 62.53 and 82.17 degrees are angles whose sine or cosine differs in the last bit between
// glibc and mingw-w64's libm (the host's ANSI table is the C library's).
const Choice kDirections[] = {{"0", 0},   {"8.23", 8.23}, {"30", 30},   {"62.53", 62.53}, {"82.17", 82.17},
                              {"90", 90}, {"135", 135},   {"200", 200}, {"271.5", 271.5}, {"333.25", 333.25}};
const Choice kOffsets[] = {{"0", 0}, {"17", 17}, {"90", 90}, {"250.5", 250.5}};
const Choice kWidths[] = {{"1", 1}, {"2.5", 2.5}, {"7", 7}, {"12.75", 12.75}, {"40", 40}};
const Choice kDelays[] = {{"0", 0}, {"10", 10}, {"35", 35}, {"80", 80}, {"100", 100}};
const Choice kOrders[] = {{"Normal"}, {"Inverse"}, {"Random"}};
const Choice kSeeds[] = {{"0", 0}, {"7", 7}, {"1234", 1234}};
const Choice kEasings[] = {{"Linear"}, {"Quad"}, {"Cubic"}, {"Quart"}, {"Quint"},
                           {"Expo"},   {"Circ"}, {"Sine"},  {"Bounce"}};
const Choice kEasingModes[] = {{"In"}, {"Out"}, {"InOut"}};
const Choice kCompletions[] = {{"0", 0},       {"3", 3},   {"25", 25},     {"50", 50},
                               {"62.5", 62.5}, {"90", 90}, {"99.5", 99.5}, {"100", 100}};
const int kDownsamples[] = {1, 1, 1, 2};
constexpr int kRepeats = 4;

// A fixed 64-bit linear congruential sequence (Knuth's MMIX constants): the same picks on every
// platform, unlike the standard library's distributions.
class Picker {
public:
    explicit Picker(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    template <typename T, std::size_t N>
    const T& pick(const T (&list)[N]) {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return list[(state_ >> 33) % N];
    }

private:
    std::uint64_t state_;
};

// ---- the input -----------------------------------------------------------------------------------

constexpr int kImageWidth = 101;
constexpr int kImageHeight = 67;

// An 8-bit channel value of the picture: gradients in colour, a diagonal ramp in alpha with a few
// fully transparent and fully opaque stretches, so blends, seams and alpha scaling all show.
int picture(int x, int y, int channel) {
    switch (channel) {
        case 0: {
            const int a = (x * 5 + y * 3) % 300;
            return a < 20 ? 0 : a > 255 ? 255 : a;
        }
        case 1: return (x * 255) / (kImageWidth - 1);
        case 2: return (y * 255) / (kImageHeight - 1);
        default: return ((x ^ y) * 37 + 11) & 255;
    }
}

template <typename Pixel, typename Convert>
vhost::Image makeImage(vhost::Depth depth, Convert convert) {
    vhost::Image image(kImageWidth, kImageHeight, depth);
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            Pixel& p = image.at<Pixel>(x, y);
            p.alpha = convert(picture(x, y, 0), x, y);
            p.red = convert(picture(x, y, 1), x, y);
            p.green = convert(picture(x, y, 2), x, y);
            p.blue = convert(picture(x, y, 3), x, y);
        }
    return image;
}

vhost::Image makeInput(vhost::Depth depth) {
    switch (depth) {
        case vhost::Depth::Bits8:
            return makeImage<PF_Pixel>(depth, [](int v, int, int) { return static_cast<A_u_char>(v); });
        case vhost::Depth::Bits16:
            // 16-bit full scale is 32768; the odd offset keeps values off the 8-bit grid.
            return makeImage<PF_Pixel16>(depth, [](int v, int x, int) {
                return static_cast<A_u_short>(v * 128 + (v > 0 && v < 255 ? (x % 97) : 0));
            });
        case vhost::Depth::Float32:
            // Float frames may hold values beyond the nominal range; a few pixels do.
            return makeImage<PF_PixelFloat>(depth, [](int v, int x, int y) {
                if ((x * 7 + y * 13) % 53 == 0) return 1.25f;
                return static_cast<float>(v) / 255.0f;
            });
    }
    return {};
}

// ---- the property list ---------------------------------------------------------------------------

// The identity the module must declare, as a host checks it before running any of its code.
bool checkPipl(const vhost::Pipl& pipl) {
    bool ok = true;
    auto expect = [&](const char* what, const std::string& got, const std::string& want) {
        if (got != want) {
            line(std::string("pipl MISMATCH ") + what + ": \"" + visible(got) + "\", expected \"" + want +
                 "\"");
            ok = false;
        }
    };
    auto hex32 = [](std::uint32_t v) { return hex64(v).substr(8); };
    auto word = [&](const std::optional<std::uint32_t>& v) { return v ? hex32(*v) : "none"; };
    auto pair = [](const std::optional<vhost::PiplVersionPair>& v) {
        return v ? std::to_string(v->major) + "." + std::to_string(v->minor) : std::string("none");
    };
    expect("kind", pipl.kind, "eFKT");
    expect("name", pipl.name, "VelmorBlind");
    expect("category", pipl.category, "Velmor");
    expect("match name", pipl.matchName, "VelmorBlind by Tavelinor");
    expect("entry point", pipl.entryPoint, "EntryPointFunc");
    expect("list version", pair(pipl.piplVersion), "2.0");
    expect("API version", pair(pipl.apiVersion), "13.0");
    expect("version", word(pipl.version), hex32(PF_VERSION(1, 3, 0, PF_Stage_RELEASE, 1)));
    expect("info flags", word(pipl.infoFlags), "00000000");
    expect("out flags", word(pipl.outFlags),
           hex32(PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI));
    expect("out flags 2", word(pipl.outFlags2),
           hex32(PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE));
    expect("reserved info", word(pipl.reservedInfo), "00000008");
    expect("code entry key", pipl.find(vhost::kPiplCodeEntryKey) ? "present" : "missing", "present");
    return ok;
}

#if defined(_WIN32)
// The property list as Windows' own resource loader finds it (the file mapped as data: none of
// its code runs), or nullopt when the loader finds none.
std::optional<std::vector<std::uint8_t>> piplFromSystemLoader(const std::filesystem::path& file) {
    HMODULE data = ::LoadLibraryExW(file.wstring().c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!data) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> bytes;
    if (HRSRC found = ::FindResourceExW(data, L"PIPL", MAKEINTRESOURCEW(vhost::kPiplResourceId),
                                        static_cast<WORD>(vhost::kPiplResourceLanguage))) {
        const DWORD size = ::SizeofResource(data, found);
        HGLOBAL loaded = ::LoadResource(data, found);
        const auto* p = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
        if (p) bytes.emplace(p, p + size);
    }
    ::FreeLibrary(data);
    return bytes;
}
#endif

// ---- the frames ------------------------------------------------------------------------------------

// A control is named as the module declares it; the host finds its index.
struct Setting {
    const char* control;
    Choice choice;
};

// The four input pictures' depths, in the order the matrix walks them.
const vhost::Depth kDepths[] = {vhost::Depth::Bits8, vhost::Depth::Bits16, vhost::Depth::Float32};
constexpr int kDepthCount = 3;

// Reads the property list from the file as a host does before loading it, and prints its size and
// checksum. False (with the line saying why) when it cannot be read.
bool reportPipl(const std::filesystem::path& modulePath) {
    std::string error;
    auto bytes = vhost::readPiplBytes(modulePath, error);
    if (!bytes) {
        line("pipl ERROR " + visible(error));
        return false;
    }
    line("pipl " + std::to_string(bytes->size()) +
         " bytes fnv1a64=" + hex64(vhost::fnv1a64(bytes->data(), bytes->size())));
#if defined(_WIN32)
    // The host's own reader and the system's must find the same bytes. Said only when they do
    // not, so that the lines stay those of every platform.
    if (piplFromSystemLoader(modulePath) != bytes) {
        line("pipl MISMATCH the system's resource loader finds other bytes (or none)");
        return false;
    }
#endif
    return true;
}

void reportVersion(const vhost::Module& module) {
    const vhost::EffectVersion v = vhost::decodeEffectVersion(module.pipl().version.value_or(0));
    line("module " + module.pipl().name + " " + std::to_string(v.major) + "." + std::to_string(v.minor) +
         "." + std::to_string(v.revision) + " stage " + std::to_string(v.stage) + " build " +
         std::to_string(v.build));
}

// ABOUT, GLOBAL_SETUP and PARAMS_SETUP, each printed with its result; false when set-up failed.
bool setUpEffect(vhost::Effect& effect) {
    std::string about;
    const PF_Err aboutErr = effect.about(about);
    line("about " + std::to_string(aboutErr) + " \"" + visible(about) + "\"");
    const PF_Err setupErr = effect.globalSetup();
    const PF_Err paramsErr = effect.paramsSetup();
    line("setup " + std::to_string(setupErr) + " params " + std::to_string(paramsErr) + " count " +
         std::to_string(effect.declaredParamCount()));
    return !setupErr && !paramsErr;
}

// Sets one control and appends "Name=label" to the frame's line, or why the host refused it.
bool applySetting(vhost::Effect& effect, const Setting& setting, std::string& text) {
    const int index = effect.findParam(setting.control);
    if (index < 0) {
        text += " " + compact(setting.control) + "=" + setting.choice.label +
                " (refused: the module declares no such control)";
        return false;
    }
    text += " " + compact(effect.definition(index).name) + "=" + setting.choice.label;
    double value = setting.choice.value;
    if (effect.definition(index).param_type == PF_Param_POPUP) {
        const std::vector<std::string> choices = effect.choices(index);
        value = 0;  // not a choice: the host refuses it below
        for (std::size_t i = 0; i < choices.size(); ++i)
            if (choices[i] == setting.choice.label) value = static_cast<double>(i + 1);
    }
    std::string why;
    if (!effect.setValue(index, value, &why)) {
        text += " (refused: " + why + ")";
        return false;
    }
    return true;
}

// Renders one frame of the matrix and prints its line; false when it failed or misbehaved.
bool renderOne(vsession::Session& session, int frame, int depthIndex, const vhost::Image& input,
               const Choice& mode, const Choice& state, const Choice& outside, const Choice& quality) {
    Picker picker(static_cast<std::uint64_t>(frame));
    const Setting settings[] = {
        {"Mode", mode},
        {"State", state},
        {"Outside", outside},
        {"Completion", picker.pick(kCompletions)},
        {"Direction", picker.pick(kDirections)},
        {"Width", picker.pick(kWidths)},
        {"Delay", picker.pick(kDelays)},
        {"Order", picker.pick(kOrders)},
        {"Seed", picker.pick(kSeeds)},
        {"Easing", picker.pick(kEasings)},
        {"Easing Mode", picker.pick(kEasingModes)},
        {"Offset", picker.pick(kOffsets)},
    };
    const int downsample = picker.pick(kDownsamples);

    std::string text = std::to_string(frame);
    while (text.size() < 3) text.insert(text.begin(), '0');
    text = "frame " + text + " depth=" + vhost::depthLabel(kDepths[depthIndex]);
    bool set = true;
    for (const Setting& s : settings) set = applySetting(session.effect(), s, text) && set;
    text += std::string(" quality=") + quality.label + " downsample=" + std::to_string(downsample);

    vhost::RenderOptions options;
    options.quality = static_cast<AEGP_LayerQuality>(quality.value);
    options.downsampleX = options.downsampleY = downsample;
    vhost::Image output;
    vsession::RenderCheck check;
    if (set)
        check = session.render(input, output, options);
    else
        check.err = PF_Err_BAD_CALLBACK_PARAM;
    bool ok = true;
    if (check.err || !set) {
        text += " -> ERROR " + std::to_string(check.err);
        ok = false;
    } else {
        text += " -> " + std::to_string(output.width) + "x" + std::to_string(output.height) + " " +
                hex64(vhost::fnv1a64(output.bytes.data(), output.bytes.size()));
        if (!check.outputIntact || !check.inputUnchanged) {
            text += " (wrote outside its output or into its input)";
            ok = false;
        }
    }
    line(text);
    return ok;
}

// Every depth, mode, state, outside mode and quality, kRepeats frames each; the other controls and
// the downsampling are picked per frame from fixed lists by a fixed sequence. Returns the failures.
int renderFrames(vsession::Session& session) {
    vhost::Image inputs[kDepthCount];
    for (int d = 0; d < kDepthCount; ++d) {
        inputs[d] = makeInput(kDepths[d]);
        line(std::string("input depth=") + vhost::depthLabel(kDepths[d]) + " " + std::to_string(kImageWidth) +
             "x" + std::to_string(kImageHeight) +
             " fnv1a64=" + hex64(vhost::fnv1a64(inputs[d].bytes.data(), inputs[d].bytes.size())));
    }
    int frame = 0, failures = 0;
    for (int d = 0; d < kDepthCount; ++d)
        for (const Choice& mode : kModes)
            for (const Choice& state : kStates)
                for (const Choice& outside : kOutsides)
                    for (const Choice& quality : kQualities)
                        for (int repeat = 0; repeat < kRepeats; ++repeat, ++frame)
                            if (!renderOne(session, frame, d, inputs[d], mode, state, outside, quality))
                                ++failures;
    line("frames " + std::to_string(frame) + " failed " + std::to_string(failures));
    return failures;
}

int renderMatrix(const std::filesystem::path& modulePath) {
    if (!reportPipl(modulePath)) return 1;
    std::string error;
    auto module = vhost::Module::load(modulePath, error);
    if (!module) {
        line("load ERROR " + visible(error));
        return 1;
    }
    const bool ok = checkPipl(module->pipl());
    reportVersion(*module);

    // Three worker threads: the slices run concurrently, and the result may not depend on it.
    vsession::Session session(module, vhost::Host::Options{3});
    if (!setUpEffect(session.effect())) return 1;
    const int failures = renderFrames(session);
    // The effect is gone: only what the host itself keeps may remain (faults the module caused
    // during a render among them).
    session.closeEffect();
    const vhost::Ledger& ledger = session.host().ledger();
    const bool balanced = ledger.balanced();
    line(std::string("ledger ") + (balanced ? "balanced" : "UNBALANCED " + visible(ledger.describe())));
    return ok && failures == 0 && balanced ? 0 : 1;
}

int usage() {
    std::fputs("usage: velmor_matrix [--module FILE | --pipl FILE]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path modulePath;
    if (argc == 3 && std::strcmp(argv[1], "--pipl") == 0) {
        std::string error;
        auto bytes = vhost::readPiplBytes(argv[2], error);
        if (!bytes) {
            std::fprintf(stderr, "velmor_matrix: %s\n", error.c_str());
            return 1;
        }
        line(hexBytes(*bytes));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--module") == 0) {
        modulePath = argv[2];
    } else if (argc == 1) {
        const std::string name = vhost::moduleFileName("VelmorBlind");
        auto found = vhost::findModule(name, vhost::defaultModuleDirs());
        if (!found) {
            std::fprintf(stderr, "velmor_matrix: %s is not beside the program\n", name.c_str());
            return 1;
        }
        modulePath = *found;
    } else {
        return usage();
    }
    const int status = renderMatrix(modulePath);
    std::fflush(stdout);
    return status;
}
