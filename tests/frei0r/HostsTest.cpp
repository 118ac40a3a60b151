// The plug-in in the hosts people use: melt (MLT) and GStreamer find it through FREI0R_PATH and
// their frames equal the renderer's. Skipped, saying why, where the tools are not installed.
#include "Frei0rSupport.h"

#include <cstdio>

namespace vfrei0r::testing {
namespace {

constexpr int kW = 48, kH = 32;

// melt and GStreamer are not built with a sanitizer's runtime, so they cannot load a plug-in built
// with one (the address sanitizer refuses to start inside them).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif

class HostsTest : public ScratchTest {
protected:
    void SetUp() override {
        if (kSanitizerBuild) GTEST_SKIP() << "a sanitizer build's plug-in cannot be loaded by melt or GStreamer";
        ScratchTest::SetUp();
        // Our folder first, then Debian's (FREI0R_PATH replaces the hosts' own lists).
        env_ = "FREI0R_PATH=" + quote(fs::path(VELMOR_FREI0R_PLUGIN).parent_path().string() +
                                      ":/usr/lib/x86_64-linux-gnu/frei0r-1") +
               " GST_REGISTRY=" + quote((dir_ / "registry.bin").string()) + " ";
        writePng(a_, dir_ / "a.png");
        writePng(b_, dir_ / "b.png");
    }
    std::string env_;
    const Frame a_ = picture(kW, kH, 5), b_ = picture(kW, kH, 8);
};

TEST_F(HostsTest, MeltRunsTheTransitionWithKeyframedProgress) {
    if (!haveProgram("melt")) GTEST_SKIP() << "melt is not installed (Debian package melt); MLT not tested";
    const ShellRun query = shell(env_ + "melt -query transitions", dir_);
    ASSERT_EQ(query.status, 0) << query.output;
    EXPECT_NE(query.output.find("frei0r.velmorblind"), std::string::npos) << query.output;

    // A progressive profile of the pictures' size keeps RGBA from the PNGs to the PNG sequence.
    std::ofstream(dir_ / "profile") << "description=test\nframe_rate_num=25\nframe_rate_den=1\nwidth=" << kW
                                    << "\nheight=" << kH
                                    << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                       "display_aspect_num=3\ndisplay_aspect_den=2\ncolorspace=709\n";
    fs::create_directories(dir_ / "seq");
    const std::string cmd = env_ + "melt -profile " + quote((dir_ / "profile").string()) + " " +
                            quote((dir_ / "a.png").string()) + " out=4 -track " + quote((dir_ / "b.png").string()) +
                            " out=4 -transition frei0r.velmorblind in=0 out=4 a_track=0 b_track=1 "
                            "progress='0=0;-1=1' mode=Both direction=0.125 -consumer avformat:" +
                            quote((dir_ / "seq/f_%04d.png").string()) + " vcodec=png pix_fmt=rgba";
    const ShellRun run = shell(cmd, dir_);
    ASSERT_EQ(run.status, 0) << cmd << "\n" << run.output;
    // Frames 0..4 run progress 0, 0.25, ... 1; the sequence numbers them from 1.
    const std::vector<Frame> expected = rendererFrames(dir_ / "a.png", (dir_ / "b.png").string(),
                                                       {"Mode=Both", "Direction=45"}, {"0", "25", "50", "75", "100"});
    for (int i = 0; i <= 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "seq/f_%04d.png", i + 1);
        ASSERT_TRUE(fs::exists(dir_ / name)) << name << "\n" << run.output;
        EXPECT_TRUE(readPng(dir_ / name) == expected.at(static_cast<std::size_t>(i))) << "frame " << i;
    }
}

TEST_F(HostsTest, GStreamerMixesTwoStreams) {
    if (!haveProgram("gst-launch-1.0") || !haveProgram("gst-inspect-1.0"))
        GTEST_SKIP() << "GStreamer's tools are not installed (gstreamer1.0-tools); GStreamer not tested";
    if (shell(env_ + "gst-inspect-1.0 frei0r", dir_).status != 0)
        GTEST_SKIP() << "GStreamer's frei0r wrapper is not installed (gstreamer1.0-plugins-bad)";
    const ShellRun inspect = shell(env_ + "gst-inspect-1.0 frei0r-mixer-velmorblind", dir_);
    ASSERT_EQ(inspect.status, 0) << inspect.output;
    EXPECT_NE(inspect.output.find("sink_1"), std::string::npos) << inspect.output;
    EXPECT_NE(inspect.output.find("easing-mode"), std::string::npos) << inspect.output;

    // Raw RGBA in and out: no codec between the plug-in and the comparison.
    std::ofstream(dir_ / "a.rgba", std::ios::binary).write(reinterpret_cast<const char*>(a_.bytes()), kW * kH * 4);
    std::ofstream(dir_ / "b.rgba", std::ios::binary).write(reinterpret_cast<const char*>(b_.bytes()), kW * kH * 4);
    const std::string raw = " ! rawvideoparse width=" + std::to_string(kW) + " height=" + std::to_string(kH) +
                            " format=rgba framerate=25/1 ! ";
    const std::string cmd = env_ + "gst-launch-1.0 -q filesrc location=" + quote((dir_ / "a.rgba").string()) + raw +
                            "m.sink_0 filesrc location=" + quote((dir_ / "b.rgba").string()) + raw +
                            "m.sink_1 frei0r-mixer-velmorblind name=m progress=0.4 state=Shrink easing-mode=In "
                            "easing=Sine ! filesink location=" + quote((dir_ / "out.rgba").string());
    const ShellRun run = shell(cmd, dir_);
    ASSERT_EQ(run.status, 0) << cmd << "\n" << run.output;
    Frame out(kW, kH);
    std::ifstream(dir_ / "out.rgba", std::ios::binary).read(reinterpret_cast<char*>(out.bytes()), kW * kH * 4);
    EXPECT_EQ(fs::file_size(dir_ / "out.rgba"), static_cast<std::uintmax_t>(kW * kH * 4));
    EXPECT_TRUE(out == rendererFrames(dir_ / "a.png", (dir_ / "b.png").string(),
                                      {"State=Shrink", "Easing Mode=In", "Easing=Sine"}, {"40"}).at(0));
}

}  // namespace
}  // namespace vfrei0r::testing
