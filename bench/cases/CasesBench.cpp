// The named speed cases of scripts/bench.sh, each measured next to its baseline in the same run:
// every repetition runs every case once, round robin, so that a busy machine slows cases and
// baselines alike; the median of the repetitions is reported. One 1920 x 1080 frame unless the
// name says otherwise; all the host's worker threads (default 2) unless it ends in /t1.
//
//   pass/*   the Blind filter alone (FilterMulti over host worlds, module code linked in)
//   frame/*  the whole frame through the module loaded from disk by the stand-in host
//   frei0r/* one f0r_update2 of the frei0r plug-in (velmorblind.so, loaded as a host loads it: its
//            own copy of the stand-in host and its own threads, as many as the machine's cores)
//            at progress 0.5, both inputs opaque frames made from the bench picture, default
//            controls unless named
//   mem/*    (with --memory, in a process of its own) peak resident memory of one render;
//            mem/*/render (with --memory-render) that of the whole renderer's process
//
// Output: one line per case, tab-separated: name, median ms, baseline name, baseline ms. A
// baseline that is another case refers to that case's median in the same run.
#include "BenchPicture.h"
#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Render.h"
#include "WorkerPool.h"
#include "Worlds.h"

#include "VelmorBlind.h"
#include "VelmorFilterMulti.h"
#include "VelmorLayer.h"
#include "VelmorParams.h"

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kDegree = 0.017453292519943295;

PF_Err idle(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) { return PF_Err_NONE; }

int bpcOf(vhost::Depth depth) {
    return depth == vhost::Depth::Bits8 ? 0 : (depth == vhost::Depth::Bits16 ? 1 : 2);
}

// The controls every case shares: bands of Width 24 at 30 degrees, Delay 30 %, mid-transition,
// closing from both edges, Outside Mirror, cubic easing, in normal order.
struct Look {
    int state = Velmor::Blind::Still;
    double width = 24.0;
    int order = Velmor::Blind::Normal;
    bool aa = true;
};

double seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Bench {
    vhost::Host host;
    std::shared_ptr<vhost::Module> module;
    std::unique_ptr<vhost::Effect> effect;    // the module from disk, for frames
    std::unique_ptr<vhost::Effect> inProc;    // an idle instance whose PF_InData the filter uses
    std::unique_ptr<vhost::Effect> defaults;  // the module at its default controls (pluginPass)
    PF_InData in{};
    PF_OutData out{};
    int threads;
    std::map<vhost::Depth, vhost::Image> images;
    vhost::Image result;  // kept from frame to frame, as a renderer writing a sequence does
    std::map<vhost::Depth, std::pair<PF_EffectWorld, PF_EffectWorld>> worlds;

    explicit Bench(int t) : threads(t) {
        std::string error;
        module = vhost::Module::load(VELMOR_MODULE, error);
        if (!module) throw std::runtime_error("cannot load the module: " + error);
        effect = std::make_unique<vhost::Effect>(host, module);
        if (effect->globalSetup() || effect->paramsSetup()) throw std::runtime_error("set-up failed");
        inProc = std::make_unique<vhost::Effect>(host, vhost::Module::fromEntryPoint(&idle));
        in = inProc->makeInData();
        for (vhost::Depth depth : {vhost::Depth::Bits8, vhost::Depth::Bits16, vhost::Depth::Float32}) {
            images.emplace(depth, benchPicture(kWidth, kHeight, depth));
            auto& [src, dst] = worlds[depth];
            if (vhost::createWorld(kWidth, kHeight, depth, false, &src) ||
                vhost::createWorld(kWidth, kHeight, depth, false, &dst))
                throw std::runtime_error("no worlds");
            vhost::imageToWorld(images.at(depth), 0, 0, &src);
        }
    }
    ~Bench() {
        for (auto& [depth, pair] : worlds) {
            vhost::destroyWorld(&pair.first);
            vhost::destroyWorld(&pair.second);
        }
        inProc.reset();
        defaults.reset();
        effect.reset();
    }

    void useThreads(int t) {
        if (host.threadCount() != t) {
            host.setThreadCount(t);
            // A first job on the new pool that every worker takes part in, so that starting its
            // threads is not timed.
            std::atomic<int> arrived{0};
            host.pool().run(t, [&](int, int) {
                ++arrived;
                while (arrived.load() < t) std::this_thread::yield();
            });
        }
    }

    double pass(vhost::Depth depth, Look look, int t) {
        useThreads(t);
        auto& [src, dst] = worlds.at(depth);
        Velmor::Layer a(&in, &out, &src, bpcOf(depth)), b(&in, &out, &dst, bpcOf(depth));
        Velmor::Blind::Parameter p;
        p.setInData(&in)
            .setLayerRect(PF_LRect{0, 0, kWidth, kHeight})
            .setIsAA(look.aa)
            .setMode(2)
            .setCompletion(0.5)
            .setDelay(0.3)
            .setWidth(look.width)
            .setDirection(30.0 * kDegree)
            .setOffset(15.0 / 360.0)
            .setOrder(look.order)
            .setSeed(5)
            .setEasingType(3)
            .setState(look.state)
            .setBorderType(4);
        return seconds([&] {
            if (Velmor::FilterMulti<Velmor::Blind>(&in, a, b, p)) throw std::runtime_error("filter failed");
        });
    }

    double copy(vhost::Depth depth) {
        useThreads(threads);
        auto& [src, dst] = worlds.at(depth);
        return seconds([&] {
            if (in.utils->copy(in.effect_ref, &src, &dst, nullptr, nullptr))
                throw std::runtime_error("copy failed");
        });
    }

    // The module's Move pass as the frei0r plug-in asks for it (the module's default controls, Mode
    // Both, State Move, Completion 50 %), through the host's unchecked path with the output read
    // in place: frei0r/update/8/move less its frame conversions and composite.
    double pluginPass(int t) {
        if (!defaults) {
            defaults = std::make_unique<vhost::Effect>(host, module);
            if (defaults->globalSetup() || defaults->paramsSetup()) throw std::runtime_error("set-up failed");
            defaults->setValue(PARAM_MODE, 2);
            defaults->setValue(PARAM_STATE, Velmor::Blind::Move);
            defaults->setValue(PARAM_COMPLETION, 50);
        }
        vhost::RenderOptions options;
        options.threads = t;
        options.checked = false;
        options.readOutput = [](const PF_EffectWorld&) {};
        useThreads(t);
        vhost::Image unused;
        return seconds([&] {
            if (vhost::renderFrame(*defaults, images.at(vhost::Depth::Bits8), unused, options))
                throw std::runtime_error("render failed");
        });
    }

    double frame(vhost::Depth depth, double completion, Look look, int t) {
        const std::pair<int, double> controls[] = {
            {PARAM_MODE, 2},    {PARAM_STATE, look.state},     {PARAM_OUTSIDE, 4},
            {PARAM_DELAY, 30},  {PARAM_WIDTH, look.width},     {PARAM_DIRECTION, 30},
            {PARAM_OFFSET, 15}, {PARAM_ORDER, look.order},     {PARAM_SEED, 5},
            {PARAM_EASING, 3},  {PARAM_COMPLETION, completion}};
        for (const auto& [index, value] : controls) effect->setValue(index, value);
        vhost::RenderOptions options;
        options.threads = t;
        useThreads(t);  // a changed count makes a new pool: not part of the frame's time
        return seconds([&] {
            if (vhost::renderFrame(*effect, images.at(depth), result, options))
                throw std::runtime_error("render failed");
        });
    }
};

// The frei0r plug-in as a host drives it, through the entry points it exports.
class Frei0rPlugin {
public:
    explicit Frei0rPlugin(const char* path) : lib_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (!lib_) throw std::runtime_error(std::string("cannot load the frei0r plug-in: ") + dlerror());
        init_ = symbol<int (*)()>("f0r_init");
        construct_ = symbol<void* (*)(unsigned, unsigned)>("f0r_construct");
        destruct_ = symbol<void (*)(void*)>("f0r_destruct");
        set_ = symbol<void (*)(void*, void*, int)>("f0r_set_param_value");
        info_ = symbol<void (*)(ParamInfo*, int)>("f0r_get_param_info");
        update2_ = symbol<void (*)(void*, double, const std::uint32_t*, const std::uint32_t*,
                                   const std::uint32_t*, std::uint32_t*)>("f0r_update2");
        init_();
    }
    Frei0rPlugin(const Frei0rPlugin&) = delete;
    Frei0rPlugin& operator=(const Frei0rPlugin&) = delete;
    ~Frei0rPlugin() {
        for (void* instance : instances_) destruct_(instance);
        // The library stays mapped (it is linked -z nodelete): its threads outlive dlclose.
    }

    // An instance of w x h with string parameters set by name ("state" = "Move") and progress 0.5.
    void* instance(int w, int h, const std::vector<std::pair<std::string, std::string>>& choices) {
        void* instance = construct_(static_cast<unsigned>(w), static_cast<unsigned>(h));
        if (!instance) throw std::runtime_error("f0r_construct failed");
        instances_.push_back(instance);
        for (int i = 0; i < 32; ++i) {
            ParamInfo info{};
            info_(&info, i);
            if (!info.name) continue;
            if (std::string(info.name) == "progress") {
                double half = 0.5;
                set_(instance, &half, i);
            }
            for (const auto& [name, value] : choices)
                if (name == info.name) {
                    const char* text = value.c_str();
                    set_(instance, &text, i);
                }
        }
        return instance;
    }

    void update(void* instance, const std::uint32_t* a, const std::uint32_t* b, std::uint32_t* out) {
        update2_(instance, 0.5, a, b, nullptr, out);
    }

private:
    struct ParamInfo {  // f0r_param_info_t
        const char* name;
        int type;
        const char* explanation;
    };
    template <typename F>
    F symbol(const char* name) {
        void* f = dlsym(lib_, name);
        if (!f) throw std::runtime_error(std::string("the frei0r plug-in lacks ") + name);
        return reinterpret_cast<F>(f);
    }
    void* lib_;
    int (*init_)();
    void* (*construct_)(unsigned, unsigned);
    void (*destruct_)(void*);
    void (*set_)(void*, void*, int);
    void (*info_)(ParamInfo*, int);
    void (*update2_)(void*, double, const std::uint32_t*, const std::uint32_t*, const std::uint32_t*,
                     std::uint32_t*);
    std::vector<void*> instances_;
};

// Two frei0r frames (RGBA8888) made from the bench picture, opaque as video frames are, and one for
// the result.
struct Frei0rFrames {
    std::vector<std::uint32_t> a, b, out;
    explicit Frei0rFrames(const vhost::Image& picture)
        : a(picture.bytes.size() / 4), b(a.size()), out(a.size()) {
        const auto* p = picture.pixels<PF_Pixel>();
        for (std::size_t i = 0; i < a.size(); ++i) {
            const std::uint8_t rgba[4] = {p[i].red, p[i].green, p[i].blue, 255};
            std::memcpy(&a[i], rgba, 4);
            const std::uint8_t other[4] = {p[i].blue, p[i].red, p[i].green, 255};
            std::memcpy(&b[i], other, 4);
        }
    }
};

struct Case {
    std::string name;
    std::string baseline;
    std::function<double()> run;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// One 4000 x 4000 8-bit frame through the host, Width 1, Shrink, on all threads: the process's
// peak resident memory against four frames plus 64 MB.
int memory() {
    constexpr int side = 4000;
    vhost::Host host;
    std::string error;
    auto module = vhost::Module::load(VELMOR_MODULE, error);
    if (!module) {
        std::fprintf(stderr, "cannot load the module: %s\n", error.c_str());
        return 1;
    }
    vhost::Effect effect(host, module);
    if (effect.globalSetup() || effect.paramsSetup()) return 1;
    const std::pair<int, double> controls[] = {
        {PARAM_WIDTH, 1}, {PARAM_STATE, 3}, {PARAM_COMPLETION, 50}, {PARAM_DELAY, 30}};
    for (const auto& [index, value] : controls) effect.setValue(index, value);
    vhost::Image input = benchPicture(side, side, vhost::Depth::Bits8), result;
    if (vhost::renderFrame(effect, input, result)) return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double frame = static_cast<double>(side) * side * 4 / 1e6;
    std::printf("mem/4000/8\t%.1f\t4 frames + 64 MB\t%.1f\n", usage.ru_maxrss / 1000.0, 4 * frame + 64.0);
    return 0;
}

// Runs a program to its end; its peak resident memory in MB, or a negative number when it failed.
double childPeakMB(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss / 1000.0;
}

// The whole renderer on the same 4000 x 4000 frame: `velmorblind render big.png -o out.png`, Width
// 1, Shrink, the peak resident memory of its process. The picture is made first (as a PPM, then
// turned into a PNG by the renderer at Completion 0) in `dir`.
int memoryRender(const std::string& tool, const std::string& dir) {
    constexpr int side = 4000;
    const vhost::Image picture = benchPicture(side, side, vhost::Depth::Bits8);
    const std::string ppm = dir + "/big.ppm", png = dir + "/big.png", out = dir + "/out.png";
    if (FILE* f = std::fopen(ppm.c_str(), "wb")) {
        std::fprintf(f, "P6\n%d %d\n255\n", side, side);
        std::vector<unsigned char> row(static_cast<std::size_t>(side) * 3);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const PF_Pixel& p = picture.at<PF_Pixel>(x, y);
                row[3 * x] = p.red;
                row[3 * x + 1] = p.green;
                row[3 * x + 2] = p.blue;
            }
            std::fwrite(row.data(), 1, row.size(), f);
        }
        if (std::fclose(f) != 0) return 1;
    } else {
        return 1;
    }
    if (childPeakMB({tool, "render", ppm, "-o", png, "--quiet"}) < 0) return 1;
    const double peak = childPeakMB({tool, "render", png, "-o", out, "--quiet", "--set", "Width=1", "--set",
                                     "State=Shrink", "--set", "Completion=50", "--set", "Delay=30"});
    if (peak < 0) {
        std::fprintf(stderr, "velmor_bench: the renderer failed\n");
        return 1;
    }
    const double frame = static_cast<double>(side) * side * 4 / 1e6;
    std::printf("mem/4000/8/render\t%.1f\t4 frames + 64 MB\t%.1f\n", peak, 4 * frame + 64.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    int threads = 2;
    int slices = 0;
    std::string only;  // a prefix of the case names to run, with their baselines
#ifdef VELMOR_FREI0R
    std::string frei0rPath = VELMOR_FREI0R;
#else
    std::string frei0rPath;
#endif
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--memory")) return memory();
        if (!std::strcmp(argv[i], "--memory-render") && i + 2 < argc)
            return memoryRender(argv[i + 1], argv[i + 2]);
        if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--slices") && i + 1 < argc)
            slices = std::atoi(argv[++i]);  // slices per thread; 0: the host's default
        else if (!std::strcmp(argv[i], "--frei0r") && i + 1 < argc)
            frei0rPath = argv[++i];  // another build's plug-in, to compare with
        else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr,
                         "usage: %s [--reps N] [--threads N] [--only PREFIX] [--slices N] [--frei0r PLUGIN] "
                         "| --memory | --memory-render TOOL DIR\n",
                         argv[0]);
            return 2;
        }
    }
    try {
        Bench b(threads);
        b.host.setSlicesPerThread(slices);
        using vhost::Depth;
        const int t = threads;
        Look still, move, shrink, w2, w200, random;
        move.state = Velmor::Blind::Move;
        shrink.state = Velmor::Blind::Shrink;
        w2.width = 2;
        w200.width = 200;
        random.state = Velmor::Blind::Move;
        random.order = Velmor::Blind::RandomOrder;
        std::vector<Case> all = {
            {"pass/copy/8", "", [&] { return b.copy(Depth::Bits8); }},
            {"pass/copy/16", "", [&] { return b.copy(Depth::Bits16); }},
            {"pass/copy/float", "", [&] { return b.copy(Depth::Float32); }},
            {"pass/still/8", "pass/copy/8", [&] { return b.pass(Depth::Bits8, still, t); }},
            {"pass/still/16", "pass/copy/16", [&] { return b.pass(Depth::Bits16, still, t); }},
            {"pass/still/float", "pass/copy/float", [&] { return b.pass(Depth::Float32, still, t); }},
            {"pass/move/8", "pass/copy/8", [&] { return b.pass(Depth::Bits8, move, t); }},
            {"pass/shrink/8", "pass/copy/8", [&] { return b.pass(Depth::Bits8, shrink, t); }},
            {"pass/move/8/random", "pass/copy/8", [&] { return b.pass(Depth::Bits8, random, t); }},
            {"pass/still/8/w200", "pass/copy/8", [&] { return b.pass(Depth::Bits8, w200, t); }},
            {"pass/still/8/w2", "pass/still/8/w200", [&] { return b.pass(Depth::Bits8, w2, t); }},
            {"pass/still/8/t1", "pass/still/8", [&] { return b.pass(Depth::Bits8, still, 1); }},
            {"pass/move/8/t1", "pass/move/8", [&] { return b.pass(Depth::Bits8, move, 1); }},
            {"frame/copy/8", "pass/copy/8", [&] { return b.frame(Depth::Bits8, 0, still, t); }},
            {"frame/move/8", "pass/move/8", [&] { return b.frame(Depth::Bits8, 50, move, t); }},
            {"frame/copy/8/t1", "frame/copy/8", [&] { return b.frame(Depth::Bits8, 0, still, 1); }},
            {"frame/move/8/t1", "frame/move/8", [&] { return b.frame(Depth::Bits8, 50, move, 1); }},
            {"frame/move/8/plugin", "pass/move/8", [&] { return b.pluginPass(t); }},
        };
        std::unique_ptr<Frei0rPlugin> frei0r;
        std::unique_ptr<Frei0rFrames> frames;
        void *still0r = nullptr, *move0r = nullptr;
        if (!frei0rPath.empty() &&
            (only.empty() || std::string("frei0r/").compare(0, only.size(), only) == 0 ||
             only.compare(0, 7, "frei0r/") == 0)) {
            frei0r = std::make_unique<Frei0rPlugin>(frei0rPath.c_str());
            frames = std::make_unique<Frei0rFrames>(b.images.at(Depth::Bits8));
            still0r = frei0r->instance(kWidth, kHeight, {});
            move0r = frei0r->instance(kWidth, kHeight, {{"mode", "Both"}, {"state", "Move"}});
            all.push_back({"frei0r/update/8", "pass/copy/8", [&] {
                               return seconds([&] {
                                   frei0r->update(still0r, frames->a.data(), frames->b.data(),
                                                  frames->out.data());
                               });
                           }});
            all.push_back({"frei0r/update/8/move", "pass/move/8", [&] {
                               return seconds([&] {
                                   frei0r->update(move0r, frames->a.data(), frames->b.data(),
                                                  frames->out.data());
                               });
                           }});
        }
        // The cases asked for and, before them, the baselines they need.
        std::vector<Case> cases;
        std::function<void(const std::string&)> want = [&](const std::string& name) {
            for (const Case& c : cases)
                if (c.name == name) return;
            for (const Case& c : all)
                if (c.name == name) {
                    if (!c.baseline.empty()) want(c.baseline);
                    cases.push_back(c);
                }
        };
        for (const Case& c : all)
            if (c.name.compare(0, only.size(), only) == 0) want(c.name);
        std::map<std::string, std::vector<double>> samples;
        for (const Case& c : cases)  // one round to warm caches and the pool
            c.run();
        for (int r = 0; r < reps; ++r)
            for (const Case& c : cases) samples[c.name].push_back(c.run() * 1000.0);
        for (const Case& c : cases) {
            const double ms = median(samples[c.name]);
            const double base = c.baseline.empty() ? 0.0 : median(samples[c.baseline]);
            std::printf("%s\t%.3f\t%s\t%.3f\n", c.name.c_str(), ms,
                        c.baseline.empty() ? "-" : c.baseline.c_str(), base);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmor_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
