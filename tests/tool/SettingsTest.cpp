// Setting the module's controls from the command line (--set, --key), against the controls the
// module itself declares (loaded from disk through the host).
#include "Error.h"
#include "HostBridge.h"
#include "Sequence.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <functional>

using namespace vblind;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SessionOptions options;
        options.module = VELMOR_MODULE_PATH;
        options.threads = 1;
        session_ = new EffectSession(options);
    }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    const std::vector<ControlDef>& controls() const { return session_->controls(); }
    const ControlDef& control(const char* name) const { return findControl(controls(), name); }
    double value(const char* name, const char* text) const { return parseValue(control(name), text); }

    // The sentence of a refused command line, which must be one line ending in a full stop.
    static std::string refusal(const std::function<void()>& f) {
        try {
            f();
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status(), kExitUsage) << e.what();
            const std::string text = e.what();
            EXPECT_EQ(text.find('\n'), std::string::npos) << text;
            EXPECT_EQ(text.back(), '.') << text;
            return text;
        }
        ADD_FAILURE() << "accepted";
        return {};
    }

    static EffectSession* session_;
};
EffectSession* SettingsTest::session_ = nullptr;

}  // namespace

TEST_F(SettingsTest, NamesForgiveCaseSpacesDashesAndUnderscores) {
    for (const char* name :
         {"Easing Mode", "easing mode", "EASINGMODE", "easing-mode", "Easing_Mode", " easing  mode "})
        EXPECT_EQ(control(name).index, 10) << name;
    EXPECT_EQ(control("completion").index, 2);
    EXPECT_EQ(control("Easing").index, 9);  // not confused with Easing Mode
}

TEST_F(SettingsTest, UnknownNameListsTheControls) {
    const std::string text = refusal([&] { control("Opacity"); });
    EXPECT_NE(text.find("\"Opacity\""), std::string::npos) << text;
    EXPECT_NE(
        text.find("Mode, Completion, Delay, Width, Direction, Offset, Order, Seed, Easing, Easing Mode, "
                  "State, Outside"),
        std::string::npos)
        << text;
}

TEST_F(SettingsTest, PopupsTakeTheChoiceOrItsNumber) {
    EXPECT_EQ(value("Mode", "Both"), 2);
    EXPECT_EQ(value("Mode", "both"), 2);
    EXPECT_EQ(value("Mode", "1"), 1);
    EXPECT_EQ(value("Easing Mode", "InOut"), 3);
    EXPECT_EQ(value("Easing Mode", "in out"), 3);
    EXPECT_EQ(value("Easing", "Bounce"), 9);
    EXPECT_EQ(value("Easing", "9"), 9);
    EXPECT_EQ(value("Outside", "Mirror"), 4);
    const std::string text = refusal([&] { value("Easing", "Wobbly"); });
    EXPECT_EQ(text,
              "Easing accepts one of Linear, Quad, Cubic, Quart, Quint, Expo, Circ, Sine, Bounce (or its "
              "number, 1 to 9), not \"Wobbly\".");
    for (const char* bad : {"0", "10", "2.5", "", "-1", "In"}) refusal([&] { value("Easing", bad); });
    refusal([&] { value("State", "4"); });
}

TEST_F(SettingsTest, PercentControlsTakePercent) {
    EXPECT_EQ(value("Completion", "0"), 0.0);
    EXPECT_EQ(value("Completion", "100"), 100.0);
    EXPECT_EQ(value("Completion", "37.5%"), 37.5);
    EXPECT_EQ(value("Completion", " 12.5 % "), 12.5);
    EXPECT_EQ(value("Delay", "+5"), 5.0);
    EXPECT_EQ(refusal([&] { value("Completion", "150"); }),
              "Completion accepts a percentage from 0 to 100, not \"150\".");
    for (const char* bad : {"-0.1", "100.01", "abc", "5px", "5 deg", "nan", "inf", "1e3", "%"})
        refusal([&] { value("Delay", bad); });
}

TEST_F(SettingsTest, WidthIsPixelsOverItsValidRangeNotItsSliderRange) {
    EXPECT_EQ(value("Width", "1"), 1.0);
    EXPECT_EQ(value("Width", "4000"), 4000.0);  // beyond the slider's 100
    EXPECT_EQ(value("Width", "20.25px"), 20.25);
    EXPECT_NE(refusal([&] { value("Width", "0.5"); }).find("Width accepts a number of pixels from 1 to 4000"),
              std::string::npos);
    refusal([&] { value("Width", "4000.5"); });
    refusal([&] { value("Width", "20%"); });
}

TEST_F(SettingsTest, AnglesAreDegreesWithinWhatFixedPointHolds) {
    EXPECT_EQ(value("Direction", "30"), 30.0);
    EXPECT_EQ(value("Direction", "-45deg"), -45.0);
    EXPECT_EQ(value("Offset", "720\xC2\xB0"), 720.0);
    EXPECT_EQ(value("Offset", "-32767"), -32767.0);
    refusal([&] { value("Direction", "32768"); });
    refusal([&] { value("Direction", "90%"); });
}

TEST_F(SettingsTest, SeedIsAWholeNumber) {
    EXPECT_EQ(value("Seed", "10000"), 10000.0);
    EXPECT_EQ(value("Seed", "0"), 0.0);
    EXPECT_EQ(refusal([&] { value("Seed", "2.5"); }),
              "Seed accepts a whole number from 0 to 10000, not \"2.5\".");
    refusal([&] { value("Seed", "10001"); });
    refusal([&] { value("Seed", "-1"); });
}

TEST_F(SettingsTest, SetsAndKeysMakeAPlan) {
    const ControlPlan plan = parseSettings(controls(), {"Mode=Both", "easing mode = Out"},
                                           {"Completion=100@48,0@1,50%@24", "State=Move@0,Shrink@10"});
    ASSERT_EQ(plan.size(), 4u);
    EXPECT_FALSE(plan.at(1).animated);
    EXPECT_EQ(plan.at(1).value, 2.0);
    EXPECT_EQ(plan.at(10).value, 2.0);
    const ControlSetting& c = plan.at(2);
    ASSERT_TRUE(c.animated);
    ASSERT_EQ(c.keys.size(), 3u);  // sorted by frame
    EXPECT_EQ(c.keys[0].frame, 1);
    EXPECT_EQ(c.keys[0].value, 0.0);
    EXPECT_EQ(c.keys[1].frame, 24);
    EXPECT_EQ(c.keys[1].value, 50.0);
    EXPECT_EQ(c.keys[2].frame, 48);
    EXPECT_EQ(c.keys[2].value, 100.0);
    EXPECT_EQ(plan.at(11).keys[1].value, 3.0);
}

TEST_F(SettingsTest, MalformedSettingsAreRefused) {
    EXPECT_NE(refusal([&] { parseSettings(controls(), {"Completion"}, {}); }).find("NAME=VALUE"),
              std::string::npos);
    refusal([&] { parseSettings(controls(), {"=5"}, {}); });
    refusal([&] { parseSettings(controls(), {"Completion=200"}, {}); });
    EXPECT_NE(refusal([&] { parseSettings(controls(), {}, {"Completion=0@1,50"}); }).find("no frame"),
              std::string::npos);
    refusal([&] { parseSettings(controls(), {}, {"Completion=0@x"}); });
    refusal([&] { parseSettings(controls(), {}, {"Completion=0@-1"}); });
    refusal([&] { parseSettings(controls(), {}, {"Completion=0@1,"}); });
    refusal([&] { parseSettings(controls(), {}, {"Completion=120@1"}); });
    EXPECT_NE(
        refusal([&] { parseSettings(controls(), {}, {"Completion=0@5,10@5"}); }).find("two keys on frame 5"),
        std::string::npos);
    EXPECT_NE(refusal([&] {
                  parseSettings(controls(), {"Completion=5"}, {"completion=0@1"});
              }).find("more than once"),
              std::string::npos);
    refusal([&] { parseSettings(controls(), {"Mode=One", "mode=Both"}, {}); });
}

TEST_F(SettingsTest, CompletionRunsAcrossTheFramesUnlessGiven) {
    ControlPlan plan;
    addDefaultCompletion(controls(), plan, FrameRange{5, 20});
    ASSERT_TRUE(plan.count(2));
    ASSERT_EQ(plan.at(2).keys.size(), 2u);
    EXPECT_EQ(plan.at(2).keys[0].frame, 5);
    EXPECT_EQ(plan.at(2).keys[0].value, 0.0);
    EXPECT_EQ(plan.at(2).keys[1].frame, 20);
    EXPECT_EQ(plan.at(2).keys[1].value, 100.0);

    ControlPlan single;
    addDefaultCompletion(controls(), single, FrameRange{3, 3});
    EXPECT_TRUE(single.empty());

    ControlPlan given = parseSettings(controls(), {"Completion=40"}, {});
    addDefaultCompletion(controls(), given, FrameRange{1, 10});
    EXPECT_FALSE(given.at(2).animated);
    EXPECT_EQ(given.at(2).value, 40.0);
}
