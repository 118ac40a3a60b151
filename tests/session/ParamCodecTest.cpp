// The host's codec per parameter type: what a definition accepts, and a value's trip into the
// record and back. An angle without a declared range is checked through both users of the codec,
// the host's setValue and the session's control description, which must agree.
#include "Controls.h"
#include "Effect.h"
#include "Host.h"
#include "Module.h"
#include "ParamCodec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>

namespace {

PF_ParamDef declared(PF_ParamType type) {
    PF_ParamDef d{};
    d.param_type = type;
    return d;
}

TEST(ParamCodec, ValuesSurviveTheRecordInEachTypesEncoding) {
    PF_ParamDef slider = declared(PF_Param_SLIDER);
    slider.u.sd.valid_min = -5;
    slider.u.sd.valid_max = 500;
    PF_ParamDef fixed = declared(PF_Param_FIX_SLIDER);
    fixed.u.fd.valid_min = vhost::toFixed(0);
    fixed.u.fd.valid_max = vhost::toFixed(100);
    PF_ParamDef angle = declared(PF_Param_ANGLE);
    PF_ParamDef popup = declared(PF_Param_POPUP);
    popup.u.pd.num_choices = 3;
    PF_ParamDef floating = declared(PF_Param_FLOAT_SLIDER);
    floating.u.fs_d.valid_min = 1;
    floating.u.fs_d.valid_max = 4000;
    struct Case {
        PF_ParamDef* def;
        double value, back, min, max;
    };
    const Case cases[] = {
        {&slider, 42.0, 42.0, -5, 500},
        {&slider, 2.5, 3.0, -5, 500},  // whole numbers, halves away from zero
        {&fixed, 37.5, 37.5, 0, 100},
        {&fixed, 0.1, 6554 / 65536.0, 0, 100},  // nearest 1/65536
        {&angle, -45.25, -45.25, vhost::kAngleMin, vhost::kAngleMax},
        {&popup, 2.0, 2.0, 1, 3},
        {&floating, 20.25, 20.25, 1, 4000},
    };
    for (const Case& c : cases) {
        const vhost::ParamCodec* codec = vhost::paramCodec(c.def->param_type);
        ASSERT_NE(codec, nullptr) << c.def->param_type;
        codec->encode(*c.def, c.value);
        EXPECT_EQ(codec->decode(*c.def), c.back) << codec->typeName;
        const vhost::ParamRange r = codec->valid(*c.def);
        EXPECT_EQ(r.min, c.min) << codec->typeName;
        EXPECT_EQ(r.max, c.max) << codec->typeName;
    }
    // Whole-number types hold to 32 bits instead of wrapping.
    vhost::paramCodec(PF_Param_SLIDER)->encode(slider, 1e12);
    EXPECT_EQ(slider.u.sd.value, INT_MAX);
    vhost::paramCodec(PF_Param_POPUP)->encode(popup, -1e12);
    EXPECT_EQ(popup.u.pd.value, INT_MIN);
    // Layers carry an image, not a value; types the host does not know have no codec.
    EXPECT_EQ(vhost::paramCodec(PF_Param_LAYER), nullptr);
    EXPECT_EQ(vhost::paramCodec(PF_Param_COLOR), nullptr);
}

TEST(ParamCodec, PopupChoicesSplitAtBars) {
    PF_ParamDef popup = declared(PF_Param_POPUP);
    EXPECT_TRUE(vhost::popupChoices(popup).empty());
    popup.u.pd.u.namesptr = "One|Two||Four";
    EXPECT_EQ(vhost::popupChoices(popup), (std::vector<std::string>{"One", "Two", "", "Four"}));
    PF_ParamDef slider = declared(PF_Param_SLIDER);
    slider.u.pd.u.namesptr = "One|Two";  // the same bytes, read as a slider: no choices
    EXPECT_TRUE(vhost::popupChoices(slider).empty());
}

// An effect that declares two angles: one with no range (valid_min == valid_max, both 10), one
// limited to 0..90 degrees.
PF_Err twoAngles(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
    if (cmd != PF_Cmd_PARAMS_SETUP) return PF_Err_NONE;
    PF_ParamDef def{};
    def.param_type = PF_Param_ANGLE;
    std::strcpy(def.name, "Free");
    def.u.ad.valid_min = def.u.ad.valid_max = vhost::toFixed(10);
    if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
    std::strcpy(def.name, "Limited");
    def.u.ad.valid_min = 0;
    def.u.ad.valid_max = vhost::toFixed(90);
    if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &def)) return err;
    out->num_params = 3;
    return PF_Err_NONE;
}

TEST(ParamCodec, AnAngleWithoutARangeTakesWhatFixedPointHoldsInHostAndSession) {
    vhost::Host host{vhost::Host::Options{1}};
    vhost::Effect effect(host, vhost::Module::fromEntryPoint(&twoAngles));
    ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
    const vsession::ControlDef free = vsession::describeControl(1, effect.definition(1));
    const vsession::ControlDef limited = vsession::describeControl(2, effect.definition(2));
    EXPECT_FALSE(free.hasRange);
    EXPECT_EQ(free.validMin, -32768.0);
    EXPECT_EQ(free.validMax, 32767.0);
    EXPECT_TRUE(limited.hasRange);
    EXPECT_EQ(limited.validMax, 90.0);
    for (double v : {-32768.0, 32767.0, 0.0}) {
        EXPECT_TRUE(effect.setValue(1, v)) << v;
        EXPECT_TRUE(vsession::readValue(free, std::to_string(v))) << v;
    }
    for (double v : {-32768.5, 32767.5}) {
        EXPECT_FALSE(effect.setValue(1, v)) << v;
        EXPECT_FALSE(vsession::readValue(free, std::to_string(v))) << v;
    }
    EXPECT_FALSE(effect.setValue(2, 91));
    EXPECT_FALSE(vsession::readValue(limited, "91"));
    // The extreme survives the record: -32768 degrees is the lowest 16.16 value.
    ASSERT_TRUE(effect.setValue(1, -32768.0));
    const PF_ParamDef d = effect.paramAt(1, effect.currentTime());
    EXPECT_EQ(d.u.ad.value, std::numeric_limits<PF_Fixed>::min());
    EXPECT_EQ(vsession::decodeValue(free, d), -32768.0);
}

}  // namespace
