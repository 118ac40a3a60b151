// The plug-in as a frei0r host sees it after dlopen: its info, its parameters (names, types,
// defaults, set/get), the bad input a host may hand it, and Kdenlive's description of it.
#include "Frei0rSupport.h"

#include <climits>
#include <cmath>
#include <limits>
#include <map>

namespace vfrei0r::testing {
namespace {

class PluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { plugin_ = new Plugin(); }
    static void TearDownTestSuite() {
        if (plugin_->deinit) plugin_->deinit();
        delete plugin_;
    }
    void SetUp() override {
        ASSERT_TRUE(plugin_->complete()) << VELMOR_FREI0R_PLUGIN << ": " << dlerror();
        ASSERT_EQ(plugin_->init(), 1);
        inst_ = plugin_->construct(24, 16);
        ASSERT_NE(inst_, nullptr);
    }
    void TearDown() override { plugin_->destruct(inst_); }

    static Plugin* plugin_;
    f0r_instance_t inst_ = nullptr;
};
Plugin* PluginTest::plugin_ = nullptr;

// The names and types are what MLT and GStreamer users type: part of the interface.
const std::vector<std::pair<std::string, int>> kParams = {
    {"progress", F0R_PARAM_DOUBLE}, {"mode", F0R_PARAM_STRING},      {"order", F0R_PARAM_STRING},
    {"easing", F0R_PARAM_STRING},   {"easing_mode", F0R_PARAM_STRING}, {"state", F0R_PARAM_STRING},
    {"outside", F0R_PARAM_STRING},  {"delay", F0R_PARAM_DOUBLE},     {"direction", F0R_PARAM_DOUBLE},
    {"offset", F0R_PARAM_DOUBLE},   {"seed", F0R_PARAM_DOUBLE},      {"width", F0R_PARAM_DOUBLE},
    {"draft", F0R_PARAM_BOOL}};

TEST_F(PluginTest, DescribesAMixer2TransitionAndItsParameters) {
    f0r_plugin_info_t info{};
    plugin_->pluginInfo(&info);
    EXPECT_STREQ(info.name, "VelmorBlind");  // GStreamer's element name frei0r-mixer-velmorblind
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_MIXER2);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    ASSERT_EQ(info.num_params, static_cast<int>(kParams.size()));
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t p{};
        plugin_->paramInfo(&p, i);
        EXPECT_EQ(p.name, kParams[static_cast<std::size_t>(i)].first);
        EXPECT_EQ(p.type, kParams[static_cast<std::size_t>(i)].second) << p.name;
        ASSERT_NE(p.explanation, nullptr) << p.name;
        // Every number says how 0..1 maps onto the control.
        if (p.type == F0R_PARAM_DOUBLE) {
            EXPECT_NE(std::string(p.explanation).find("0 to 1"), std::string::npos) << p.name;
        }
    }
}

TEST_F(PluginTest, DefaultsAreTheModulesAndValuesRoundTrip) {
    const std::map<std::string, std::string> texts = {{"mode", "One"},     {"order", "Normal"}, {"easing", "Linear"},
                                                      {"easing_mode", "InOut"}, {"state", "Still"}, {"outside", "Mirror"}};
    for (const auto& [name, text] : texts) EXPECT_EQ(plugin_->getString(inst_, name), text) << name;
    EXPECT_EQ(plugin_->getDouble(inst_, "progress"), 0.0);
    EXPECT_EQ(plugin_->getDouble(inst_, "delay"), 0.1);
    EXPECT_EQ(plugin_->getDouble(inst_, "direction"), 0.25);
    EXPECT_EQ(plugin_->getDouble(inst_, "offset"), 0.0);
    EXPECT_EQ(plugin_->getDouble(inst_, "seed"), 0.0);
    EXPECT_EQ(plugin_->getDouble(inst_, "draft"), 0.0);
    // 20 pixels on the width curve 1 + 3999 v^3.
    EXPECT_NEAR(plugin_->getDouble(inst_, "width"), std::cbrt(19.0 / 3999.0), 1e-12);

    for (const char* name : {"progress", "delay", "direction", "offset", "seed", "width"}) {
        plugin_->setDouble(inst_, name, 0.3125);
        EXPECT_EQ(plugin_->getDouble(inst_, name), 0.3125) << name;
    }
    plugin_->setDouble(inst_, "draft", 1.0);
    EXPECT_EQ(plugin_->getDouble(inst_, "draft"), 1.0);
    // Choices as the renderer's --set takes them: the text in any case, or the 1-based number.
    plugin_->setString(inst_, "mode", "2");
    EXPECT_EQ(plugin_->getString(inst_, "mode"), "Both");
    plugin_->setString(inst_, "easing_mode", "out");
    EXPECT_EQ(plugin_->getString(inst_, "easing_mode"), "Out");
    plugin_->setString(inst_, "easing", "Bounce");
    EXPECT_EQ(plugin_->getString(inst_, "easing"), "Bounce");
}

TEST_F(PluginTest, BadValuesAreClampedOrIgnored) {
    plugin_->setDouble(inst_, "progress", 0.5);
    plugin_->setDouble(inst_, "progress", std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(plugin_->getDouble(inst_, "progress"), 0.5);
    plugin_->setDouble(inst_, "delay", -3.0);
    EXPECT_EQ(plugin_->getDouble(inst_, "delay"), 0.0);
    plugin_->setDouble(inst_, "width", std::numeric_limits<double>::infinity());
    EXPECT_EQ(plugin_->getDouble(inst_, "width"), 1.0);
    plugin_->setString(inst_, "state", "Move");
    for (const char* bad : {"Sideways", "0", "4", "1.5", ""}) {
        plugin_->setString(inst_, "state", bad);
        EXPECT_EQ(plugin_->getString(inst_, "state"), "Move") << bad;
    }
    plugin_->setString(inst_, "state", nullptr);
    EXPECT_EQ(plugin_->getString(inst_, "state"), "Move");
    // Indices out of range and null pointers are ignored.
    double v = 0.7;
    plugin_->setParam(inst_, &v, -1);
    plugin_->setParam(inst_, &v, 13);
    plugin_->getParam(inst_, &v, 13);
    EXPECT_EQ(v, 0.7);
    plugin_->setParam(inst_, nullptr, 0);
    plugin_->getParam(inst_, nullptr, 0);
    plugin_->setParam(nullptr, &v, 0);
    plugin_->getParam(nullptr, &v, 0);
    EXPECT_EQ(plugin_->getDouble(inst_, "progress"), 0.5);
    f0r_param_info_t info{"untouched", -1, nullptr};
    plugin_->paramInfo(&info, 13);
    EXPECT_STREQ(info.name, "untouched");
}

TEST_F(PluginTest, RefusesImpossibleSizes) {
    for (auto [w, h] : {std::pair<unsigned, unsigned>{0, 16}, {16, 0}, {30001, 16}, {16, UINT_MAX}})
        EXPECT_EQ(plugin_->construct(w, h), nullptr) << w << " x " << h;
    f0r_instance_t largest = plugin_->construct(30000, 1);
    EXPECT_NE(largest, nullptr);
    plugin_->destruct(largest);
    plugin_->destruct(nullptr);
}

TEST_F(PluginTest, MissingFramesFallBackToTheSecondInputOrTransparentBlack) {
    const Frame a = picture(24, 16, 1), b = picture(24, 16, 2);
    Frame out(24, 16);
    plugin_->setDouble(inst_, "progress", 0.5);
    plugin_->update2(inst_, 0.0, nullptr, b.pixels.data(), nullptr, out.pixels.data());
    EXPECT_TRUE(out == b);
    std::fill(out.pixels.begin(), out.pixels.end(), 0xDEADBEEFu);
    plugin_->update2(inst_, 0.0, nullptr, nullptr, nullptr, out.pixels.data());
    EXPECT_TRUE(out == Frame(24, 16));
    plugin_->update2(inst_, 0.0, a.pixels.data(), b.pixels.data(), nullptr, nullptr);  // nowhere to write
    plugin_->update2(nullptr, 0.0, a.pixels.data(), b.pixels.data(), nullptr, out.pixels.data());
    EXPECT_TRUE(out == Frame(24, 16));
}

// Kdenlive shows default, min and max and hands MLT value / factor: the file must agree with the
// plug-in on every name, type, range, default and choice.
TEST_F(PluginTest, KdenliveDescriptionMatchesThePlugin) {
    std::ifstream file(VELMOR_KDENLIVE_XML);
    std::stringstream text;
    text << file.rdbuf();
    const std::string xml = text.str();
    EXPECT_NE(xml.find("tag=\"frei0r.velmorblind\""), std::string::npos);

    // Each <parameter ...> tag's attributes (the file writes them as name="value").
    std::vector<std::string> described;
    for (std::size_t at = xml.find("<parameter "); at != std::string::npos; at = xml.find("<parameter ", at + 1)) {
        const std::string tag = xml.substr(at, xml.find('>', at) - at);
        std::map<std::string, std::string> a;
        for (std::size_t eq = tag.find("=\""); eq != std::string::npos; eq = tag.find("=\"", eq + 1)) {
            const std::size_t nameStart = tag.rfind(' ', eq) + 1, valueEnd = tag.find('"', eq + 2);
            a[tag.substr(nameStart, eq - nameStart)] = tag.substr(eq + 2, valueEnd - eq - 2);
        }
        const std::string name = a["name"], type = a["type"];
        described.push_back(name);
        const int index = plugin_->paramIndex(name);
        if (index < 0) continue;
        f0r_param_info_t info{};
        plugin_->paramInfo(&info, index);
        if (type == "list") {
            ASSERT_EQ(info.type, F0R_PARAM_STRING) << name;
            EXPECT_EQ(a["default"], plugin_->getString(inst_, name)) << name;
            std::stringstream choices(a["paramlist"]);
            for (std::string choice; std::getline(choices, choice, ';');) {
                plugin_->setString(inst_, name, choice.c_str());
                EXPECT_EQ(plugin_->getString(inst_, name), choice) << name;
            }
        } else if (type == "bool") {
            ASSERT_EQ(info.type, F0R_PARAM_BOOL) << name;
            EXPECT_EQ(std::stod(a["default"]), plugin_->getDouble(inst_, name)) << name;
        } else if (type == "animated") {
            ASSERT_EQ(info.type, F0R_PARAM_DOUBLE) << name;
            EXPECT_EQ(a["default"], "0=0;%out=1") << name;  // runs over the whole transition
            EXPECT_EQ(std::stod(a["min"]), 0.0);
            EXPECT_EQ(std::stod(a["max"]), 1.0);
        } else {
            ASSERT_EQ(type, "constant") << name;
            ASSERT_EQ(info.type, F0R_PARAM_DOUBLE) << name;
            const double factor = std::stod(a["factor"]);
            EXPECT_EQ(std::stod(a["min"]) / factor, 0.0) << name;
            EXPECT_EQ(std::stod(a["max"]) / factor, 1.0) << name;
            EXPECT_NEAR(std::stod(a["default"]) / factor, plugin_->getDouble(inst_, name), 1e-5) << name;
        }
    }
    std::vector<std::string> all;
    for (const auto& p : kParams) all.push_back(p.first);
    std::sort(described.begin(), described.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(described, all);
}

}  // namespace
}  // namespace vfrei0r::testing
