// Parameter values: constant and keyframed, interpolated or held, refused when the definition
// does not accept them, and encoded at check-out the way the host hands them to a module.
#include "Effect.h"
#include "Host.h"
#include "ScriptedModule.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vhost {
namespace {

using vtest::script;

enum { kPopup = 1, kFixed, kFloat, kAngle, kSlider, kCount };

class ParamValueTest : public ::testing::Test {
protected:
    void SetUp() override {
        script() = [](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**) -> PF_Err {
            if (cmd != PF_Cmd_PARAMS_SETUP) return PF_Err_NONE;
            PF_ParamDef defs[] = {vtest::popupDef("Mode", 3, 2, "A|B|C"),
                                  vtest::fixedDef("Completion", 0, 100, 10),
                                  vtest::floatDef("Width", 1.0f, 4000.0f, 20.0f),
                                  vtest::angleDef("Direction", 90), vtest::sliderDef("Seed", 0, 10000, 0)};
            for (PF_ParamDef& d : defs)
                if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &d)) return err;
            out->num_params = kCount;
            return PF_Err_NONE;
        };
        ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
        ASSERT_EQ(effect.paramCount(), kCount);
    }
    void TearDown() override { script() = nullptr; }

    // What a module gets from checkout_param at frame f (30 frames per second).
    PF_ParamDef at(int index, A_long frame) { return effect.paramAt(index, effect.frameTime(frame)); }

    Host host{Host::Options{1}};
    Effect effect{host, vtest::scriptedModule()};
};

TEST_F(ParamValueTest, DefaultsCheckOutInTheHostEncodings) {
    EXPECT_EQ(at(kPopup, 0).u.pd.value, 2);
    EXPECT_EQ(at(kFixed, 0).u.fd.value, 0x000A0000);
    EXPECT_EQ(at(kFloat, 0).u.fs_d.value, 20.0);
    EXPECT_EQ(at(kAngle, 0).u.ad.value, 0x005A0000);
    EXPECT_EQ(at(kSlider, 0).u.sd.value, 0);
    // The record is the declared one apart from the value.
    EXPECT_STREQ(at(kFixed, 0).name, "Completion");
    EXPECT_EQ(at(kFixed, 0).u.fd.valid_max, 0x00640000);
}

TEST_F(ParamValueTest, FixedPointRoundsToNearestWithHalvesAwayFromZero) {
    ASSERT_TRUE(effect.setValue(kFixed, 33.3));  // 2182348.8 sixty-five-thousandths
    EXPECT_EQ(at(kFixed, 0).u.fd.value, 0x00214CCD);
    ASSERT_TRUE(effect.setValue(kAngle, 0x1p-17));  // exactly half of the last bit
    EXPECT_EQ(at(kAngle, 0).u.ad.value, 1);
    ASSERT_TRUE(effect.setValue(kAngle, -0x1p-17));
    EXPECT_EQ(at(kAngle, 0).u.ad.value, -1);
    ASSERT_TRUE(effect.setValue(kAngle, -450.25));
    EXPECT_EQ(at(kAngle, 0).u.ad.value, -0x01C24000);
    ASSERT_TRUE(effect.setValue(kFloat, 0x1.0000000000001p+0));  // doubles pass unrounded
    EXPECT_EQ(at(kFloat, 0).u.fs_d.value, 0x1.0000000000001p+0);
}

TEST_F(ParamValueTest, NumbersInterpolateLinearlyBetweenKeysAndHoldBeyondThem) {
    ASSERT_TRUE(effect.setKeyframe(kFixed, effect.frameTime(10), 100));
    ASSERT_TRUE(effect.setKeyframe(kFixed, effect.frameTime(0), 0));  // out of order is fine
    EXPECT_EQ(effect.keyframeCount(kFixed), 2);
    EXPECT_EQ(at(kFixed, -3).u.fd.value, 0);
    EXPECT_EQ(at(kFixed, 0).u.fd.value, 0);
    EXPECT_EQ(at(kFixed, 3).u.fd.value, 0x001E0000);
    EXPECT_EQ(at(kFixed, 5).u.fd.value, 0x00320000);
    EXPECT_EQ(at(kFixed, 10).u.fd.value, 0x00640000);
    EXPECT_EQ(at(kFixed, 25).u.fd.value, 0x00640000);

    ASSERT_TRUE(effect.setKeyframe(kFloat, effect.frameTime(0), 1.0));
    ASSERT_TRUE(effect.setKeyframe(kFloat, effect.frameTime(4), 4000.0));
    EXPECT_EQ(at(kFloat, 1).u.fs_d.value, 1000.75);

    // Integer sliders interpolate and round: 2.5 becomes 3.
    ASSERT_TRUE(effect.setKeyframe(kSlider, effect.frameTime(0), 0));
    ASSERT_TRUE(effect.setKeyframe(kSlider, effect.frameTime(4), 10));
    EXPECT_EQ(at(kSlider, 1).u.sd.value, 3);
    EXPECT_EQ(at(kSlider, 2).u.sd.value, 5);
}

TEST_F(ParamValueTest, PopupsHoldTheLastKey) {
    ASSERT_TRUE(effect.setKeyframe(kPopup, effect.frameTime(0), 1));
    ASSERT_TRUE(effect.setKeyframe(kPopup, effect.frameTime(10), 3));
    EXPECT_EQ(at(kPopup, -5).u.pd.value, 1);
    EXPECT_EQ(at(kPopup, 9).u.pd.value, 1);
    EXPECT_EQ(at(kPopup, 10).u.pd.value, 3);
    EXPECT_EQ(at(kPopup, 15).u.pd.value, 3);
}

TEST_F(ParamValueTest, TimesInOtherScalesMeanTheSameInstants) {
    ASSERT_TRUE(effect.setKeyframe(kAngle, A_Time{0, 30}, 0));
    ASSERT_TRUE(effect.setKeyframe(kAngle, A_Time{30, 30}, 360));
    EXPECT_EQ(effect.paramAt(kAngle, A_Time{12, 24}).u.ad.value, 0x00B40000);  // half a second: 180
    // A key at the same instant in another scale replaces the old one.
    ASSERT_TRUE(effect.setKeyframe(kAngle, A_Time{60, 60}, 720));
    EXPECT_EQ(effect.keyframeCount(kAngle), 2);
    EXPECT_EQ(effect.valueAt(kAngle, A_Time{1, 1}), 720.0);
}

TEST_F(ParamValueTest, ASetValueDropsTheKeys) {
    ASSERT_TRUE(effect.setKeyframe(kFixed, effect.frameTime(0), 0));
    ASSERT_TRUE(effect.setKeyframe(kFixed, effect.frameTime(10), 100));
    ASSERT_TRUE(effect.setValue(kFixed, 42));
    EXPECT_EQ(effect.keyframeCount(kFixed), 0);
    EXPECT_EQ(at(kFixed, 5).u.fd.value, 0x002A0000);
}

TEST_F(ParamValueTest, RefusesValuesTheDefinitionDoesNotAccept) {
    struct Case {
        int index;
        double value;
        const char* mentions;
    };
    const Case cases[] = {
        {kPopup, 0, "Mode"},          {kPopup, 4, "A|B|C"},           {kPopup, 1.5, "Mode"},
        {kFixed, 100.5, "100"},       {kFixed, -0.001, "Completion"}, {kFloat, 0.5, "4000"},
        {kFloat, 4001, "Width"},      {kSlider, 2.5, "whole"},        {kSlider, 10001, "10000"},
        {kAngle, 40000, "Direction"}, {kFixed, NAN, "finite"},        {0, 1, "layer"},
        {kCount, 1, "no parameter"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(effect.setValue(c.index, c.value, &error)) << c.index << " " << c.value;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        if (c.index > 0 && c.index < kCount) {
            error.clear();
            EXPECT_FALSE(effect.setKeyframe(c.index, effect.frameTime(1), c.value, &error));
            EXPECT_FALSE(error.empty());
        }
    }
    // Nothing refused was stored; the limits themselves are accepted.
    EXPECT_EQ(at(kFixed, 1).u.fd.value, 0x000A0000);
    EXPECT_EQ(effect.keyframeCount(kFixed), 0);
    EXPECT_TRUE(effect.setValue(kFixed, 100));
    EXPECT_TRUE(effect.setValue(kFloat, 1));
    EXPECT_TRUE(effect.setValue(kPopup, 3));
    EXPECT_FALSE(effect.setKeyframe(kFixed, A_Time{1, 0}, 5));
}

TEST_F(ParamValueTest, CommandsSeeTheValuesAtTheCurrentTime) {
    ASSERT_TRUE(effect.setKeyframe(kFixed, effect.frameTime(0), 0));
    ASSERT_TRUE(effect.setKeyframe(kFixed, effect.frameTime(10), 100));
    effect.setFrame(5);
    PF_ParamDef** params = effect.currentParams();
    EXPECT_EQ(params[kFixed]->u.fd.value, 0x00320000);

    PF_ParamDef viaCallback{};
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**) {
        const PF_Err err = in->inter.checkout_param(in->effect_ref, kFixed, in->current_time, in->time_step,
                                                    in->time_scale, &viaCallback);
        in->inter.checkin_param(in->effect_ref, &viaCallback);
        return err;
    };
    ASSERT_EQ(effect.command(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(viaCallback.u.fd.value, 0x00320000);
}

}  // namespace
}  // namespace vhost
