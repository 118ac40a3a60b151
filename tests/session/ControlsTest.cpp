// The controls as the session reads them back from the module (loaded from disk through the host):
// their values in the host's records, as text, and the agreement between what the session reads
// as a value and what the host accepts.
#include "Controls.h"
#include "Effect.h"
#include "Module.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace vsession;

namespace {

class ControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        session_ = new Session(loadModule(VELMOR_MODULE_PATH), vhost::Host::Options{1});
        session_->setUp();
    }
    static void TearDownTestSuite() {
        delete session_;
        session_ = nullptr;
    }
    const std::vector<ControlDef>& controls() const { return session_->controls(); }
    const ControlDef& control(const char* name) const {
        const ControlDef* c = findByName(controls(), name);
        if (!c) throw std::out_of_range(name);
        return *c;
    }

    static Session* session_;
};
Session* ControlsTest::session_ = nullptr;

}  // namespace

TEST_F(ControlsTest, FixedPointEncodingRoundsToNearest) {
    EXPECT_EQ(toFixed(100.0), 0x00640000);
    EXPECT_EQ(toFixed(10.0), 0x000A0000);
    EXPECT_EQ(toFixed(90.0), 0x005A0000);
    EXPECT_EQ(toFixed(-45.0), -0x002D0000);
    EXPECT_EQ(toFixed(0.1), 6554);    // 6553.6
    EXPECT_EQ(toFixed(-0.1), -6554);  // half away from zero on both sides
    EXPECT_EQ(toFixed(1.5 / 65536.0), 2);
    EXPECT_EQ(toFixed(-1.5 / 65536.0), -2);
    PF_ParamDef def{};
    const ControlDef& completion = control("Completion");
    encodeValue(completion, 37.5, def);
    EXPECT_EQ(def.u.fd.value, 0x00258000);
    EXPECT_EQ(decodeValue(completion, def), 37.5);
}

TEST_F(ControlsTest, ValuesPrintAsTheyAreTyped) {
    EXPECT_EQ(formatValue(control("Completion"), 37.5), "37.5%");
    EXPECT_EQ(formatValue(control("Width"), 20), "20.00");
    EXPECT_EQ(formatValue(control("Direction"), 30), "30.0\xC2\xB0");
    EXPECT_EQ(formatValue(control("Easing"), 3), "Cubic");
    EXPECT_EQ(formatValue(control("Seed"), 42), "42");
}

TEST_F(ControlsTest, WhatReadsAsAValueIsWhatTheHostAccepts) {
    vhost::Effect& effect = session_->effect();
    for (const ControlDef& c : controls()) {
        // Both ends of the range, written back as text, read again and are set.
        for (double v : {c.validMin, c.validMax}) {
            const auto read = readValue(c, formatValue(c, v));
            ASSERT_TRUE(read) << c.name << " " << formatValue(c, v);
            EXPECT_NEAR(*read, v, 0.05) << c.name;
            EXPECT_TRUE(effect.setValue(c.index, v)) << c.name << " " << v;
        }
        // Just beyond them, both refuse.
        for (double v : {c.validMin - 1, c.validMax + 1}) {
            EXPECT_FALSE(readValue(c, std::to_string(v))) << c.name << " " << v;
            EXPECT_FALSE(effect.setValue(c.index, v)) << c.name << " " << v;
        }
        EXPECT_TRUE(effect.setValue(c.index, c.defaultValue)) << c.name;
    }
    EXPECT_EQ(readValue(control("Easing Mode"), " in out "), 3.0);
    EXPECT_EQ(readValue(control("Completion"), "37.5 %"), 37.5);
    EXPECT_FALSE(readValue(control("Easing"), "Wobbly"));
    EXPECT_FALSE(readValue(control("Seed"), "2.5"));
    EXPECT_EQ(findByName(controls(), "Opacity"), nullptr);
}
