// The plug-in in the hosts people use: melt and GStreamer find it through FREI0R_PATH, their frames
// equal the renderer's, and every parameter survives MLT's XML. Skipped, saying why, where the tools
// are not installed.
#include "Frei0rSupport.h"

#include <cstdio>

namespace vfrei0r::testing {
namespace {

constexpr int kW = 48, kH = 32;

class HostsTest : public ScratchTest {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "melt and GStreamer cannot load a plug-in built with a sanitizer's runtime";
#endif
        ScratchTest::SetUp();
        writePng(a_, kW, kH, dir_ / "a.png");
        writePng(b_, kW, kH, dir_ / "b.png");
    }
    // Our folder first, then Debian's: FREI0R_PATH replaces the hosts' own lists.
    int run(const std::string& command) {
        const std::string env =
            "cd " + quote(dir_.string()) + " && FREI0R_PATH=" +
            quote(fs::path(VELMOR_FREI0R_PLUGIN).parent_path().string() + ":/usr/lib/frei0r-1") +
            " GST_REGISTRY=registry.bin ";
        return shell(env + command, dir_, out_);
    }
    bool have(const std::string& program) { return run("command -v " + program) == 0; }
    // A progressive profile of the pictures' size keeps RGBA from the PNGs to the PNG sequence (melt
    // crashes on a profile without a description).
    void writeProfile() {
        std::ofstream(dir_ / "profile")
            << "description=test\nframe_rate_num=25\nframe_rate_den=1\nwidth=" << kW << "\nheight=" << kH
            << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
               "display_aspect_num=3\ndisplay_aspect_den=2\ncolorspace=709\n";
        fs::create_directories(dir_ / "seq");
    }
    // Frames 0..4 of seq/, which numbers them from 1, against the renderer's.
    void expectFrames(const std::vector<Frame>& expected) {
        for (int i = 0; i <= 4; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "seq/f_%04d.png", i + 1);
            ASSERT_TRUE(fs::exists(dir_ / name)) << name << "\n" << out_;
            EXPECT_TRUE(readPng(dir_ / name) == expected.at(static_cast<std::size_t>(i))) << "frame " << i;
        }
    }
    const Frame a_ = picture(kW, kH, 5), b_ = picture(kW, kH, 8);
    std::string out_;
};

TEST_F(HostsTest, MeltRunsTheTransitionWithKeyframedProgress) {
    if (!have("melt")) GTEST_SKIP() << "melt is not installed (Debian package melt): MLT is not tested";
    ASSERT_EQ(run("melt -query transitions"), 0) << out_;
    EXPECT_NE(out_.find("frei0r.velmorblind"), std::string::npos) << out_;
    writeProfile();
    ASSERT_EQ(
        run("melt -profile profile a.png out=4 -track b.png out=4 -transition frei0r.velmorblind in=0 out=4 "
            "a_track=0 b_track=1 progress='0=0;-1=1' mode=Both direction=0.125 "
            "-consumer avformat:seq/f_%04d.png vcodec=png pix_fmt=rgba"),
        0)
        << out_;
    // Frames 0..4 run progress 0, 0.25, ... 1.
    expectFrames(rendererFrames("b.png", {"Mode=Both", "Direction=45"}, {"0", "25", "50", "75", "100"}));
}

// Every parameter at a value other than its default, written by MLT's XML consumer (as Kdenlive and
// Shotcut save projects), is in the file, and the file read back renders as the renderer does.
TEST_F(HostsTest, EveryParameterSurvivesMltXml) {
    if (!have("melt")) GTEST_SKIP() << "melt is not installed (Debian package melt): MLT is not tested";
    writeProfile();
    const std::vector<std::pair<std::string, std::string>> params = {{"progress", "0=0.2;-1=0.9"},
                                                                     {"mode", "Both"},
                                                                     {"order", "Random"},
                                                                     {"easing", "Cubic"},
                                                                     {"easing_mode", "Out"},
                                                                     {"state", "Move"},
                                                                     {"outside", "Tile"},
                                                                     {"delay", "0.3"},
                                                                     {"direction", "0.1"},
                                                                     {"offset", "0.2"},
                                                                     {"seed", "0.05"},
                                                                     {"band_width", "0.3"},
                                                                     {"draft", "1"},
                                                                     {"reverse", "1"}};
    std::string settings;
    for (const auto& [name, value] : params) settings += " " + name + "=" + quote(value);
    ASSERT_EQ(run("melt -profile profile a.png out=4 -track b.png out=4 -transition frei0r.velmorblind in=0 "
                  "out=4 a_track=0 b_track=1" +
                  settings + " -consumer xml:project.mlt"),
              0)
        << out_;
    std::stringstream xml;
    xml << std::ifstream(dir_ / "project.mlt").rdbuf();
    for (const auto& [name, value] : params)
        EXPECT_NE(xml.str().find("<property name=\"" + name + "\">" +
                                 (name == "progress" ? "0=0.2;-1=0.9" : value) + "</property>"),
                  std::string::npos)
            << name << " is not in\n"
            << xml.str();
    ASSERT_EQ(run("melt project.mlt -consumer avformat:seq/f_%04d.png vcodec=png pix_fmt=rgba"), 0) << out_;
    // Reversed, b.png closes over a.png: the renderer takes them the other way round.
    std::error_code ignored;
    fs::rename(dir_ / "a.png", dir_ / "first.png", ignored);
    fs::rename(dir_ / "b.png", dir_ / "a.png", ignored);
    expectFrames(rendererFrames(
        "first.png",
        {"Mode=Both", "Order=Random", "Easing=Cubic", "Easing Mode=Out", "State=Move", "Outside=Tile",
         "Delay=30", "Direction=36", "Offset=72", "Seed=500", "Width=108.97", "draft"},
        {"20", "37.5", "55", "72.5", "90"}));
}

// A project Kdenlive wrote (tests/frei0r/kdenlive/README.md says how): Reverse on, Mode Both, Width
// 300 (band_width 0.3), Direction 45, over a composition of frames 0 to 74. Rendered by melt, every
// frame is the renderer's with b.png closing over a.png and Completion running 0 to 100 %.
TEST_F(HostsTest, KdenliveProjectRendersAsTheRenderer) {
    if (!have("melt")) GTEST_SKIP() << "melt is not installed (Debian package melt): MLT is not tested";
    const fs::path fixture = VELMOR_KDENLIVE_FIXTURE;
    for (const char* name : {"a.png", "b.png"})
        fs::copy_file(fixture / name, dir_ / name, fs::copy_options::overwrite_existing);
    std::stringstream project;
    project << std::ifstream(fixture / "blinds.kdenlive").rdbuf();
    std::string text = project.str();
    const std::string root = "root=\"/tmp/kd/fixture\"";
    ASSERT_NE(text.find(root), std::string::npos);
    text.replace(text.find(root), root.size(), "root=\"" + dir_.string() + "\"");
    std::ofstream(dir_ / "blinds.kdenlive") << text;
    fs::create_directories(dir_ / "seq");
    fs::create_directories(dir_ / "r");
    ASSERT_EQ(run("melt blinds.kdenlive out=74 -consumer avformat:seq/f_%04d.png vcodec=png pix_fmt=rgba"), 0)
        << out_;
    ASSERT_EQ(run(quote(VELMORBLIND_EXE) + " render b.png --under a.png --set Mode=Both --set Direction=45 "
                                           "--set Width=108.97 --frames 0-74 -o r/r_%d.png -q"),
              0)
        << out_;
    for (int i = 0; i <= 74; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "seq/f_%04d.png", i + 1);
        ASSERT_TRUE(fs::exists(dir_ / name)) << name << "\n" << out_;
        EXPECT_TRUE(readPng(dir_ / name) == readPng(dir_ / ("r/r_" + std::to_string(i) + ".png")))
            << "frame " << i;
    }
    // The ends are the clips themselves: the upper one whole first, the lower one last.
    EXPECT_TRUE(readPng(dir_ / "seq/f_0001.png") == readPng(dir_ / "b.png"));
    EXPECT_TRUE(readPng(dir_ / "seq/f_0075.png") == readPng(dir_ / "a.png"));
}

TEST_F(HostsTest, GStreamerMixesTwoStreams) {
    if (!have("gst-launch-1.0") || run("gst-inspect-1.0 frei0r") != 0)
        GTEST_SKIP() << "GStreamer's tools or its frei0r wrapper are not installed (gstreamer1.0-tools, "
                        "gstreamer1.0-plugins-bad): GStreamer is not tested";
    ASSERT_EQ(run("gst-inspect-1.0 frei0r-mixer-velmorblind"), 0) << out_;
    EXPECT_NE(out_.find("sink_1"), std::string::npos) << out_;
    ASSERT_EQ(
        run("gst-launch-1.0 -q frei0r-mixer-velmorblind name=m progress=0.4 state=Shrink easing-mode=In "
            "easing=Sine ! pngenc ! filesink location=out.png filesrc location=a.png ! pngdec ! m.sink_0 "
            "filesrc location=b.png ! pngdec ! m.sink_1"),
        0)
        << out_;
    EXPECT_TRUE(readPng(dir_ / "out.png") ==
                rendererFrames("b.png", {"State=Shrink", "Easing Mode=In", "Easing=Sine"}, {"40"}).at(0));
}

}  // namespace
}  // namespace vfrei0r::testing
