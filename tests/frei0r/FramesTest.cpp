// f0r_update2's frames against the renderer's: for the same pictures and settings, the plug-in's
// output equals `velmorblind render in1 --under in2` byte for byte.
#include "Frei0rSupport.h"

#include <cstdio>

namespace vfrei0r::testing {
namespace {

struct Setting {
    const char* name;
    const char* text;   // STRING parameters
    double value;       // DOUBLE and BOOL parameters
};

struct Case {
    const char* what;
    std::vector<Setting> frei0r;
    std::vector<std::string> renderer;  // the same settings as --set arguments
    bool draft;
    std::vector<std::pair<double, std::string>> progress;  // progress and its Completion
};

const std::vector<Case> kCases = {
    {"defaults", {}, {}, false, {{0.0, "0"}, {0.3, "30"}, {0.7, "70"}, {1.0, "100"}}},
    {"both edges, moving, at 36 degrees",
     {{"mode", "Both", 0}, {"state", "Move", 0}, {"direction", nullptr, 0.1}, {"easing", "3", 0},
      {"easing_mode", "Out", 0}, {"outside", "Tile", 0}, {"width", nullptr, 0.2}, {"delay", nullptr, 0.25}},
     {"Mode=Both", "State=Move", "Direction=36", "Easing=Cubic", "Easing Mode=Out", "Outside=Tile", "Width=32.99",
      "Delay=25"},
     false,
     {{0.45, "45"}, {0.8, "80"}}},
    {"shrinking in random order, draft",
     {{"state", "shrink", 0}, {"order", "Random", 0}, {"seed", nullptr, 0.1234}, {"outside", "Edge", 0},
      {"offset", nullptr, 0.125}, {"direction", nullptr, 0.9}, {"width", nullptr, 0.1}, {"draft", nullptr, 1.0}},
     {"State=Shrink", "Order=Random", "Seed=1234", "Outside=Edge", "Offset=45", "Direction=324", "Width=5"},
     true,
     {{0.2, "20"}, {0.6, "60"}}},
};

class FramesTest : public ScratchTest {};

TEST_F(FramesTest, UpdateEqualsTheRenderer) {
    Plugin plugin;
    ASSERT_TRUE(plugin.complete()) << dlerror();
    const int w = 40, h = 28;
    const Frame a = picture(w, h, 4), b = picture(w, h, 7);
    writePng(a, dir_ / "a.png");
    writePng(b, dir_ / "b.png");
    for (const Case& c : kCases) {
        f0r_instance_t inst = plugin.construct(w, h);
        ASSERT_NE(inst, nullptr);
        for (const Setting& s : c.frei0r) {
            if (s.text) plugin.setString(inst, s.name, s.text);
            else plugin.setDouble(inst, s.name, s.value);
        }
        std::vector<std::string> completions;
        std::vector<Frame> frames;
        for (const auto& [progress, completion] : c.progress) {
            plugin.setDouble(inst, "progress", progress);
            frames.emplace_back(w, h);
            plugin.update2(inst, 1.5, a.pixels.data(), b.pixels.data(), nullptr, frames.back().pixels.data());
            completions.push_back(completion);
        }
        const std::vector<Frame> expected =
            rendererFrames(dir_ / "a.png", (dir_ / "b.png").string(), c.renderer, completions, c.draft);
        ASSERT_EQ(expected.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(frames[i] == expected[i]) << c.what << " at progress " << c.progress[i].first;
        plugin.destruct(inst);
    }
    plugin.deinit();
}

// Without a second input the result stands over transparent black, as --under #00000000 puts it.
TEST_F(FramesTest, NoSecondInputIsTransparentBlack) {
    Plugin plugin;
    ASSERT_TRUE(plugin.complete()) << dlerror();
    const Frame a = picture(20, 12, 3);
    writePng(a, dir_ / "a.png");
    f0r_instance_t inst = plugin.construct(20, 12);
    plugin.setDouble(inst, "progress", 0.5);
    Frame out(20, 12);
    plugin.update2(inst, 0.0, a.pixels.data(), nullptr, nullptr, out.pixels.data());
    EXPECT_TRUE(out == rendererFrames(dir_ / "a.png", "#00000000", {}, {"50"}).at(0));
    EXPECT_FALSE(out == a);
    plugin.destruct(inst);
    plugin.deinit();
}

}  // namespace
}  // namespace vfrei0r::testing
