// What the frei0r tests share: the built plug-in opened with dlopen as a host opens it, test
// pictures made in code, a scratch folder, and the renderer's frame for the same settings.
#pragma once

#include "ImageIO.h"
#include "Notes.h"

extern "C" {
#include <frei0r.h>
}

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vfrei0r::testing {

namespace fs = std::filesystem;

// The ten functions of a frei0r plug-in, looked up by name.
struct Plugin {
    void* handle = nullptr;
    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_deinit) deinit = nullptr;
    decltype(&f0r_get_plugin_info) pluginInfo = nullptr;
    decltype(&f0r_get_param_info) paramInfo = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) setParam = nullptr;
    decltype(&f0r_get_param_value) getParam = nullptr;
    decltype(&f0r_update) update = nullptr;
    decltype(&f0r_update2) update2 = nullptr;

    Plugin() {
        handle = dlopen(VELMOR_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        auto get = [&](auto& fn, const char* name) { fn = reinterpret_cast<std::decay_t<decltype(fn)>>(dlsym(handle, name)); };
        get(init, "f0r_init");
        get(deinit, "f0r_deinit");
        get(pluginInfo, "f0r_get_plugin_info");
        get(paramInfo, "f0r_get_param_info");
        get(construct, "f0r_construct");
        get(destruct, "f0r_destruct");
        get(setParam, "f0r_set_param_value");
        get(getParam, "f0r_get_param_value");
        get(update, "f0r_update");
        get(update2, "f0r_update2");
    }
    bool complete() const {
        return handle && init && deinit && pluginInfo && paramInfo && construct && destruct && setParam &&
               getParam && update && update2;
    }

    int paramIndex(const std::string& name) const {
        f0r_plugin_info_t info{};
        pluginInfo(&info);
        for (int i = 0; i < info.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            if (p.name && name == p.name) return i;
        }
        ADD_FAILURE() << "the plug-in has no parameter " << name;
        return -1;
    }
    void setDouble(f0r_instance_t inst, const std::string& name, double v) const { setParam(inst, &v, paramIndex(name)); }
    void setString(f0r_instance_t inst, const std::string& name, const char* text) const {
        setParam(inst, &text, paramIndex(name));
    }
    double getDouble(f0r_instance_t inst, const std::string& name) const {
        double v = -1;
        getParam(inst, &v, paramIndex(name));
        return v;
    }
    std::string getString(f0r_instance_t inst, const std::string& name) const {
        char* text = nullptr;
        getParam(inst, &text, paramIndex(name));
        return text ? text : "(null)";
    }
};

// A frame as frei0r holds it: RGBA bytes, rows unpadded.
struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    Frame(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}
    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(pixels.data()); }
    const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(pixels.data()); }
    bool operator==(const Frame& o) const { return width == o.width && height == o.height && pixels == o.pixels; }
};

// Busy pictures with soft and hard alpha, so that band edges, sampling and compositing all show.
inline Frame picture(int w, int h, int seed) {
    Frame f(w, h);
    std::mt19937 rng(static_cast<unsigned>(seed));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = f.bytes() + (static_cast<std::size_t>(y) * w + x) * 4;
            p[0] = static_cast<std::uint8_t>(x * 255 / (w - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / (h - 1));
            p[2] = static_cast<std::uint8_t>(rng() & 0xFF);
            p[3] = static_cast<std::uint8_t>(seed % 2 ? 255 : ((x + y) % 7 == 0 ? 0 : 128 + (x * 5) % 128));
        }
    return f;
}

inline void writePng(const Frame& f, const fs::path& path) {
    vhost::Image image(f.width, f.height, vhost::Depth::Bits8);
    for (std::size_t i = 0; i < f.pixels.size(); ++i) {
        const std::uint8_t* s = f.bytes() + i * 4;
        image.pixels<PF_Pixel>()[i] = PF_Pixel{s[3], s[0], s[1], s[2]};
    }
    std::ostringstream ignored;
    vblind::Notes notes(ignored);
    vblind::writeImage(path.string(), image, notes);
}

inline Frame readPng(const fs::path& path) {
    const vhost::Image image = vblind::readImage(path.string(), vhost::Depth::Bits8).image;
    Frame f(image.width, image.height);
    for (std::size_t i = 0; i < f.pixels.size(); ++i) {
        const PF_Pixel& p = image.pixels<PF_Pixel>()[i];
        std::uint8_t* d = f.bytes() + i * 4;
        d[0] = p.red, d[1] = p.green, d[2] = p.blue, d[3] = p.alpha;
    }
    return f;
}

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct ShellRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

// Runs a shell command; its output is kept for failure messages.
inline ShellRun shell(const std::string& command, const fs::path& scratch) {
    const fs::path log = scratch / ".output";
    const int raw = std::system((command + " >" + quote(log.string()) + " 2>&1 </dev/null").c_str());
    ShellRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(log);
    std::ostringstream s;
    s << in.rdbuf();
    r.output = s.str();
    return r;
}

inline bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A scratch folder per test, unique per run.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velmorblind-frei0r-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                "-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    // The renderer's frames, `velmorblind render in1 --under in2` with these --set arguments, one
    // per Completion value (keyed on frames 0, 1, ...: one run of the program for them all).
    std::vector<Frame> rendererFrames(const fs::path& in1, const std::string& in2, const std::vector<std::string>& sets,
                                      const std::vector<std::string>& completions, bool draft = false) {
        std::string keys;
        for (std::size_t i = 0; i < completions.size(); ++i)
            keys += (i ? "," : "") + completions[i] + "@" + std::to_string(i);
        std::string cmd = quote(VELMORBLIND_EXE) + " render " + quote(in1.string()) + " --under " + quote(in2) +
                          " -o " + quote((dir_ / "renderer_%d.png").string()) + " --frames 0-" +
                          std::to_string(completions.size() - 1) + " --key " + quote("Completion=" + keys);
        for (const std::string& s : sets) cmd += " --set " + quote(s);
        if (draft) cmd += " --quality draft";
        const ShellRun r = shell(cmd, dir_);
        EXPECT_EQ(r.status, 0) << cmd << "\n" << r.output;
        std::vector<Frame> frames;
        for (std::size_t i = 0; i < completions.size(); ++i) {
            const fs::path out = dir_ / ("renderer_" + std::to_string(i) + ".png");
            frames.push_back(readPng(out));
            fs::remove(out);
        }
        return frames;
    }

    fs::path dir_;
};

}  // namespace vfrei0r::testing
