// What the frei0r tests share: the built plug-in opened with dlopen as a host opens it, test
// pictures, a scratch folder, and the renderer's frames for the same settings.
#pragma once

#include "ImageIO.h"
#include "Notes.h"
#include "ScratchDir.h"

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
#include <sstream>
#include <string>
#include <vector>

namespace vfrei0r::testing {

namespace fs = std::filesystem;

using Frame = std::vector<std::uint32_t>;  // RGBA bytes, rows unpadded

struct Plugin {
    void* lib = dlopen(VELMOR_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F fn(const char* name) const {
        void* p = lib ? dlsym(lib, name) : nullptr;
        if (!p) ADD_FAILURE() << VELMOR_FREI0R_PLUGIN << " lacks " << name;
        return reinterpret_cast<F>(p);
    }
    decltype(&f0r_init) init = fn<decltype(&f0r_init)>("f0r_init");
    decltype(&f0r_deinit) deinit = fn<decltype(&f0r_deinit)>("f0r_deinit");
    decltype(&f0r_get_plugin_info) pluginInfo = fn<decltype(&f0r_get_plugin_info)>("f0r_get_plugin_info");
    decltype(&f0r_get_param_info) paramInfo = fn<decltype(&f0r_get_param_info)>("f0r_get_param_info");
    decltype(&f0r_construct) construct = fn<decltype(&f0r_construct)>("f0r_construct");
    decltype(&f0r_destruct) destruct = fn<decltype(&f0r_destruct)>("f0r_destruct");
    decltype(&f0r_set_param_value) setParam = fn<decltype(&f0r_set_param_value)>("f0r_set_param_value");
    decltype(&f0r_get_param_value) getParam = fn<decltype(&f0r_get_param_value)>("f0r_get_param_value");
    decltype(&f0r_update) update = fn<decltype(&f0r_update)>("f0r_update");
    decltype(&f0r_update2) update2 = fn<decltype(&f0r_update2)>("f0r_update2");

    int index(const std::string& name) const {
        f0r_plugin_info_t info{};
        pluginInfo(&info);
        for (int i = 0; i < info.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            if (p.name && name == p.name) return i;
        }
        ADD_FAILURE() << "no parameter " << name;
        return -1;
    }
    void set(f0r_instance_t inst, const std::string& name, double v) const {
        setParam(inst, &v, index(name));
    }
    void set(f0r_instance_t inst, const std::string& name, const char* text) const {
        setParam(inst, &text, index(name));
    }
    double number(f0r_instance_t inst, const std::string& name) const {
        double v = -1;
        getParam(inst, &v, index(name));
        return v;
    }
    std::string text(f0r_instance_t inst, const std::string& name) const {
        char* t = nullptr;
        getParam(inst, &t, index(name));
        return t ? t : "(null)";
    }
};

// Busy pictures with soft and hard alpha, so that band edges, sampling and compositing all show.
inline Frame picture(int w, int h, int seed) {
    Frame f(static_cast<std::size_t>(w) * h);
    std::mt19937 rng(static_cast<unsigned>(seed));
    for (std::size_t i = 0; i < f.size(); ++i) {
        const std::uint32_t x = static_cast<std::uint32_t>(i % w), y = static_cast<std::uint32_t>(i / w);
        const std::uint32_t a = seed % 2 ? 255 : (x + y) % 7 == 0 ? 0 : 128 + (x * 5) % 128;
        f[i] = (x * 255 / (w - 1)) | (y * 255 / (h - 1)) << 8 | (rng() & 0xFF) << 16 | a << 24;
    }
    return f;
}

// PNGs through the renderer's own image code (host pixels are alpha, red, green, blue).
inline void writePng(const Frame& f, int w, int h, const fs::path& path) {
    vhost::Image image(w, h, vhost::Depth::Bits8);
    for (std::size_t i = 0; i < f.size(); ++i)
        image.pixels<PF_Pixel>()[i] =
            PF_Pixel{static_cast<A_u_char>(f[i] >> 24), static_cast<A_u_char>(f[i]),
                     static_cast<A_u_char>(f[i] >> 8), static_cast<A_u_char>(f[i] >> 16)};
    std::ostringstream ignored;
    vblind::Notes notes(ignored);
    vblind::writeImage(path.string(), image, notes);
}

inline Frame readPng(const fs::path& path) {
    const vhost::Image image = vblind::readImage(path.string(), vhost::Depth::Bits8).image;
    Frame f(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < f.size(); ++i) {
        const PF_Pixel& p = image.pixels<PF_Pixel>()[i];
        f[i] = p.red | p.green << 8 | p.blue << 16 | static_cast<std::uint32_t>(p.alpha) << 24;
    }
    return f;
}

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command in `dir`; returns its exit status and puts stdout and stderr in `output`.
inline int shell(const std::string& command, const fs::path& dir, std::string& output) {
    const int raw =
        std::system((command + " >" + quote((dir / ".out").string()) + " 2>&1 </dev/null").c_str());
    std::stringstream s;
    s << std::ifstream(dir / ".out").rdbuf();
    output = s.str();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

class ScratchTest : public ::testing::Test {
protected:
    // `velmorblind render a.png --under UNDER` with these --set arguments, one frame per Completion
    // (keyed on frames 0, 1, ...: one run of the program for them all).
    std::vector<Frame> rendererFrames(const std::string& under, const std::vector<std::string>& sets,
                                      const std::vector<std::string>& completions) {
        std::string keys, out;
        for (std::size_t i = 0; i < completions.size(); ++i)
            keys += (i ? "," : "") + completions[i] + "@" + std::to_string(i);
        std::string cmd = quote(VELMORBLIND_EXE) + " render a.png --under " + quote(under) +
                          " -o r_%d.png --frames 0-" + std::to_string(completions.size() - 1) + " --key " +
                          quote("Completion=" + keys);
        for (const std::string& s : sets) cmd += s == "draft" ? " --quality draft" : " --set " + quote(s);
        EXPECT_EQ(shell("cd " + quote(dir_.string()) + " && " + cmd, dir_, out), 0) << cmd << "\n" << out;
        std::vector<Frame> frames;
        for (std::size_t i = 0; i < completions.size(); ++i)
            frames.push_back(readPng(dir_ / ("r_" + std::to_string(i) + ".png")));
        return frames;
    }

    const vtest::ScratchDir scratch_{"velmorblind-frei0r"};
    const fs::path dir_ = scratch_.path();
};

}  // namespace vfrei0r::testing
