// f0r_update2 against the renderer: for the same pictures and settings, the plug-in's frame equals
// `velmorblind render in1 --under in2` byte for byte.
#include "Frei0rSupport.h"

namespace vfrei0r::testing {
namespace {

struct Case {
    std::vector<std::pair<std::string, std::string>> frei0r;  // texts, or numbers for DOUBLE and BOOL
    std::vector<std::string> renderer;                        // the same as --set (and "draft")
    std::vector<double> progress;
    std::vector<std::string> completion;
};

const std::vector<Case> kCases = {
    {{}, {}, {0.0, 0.3, 0.7, 1.0}, {"0", "30", "70", "100"}},
    {{{"mode", "Both"},
      {"state", "Move"},
      {"direction", "0.1"},
      {"easing", "3"},
      {"easing_mode", "Out"},
      {"outside", "Tile"},
      {"band_width", "0.2"},
      {"delay", "0.25"}},
     {"Mode=Both", "State=Move", "Direction=36", "Easing=Cubic", "Easing Mode=Out", "Outside=Tile",
      "Width=32.99", "Delay=25"},
     {0.45, 0.8},
     {"45", "80"}},
    {{{"state", "shrink"},
      {"order", "Random"},
      {"seed", "0.1234"},
      {"outside", "Edge"},
      {"offset", "0.125"},
      {"direction", "0.9"},
      {"band_width", "0.1"},
      {"draft", "1"}},
     {"State=Shrink", "Order=Random", "Seed=1234", "Outside=Edge", "Offset=45", "Direction=324", "Width=5",
      "draft"},
     {0.2, 0.6},
     {"20", "60"}},
};

class FramesTest : public ScratchTest {};

TEST_F(FramesTest, UpdateEqualsTheRenderer) {
    Plugin p;
    const int w = 40, h = 28;
    const Frame a = picture(w, h, 4), b = picture(w, h, 7);
    writePng(a, w, h, dir_ / "a.png");
    writePng(b, w, h, dir_ / "b.png");
    for (const Case& c : kCases) {
        f0r_instance_t inst = p.construct(w, h);
        for (const auto& [name, value] : c.frei0r) {
            f0r_param_info_t info{};
            p.paramInfo(&info, p.index(name));
            if (info.type == F0R_PARAM_STRING)
                p.set(inst, name, value.c_str());
            else
                p.set(inst, name, std::stod(value));
        }
        const std::vector<Frame> expected =
            rendererFrames((dir_ / "b.png").string(), c.renderer, c.completion);
        for (std::size_t i = 0; i < c.progress.size(); ++i) {
            p.set(inst, "progress", c.progress[i]);
            Frame out(a.size());
            p.update2(inst, 1.5, a.data(), b.data(), nullptr, out.data());
            EXPECT_TRUE(out == expected.at(i))
                << c.renderer.size() << " settings, progress " << c.progress[i];
        }
        p.destruct(inst);
    }
    // Without a second input the frame stands over transparent black.
    f0r_instance_t inst = p.construct(w, h);
    p.set(inst, "progress", 0.5);
    Frame out(a.size());
    p.update2(inst, 0.0, a.data(), nullptr, nullptr, out.data());
    EXPECT_TRUE(out == rendererFrames("#00000000", {}, {"50"}).at(0));
    p.destruct(inst);
    p.deinit();
}

// Reversed, the second input closes over the first: the renderer's frames with the inputs swapped,
// the second input whole at progress 0 and the first at 1.
TEST_F(FramesTest, ReverseSwapsTheInputs) {
    Plugin p;
    const int w = 40, h = 28;
    const Frame first = picture(w, h, 3), second = picture(w, h, 9);  // odd seeds: opaque
    writePng(second, w, h, dir_ / "a.png");
    writePng(first, w, h, dir_ / "b.png");
    const std::vector<Frame> expected =
        rendererFrames((dir_ / "b.png").string(), {"Mode=Both"}, {"0", "50", "100"});
    EXPECT_TRUE(expected.at(0) == second);
    EXPECT_TRUE(expected.at(2) == first);
    f0r_instance_t inst = p.construct(w, h);
    p.set(inst, "reverse", 1.0);
    p.set(inst, "mode", "Both");
    const double progress[] = {0.0, 0.5, 1.0};
    for (std::size_t i = 0; i < 3; ++i) {
        p.set(inst, "progress", progress[i]);
        Frame out(first.size());
        p.update2(inst, 0.0, first.data(), second.data(), nullptr, out.data());
        EXPECT_TRUE(out == expected.at(i)) << "progress " << progress[i];
    }
    p.destruct(inst);
    p.deinit();
}

}  // namespace
}  // namespace vfrei0r::testing
