// The plug-in as a frei0r host sees it after dlopen: its info, its parameters (names, types,
// defaults, set/get), the bad input a host may hand it, and Kdenlive's description of it.
#include "Frei0rSupport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

namespace vfrei0r::testing {
namespace {

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(p_.init(), 1);
        inst_ = p_.construct(24, 16);
        ASSERT_NE(inst_, nullptr);
    }
    void TearDown() override {
        p_.destruct(inst_);
        p_.deinit();
    }
    Plugin p_;
    f0r_instance_t inst_ = nullptr;
};

// Names and types are what MLT and GStreamer users type: part of the interface.
const std::vector<std::pair<std::string, int>> kParams = {
    {"progress", F0R_PARAM_DOUBLE}, {"mode", F0R_PARAM_STRING},        {"order", F0R_PARAM_STRING},
    {"easing", F0R_PARAM_STRING},   {"easing_mode", F0R_PARAM_STRING}, {"state", F0R_PARAM_STRING},
    {"outside", F0R_PARAM_STRING},  {"delay", F0R_PARAM_DOUBLE},       {"direction", F0R_PARAM_DOUBLE},
    {"offset", F0R_PARAM_DOUBLE},   {"seed", F0R_PARAM_DOUBLE},        {"band_width", F0R_PARAM_DOUBLE},
    {"draft", F0R_PARAM_BOOL},      {"reverse", F0R_PARAM_BOOL}};

TEST_F(PluginTest, InfoDefaultsAndRoundTrip) {
    f0r_plugin_info_t info{};
    p_.pluginInfo(&info);
    EXPECT_STREQ(info.name, "VelmorBlind");  // GStreamer's element frei0r-mixer-velmorblind
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_MIXER2);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    ASSERT_EQ(info.num_params, 14);
    for (int i = 0; i < 14; ++i) {
        f0r_param_info_t p{};
        p_.paramInfo(&p, i);
        EXPECT_EQ(std::make_pair(std::string(p.name), p.type), kParams[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(p.type != F0R_PARAM_DOUBLE ||
                    std::string(p.explanation).find("0 to 1") != std::string::npos)
            << p.name;
    }
    // The module's defaults; width 20 pixels on its curve 1 + 3999 v^3.
    const std::map<std::string, std::string> texts = {{"mode", "One"},      {"order", "Normal"},
                                                      {"easing", "Linear"}, {"easing_mode", "InOut"},
                                                      {"state", "Still"},   {"outside", "Mirror"}};
    for (const auto& [name, text] : texts) EXPECT_EQ(p_.text(inst_, name), text) << name;
    const std::map<std::string, double> numbers = {
        {"progress", 0.0}, {"delay", 0.1}, {"direction", 0.25}, {"offset", 0.0},
        {"seed", 0.0},     {"draft", 0.0}, {"reverse", 0.0},    {"band_width", std::cbrt(19.0 / 3999.0)}};
    for (const auto& [name, v] : numbers) EXPECT_NEAR(p_.number(inst_, name), v, 1e-15) << name;

    for (const auto& [name, v] : numbers) {
        p_.set(inst_, name, 1.0);
        EXPECT_EQ(p_.number(inst_, name), 1.0) << name;
    }
    // Choices as the renderer's --set takes them: the text in any case, or the 1-based number.
    p_.set(inst_, "mode", "2");
    EXPECT_EQ(p_.text(inst_, "mode"), "Both");
    p_.set(inst_, "easing_mode", "out");
    EXPECT_EQ(p_.text(inst_, "easing_mode"), "Out");
}

// The explanations hosts show are written in the module's own words: every choice it declares
// and their count, and Width's curve with the default's frei0r value.
TEST_F(PluginTest, ExplanationsNameTheModulesChoicesAndDefaults) {
    for (int i = 0; i < 14; ++i) {
        f0r_param_info_t p{};
        p_.paramInfo(&p, i);
        ASSERT_NE(p.explanation, nullptr);
        const std::string text = p.explanation;
        EXPECT_FALSE(text.empty()) << p.name;
        EXPECT_EQ(text.find_first_of("{}"), std::string::npos) << text;
        if (p.type != F0R_PARAM_STRING) continue;
        std::vector<std::string> choices;
        for (int n = 1; n <= 20; ++n) {
            p_.set(inst_, p.name, std::to_string(n).c_str());
            const std::string choice = p_.text(inst_, p.name);
            if (!choices.empty() && choice == choices.back()) break;  // no choice n: unchanged
            choices.push_back(choice);
        }
        for (const std::string& choice : choices) EXPECT_NE(text.find(choice), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with(", or 1 to " + std::to_string(choices.size()))) << text;
    }
    f0r_param_info_t width{};
    p_.paramInfo(&width, p_.index("band_width"));
    char value[32];
    std::snprintf(value, sizeof value, "(%.5f is 20 pixels)", p_.number(inst_, "band_width"));
    EXPECT_NE(std::string(width.explanation).find(value), std::string::npos) << width.explanation;
}

TEST_F(PluginTest, BadInputIsClampedIgnoredOrRefused) {
    p_.set(inst_, "progress", 0.5);
    p_.set(inst_, "progress", std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(p_.number(inst_, "progress"), 0.5);
    p_.set(inst_, "delay", -3.0);
    EXPECT_EQ(p_.number(inst_, "delay"), 0.0);
    p_.set(inst_, "band_width", std::numeric_limits<double>::infinity());
    EXPECT_EQ(p_.number(inst_, "band_width"), 1.0);
    p_.set(inst_, "state", "Move");
    for (const char* bad : {"Sideways", "0", "4", "1.5", "", static_cast<const char*>(nullptr)})
        p_.set(inst_, "state", bad);
    EXPECT_EQ(p_.text(inst_, "state"), "Move");
    double v = 0.7;
    p_.setParam(inst_, &v, 14);
    p_.getParam(inst_, &v, -1);
    p_.setParam(inst_, nullptr, 0);
    p_.setParam(nullptr, &v, 0);
    EXPECT_EQ(v, 0.7);
    EXPECT_EQ(p_.number(inst_, "progress"), 0.5);

    for (auto [w, h] : {std::pair<unsigned, unsigned>{0, 16}, {16, 0}, {30001, 16}, {16, UINT_MAX}})
        EXPECT_EQ(p_.construct(w, h), nullptr) << w << " x " << h;
    p_.destruct(nullptr);

    // No first input: the second (or transparent black); no output or instance: nothing happens.
    const Frame b = picture(24, 16, 2);
    Frame out(b.size(), 0xDEADBEEFu);
    p_.update2(inst_, 0.0, nullptr, b.data(), nullptr, out.data());
    EXPECT_TRUE(out == b);
    p_.update2(inst_, 0.0, nullptr, nullptr, nullptr, out.data());
    p_.update2(inst_, 0.0, b.data(), b.data(), nullptr, nullptr);
    p_.update2(nullptr, 0.0, b.data(), b.data(), nullptr, out.data());
    EXPECT_TRUE(out == Frame(b.size(), 0u));
}

// Kdenlive's reading of its description: "default" is the value MLT stores (here the frei0r value),
// the panel shows a stored value x "factor" between "min" and "max". The file must agree with the
// plug-in on every name, type, default, range and choice, and cover every parameter.
TEST_F(PluginTest, KdenliveDescriptionMatchesThePlugin) {
    std::stringstream file;
    file << std::ifstream(VELMOR_KDENLIVE_XML).rdbuf();
    const std::string xml = file.str();
    EXPECT_NE(xml.find("tag=\"frei0r.velmorblind\""), std::string::npos);
    std::map<std::string, int> described;
    for (std::size_t at = xml.find("<parameter "); at != std::string::npos;
         at = xml.find("<parameter ", at + 1)) {
        const std::string tag = xml.substr(at, xml.find('>', at) - at);
        std::map<std::string, std::string> a;  // attributes, written name="value"
        for (std::size_t eq = tag.find("=\""); eq != std::string::npos; eq = tag.find("=\"", eq + 1)) {
            const std::size_t start = tag.rfind(' ', eq) + 1, end = tag.find('"', eq + 2);
            a[tag.substr(start, eq - start)] = tag.substr(eq + 2, end - eq - 2);
        }
        const std::string name = a["name"], type = a["type"];
        const std::string label =
            xml.substr(xml.find("<name>", at) + 6, xml.find("</name>", at) - xml.find("<name>", at) - 6);
        if (type == "fixed") {
            // Not in the panel: progress keyed from 0 on the composition's first frame to 1 on its
            // last (MLT's -1), as written.
            EXPECT_EQ(name, "progress");
            EXPECT_EQ(a["value"], "0=0;-1=1");
            EXPECT_EQ(a["default"], a["value"]);
            EXPECT_EQ(p_.number(inst_, name), 0.0);
            described[name] = F0R_PARAM_DOUBLE;
            continue;
        }
        const std::map<std::string, int> types = {
            {"list", F0R_PARAM_STRING}, {"bool", F0R_PARAM_BOOL}, {"constant", F0R_PARAM_DOUBLE}};
        ASSERT_TRUE(types.count(type)) << name << " has type " << type;
        described[name] = types.at(type);
        if (type == "list") {
            EXPECT_EQ(a["default"], p_.text(inst_, name)) << name;
            // The plug-in's choices in its order: choice n is what the number n selects.
            std::string choices;
            for (int n = 1;; ++n) {
                p_.set(inst_, name, std::to_string(n).c_str());
                const std::string choice = p_.text(inst_, name);
                if (n > 1 && choices.ends_with(";" + choice)) break;
                choices += (n > 1 ? ";" : "") + choice;
            }
            EXPECT_EQ(a["paramlist"], choices) << name;
            const std::string display =
                xml.substr(xml.find("<paramlistdisplay>", at) + 18,
                           xml.find("</paramlistdisplay>", at) - xml.find("<paramlistdisplay>", at) - 18);
            EXPECT_EQ(std::count(display.begin(), display.end(), ','),
                      std::count(choices.begin(), choices.end(), ';'))
                << name << ": " << display;
            continue;
        }
        if (type == "bool") {
            EXPECT_EQ(a["default"], "0") << name;
            EXPECT_EQ(p_.number(inst_, name), 0.0) << name;
            continue;
        }
        // Numbers: the whole frei0r range 0..1 on the panel, the default in MLT's units.
        const double factor = std::stod(a["factor"]);
        EXPECT_EQ(std::stod(a["min"]), 0.0) << name;
        EXPECT_EQ(std::stod(a["max"]), factor) << name;
        EXPECT_NEAR(std::stod(a["default"]), p_.number(inst_, name), 0.5 / factor / 100) << name;
        if (name == "band_width") {
            // The label states the plug-in's own curve: "A + B x value^3" in its explanation.
            f0r_param_info_t info{};
            p_.paramInfo(&info, p_.index(name));
            const std::string explanation = info.explanation;
            const std::size_t colon = explanation.find(": ") + 2;
            const std::string curve = explanation.substr(colon, explanation.find(" x ") - colon);
            EXPECT_NE(label.find("(" + curve + " × (value / " + a["factor"] + ")³ px)"), std::string::npos)
                << label << " / " << explanation;
        }
    }
    EXPECT_TRUE(described == (std::map<std::string, int>(kParams.begin(), kParams.end())));
}

}  // namespace
}  // namespace vfrei0r::testing
