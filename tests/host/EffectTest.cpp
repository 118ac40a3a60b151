// The effect instance: the records it builds for each command, global data, parameter
// declaration, UI updates and the parameter check-outs a module makes through PF_InData.
#include "Effect.h"
#include "Host.h"
#include "ScriptedModule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace vhost {
namespace {

using vtest::script;

class EffectTest : public ::testing::Test {
protected:
    void TearDown() override { script() = nullptr; }

    // A ParamsSetup that declares a popup and a fixed slider, the way a module does.
    static PF_Err declareTwo(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**) {
        if (cmd != PF_Cmd_PARAMS_SETUP) return PF_Err_NONE;
        char names[] = "One|Two|Three";
        PF_ParamDef popup = vtest::popupDef("Order", 3, 1, names);
        if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &popup)) return err;
        std::memset(names, 'x', sizeof names - 1);  // the module's string dies; the host's copy stays
        PF_ParamDef fixed = vtest::fixedDef("Amount", 0, 100, 10);
        if (PF_Err err = in->inter.add_param(in->effect_ref, -1, &fixed)) return err;
        out->num_params = 3;
        return PF_Err_NONE;
    }

    Host host{Host::Options{1}};
};

TEST_F(EffectTest, InDataCarriesTheHostTablesTimeAndIdentity) {
    Effect effect(host, vtest::scriptedModule());
    effect.setTimeBase(100, 2400, 24000);
    effect.setFrame(7);
    PF_EffectWorld world{};
    world.width = 64;
    world.height = 48;
    effect.setLayer(0, world);
    PF_InData seen{};
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**) {
        seen = *in;
        return PF_Err_NONE;
    };
    EXPECT_EQ(effect.command(PF_Cmd_FRAME_SETUP, nullptr, nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(seen.pica_basicP, host.basicSuite());
    EXPECT_EQ(seen.utils, host.utilCallbacks());
    EXPECT_EQ(seen.effect_ref, effect.ref());
    EXPECT_EQ(Effect::fromRef(seen.effect_ref), &effect);
    EXPECT_EQ(seen.current_time, 700);
    EXPECT_EQ(seen.time_step, 100);
    EXPECT_EQ(seen.time_scale, 2400u);
    EXPECT_EQ(seen.total_time, 24000);
    EXPECT_EQ(seen.num_params, 1);  // the input layer before PARAMS_SETUP
    EXPECT_EQ(seen.width, 64);
    EXPECT_EQ(seen.height, 48);
    EXPECT_NE(seen.inter.add_param, nullptr);
    EXPECT_NE(seen.inter.checkout_param, nullptr);
    EXPECT_NE(seen.inter.checkin_param, nullptr);

    int notAnEffect = 0;
    EXPECT_EQ(Effect::fromRef(reinterpret_cast<PF_ProgPtr>(&notAnEffect)), nullptr);
    EXPECT_EQ(Effect::fromRef(nullptr), nullptr);
    // An instance that has ended is no longer recognised.
    auto other = std::make_unique<Effect>(host, vtest::scriptedModule());
    volatile std::uintptr_t gone = reinterpret_cast<std::uintptr_t>(other->ref());
    EXPECT_EQ(Effect::fromRef(reinterpret_cast<PF_ProgPtr>(gone)), other.get());
    other.reset();
    EXPECT_EQ(Effect::fromRef(reinterpret_cast<PF_ProgPtr>(gone)), nullptr);

    int context = 0;
    effect.setRenderContext(&context);
    EXPECT_EQ(Effect::fromRef(effect.ref())->renderContext(), &context);
}

TEST_F(EffectTest, GlobalDataIsKeptAfterSetupAndHandedBackAtSetdown) {
    PF_Handle made = nullptr, seenAtSetdown = nullptr;
    script() = [&](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**) {
        auto* handles = vtest::acquire<PF_HandleSuite2>(in->pica_basicP, kPFHandleSuite, 2);
        if (cmd == PF_Cmd_GLOBAL_SETUP) out->global_data = made = handles->host_new_handle(4);
        if (cmd == PF_Cmd_GLOBAL_SETDOWN) {
            seenAtSetdown = in->global_data;
            handles->host_dispose_handle(in->global_data);
        }
        in->pica_basicP->ReleaseSuite(kPFHandleSuite, 2);
        return PF_Err_NONE;
    };
    {
        Effect effect(host, vtest::scriptedModule());
        ASSERT_EQ(effect.globalSetup(), PF_Err_NONE);
        EXPECT_EQ(effect.globalData(), made);
        EXPECT_TRUE(host.ledger().balanced({{"handle", 1}})) << host.ledger().describe();
        PF_InData in = effect.makeInData();
        EXPECT_EQ(in.global_data, made);
        EXPECT_EQ(effect.globalSetdown(), PF_Err_NONE);
        EXPECT_EQ(seenAtSetdown, made);
        EXPECT_EQ(effect.globalData(), nullptr);
        EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();

        // Set up again and let the instance's end send the set-down.
        ASSERT_EQ(effect.globalSetup(), PF_Err_NONE);
        seenAtSetdown = nullptr;
    }
    EXPECT_EQ(seenAtSetdown, made);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
}

TEST_F(EffectTest, AFailedGlobalSetupLeavesNoGlobalData) {
    script() = [&](PF_Cmd cmd, PF_InData*, PF_OutData* out, PF_ParamDef**) {
        if (cmd == PF_Cmd_GLOBAL_SETDOWN) ADD_FAILURE() << "set-down after a failed set-up";
        out->my_version = 5;
        out->global_data = reinterpret_cast<PF_Handle>(out);
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    };
    Effect effect(host, vtest::scriptedModule());
    EXPECT_EQ(effect.globalSetup(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(effect.globalData(), nullptr);
    EXPECT_EQ(effect.lastOutData().my_version, 5u);  // what the module wrote stays readable
}

TEST_F(EffectTest, GlobalSetupDisagreeingWithThePropertyListIsAFault) {
    Pipl pipl;
    pipl.version = PF_VERSION(1, 3, 0, PF_Stage_RELEASE, 1);
    pipl.outFlags = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI;
    pipl.outFlags2 = PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE;
    script() = [&](PF_Cmd, PF_InData*, PF_OutData* out, PF_ParamDef**) {
        out->my_version = *pipl.version;
        out->out_flags = *pipl.outFlags;
        out->out_flags2 = PF_OutFlag2_FLOAT_COLOR_AWARE;  // one bit short
        return PF_Err_NONE;
    };
    Effect effect(host, vtest::scriptedModule(pipl));
    EXPECT_EQ(effect.globalSetup(), PF_Err_NONE);
    ASSERT_EQ(host.ledger().faults().size(), 1u);
    EXPECT_NE(host.ledger().faults()[0].find("out_flags2"), std::string::npos);
}

TEST_F(EffectTest, RawCommandsUseTheCallersRecordsAndAnEscapingExceptionIsCaught) {
    Effect effect(host, vtest::scriptedModule());
    PF_InData in = effect.makeInData();
    PF_OutData out;
    std::memset(&out, 0x5A, sizeof out);
    script() = [](PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**) { return PF_Err_NONE; };
    EXPECT_EQ(effect.command(PF_Cmd_UNUSED_0, in, out, nullptr, nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(std::memcmp(&effect.lastOutData(), &out, sizeof out), 0);

    script() = [](PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**) -> PF_Err { throw 42; };
    EXPECT_EQ(effect.command(PF_Cmd_ABOUT, nullptr, nullptr, nullptr), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.ledger().faults().size(), 1u);
}

TEST_F(EffectTest, AddParamAppendsCopiesOfTheDefinitions) {
    Effect effect(host, vtest::scriptedModule());
    script() = &declareTwo;
    ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
    ASSERT_EQ(effect.paramCount(), 3);
    EXPECT_EQ(effect.declaredParamCount(), 3);
    EXPECT_EQ(effect.definition(0).param_type, PF_Param_LAYER);
    EXPECT_EQ(effect.definition(1).param_type, PF_Param_POPUP);
    EXPECT_STREQ(effect.definition(1).name, "Order");
    EXPECT_STREQ(effect.definition(1).u.pd.u.namesptr, "One|Two|Three");
    EXPECT_EQ(effect.choices(1), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(effect.definition(2).u.fd.dephault, 0x000A0000);
    EXPECT_EQ(effect.findParam("Amount"), 2);
    EXPECT_EQ(effect.findParam("Missing"), -1);
    EXPECT_EQ(host.ledger().callsOf("add_param"), 2);

    // A second set-up starts over instead of appending to the first.
    ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(effect.paramCount(), 3);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
}

TEST_F(EffectTest, AddParamRefusesWhatItCannotKeep) {
    Effect effect(host, vtest::scriptedModule());
    PF_Err results[6] = {};
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**) {
        PF_ParamDef good = vtest::sliderDef("Seed", 0, 10, 0);
        PF_ParamDef wrongCount = vtest::popupDef("P", 3, 1, "a|b");
        PF_ParamDef noNames = vtest::popupDef("P", 1, 1, nullptr);
        PF_ParamDef unknown = good;
        unknown.param_type = PF_Param_COLOR;
        results[0] = in->inter.add_param(in->effect_ref, 5, &good);
        results[1] = in->inter.add_param(in->effect_ref, -1, &wrongCount);
        results[2] = in->inter.add_param(in->effect_ref, -1, &noNames);
        results[3] = in->inter.add_param(in->effect_ref, -1, &unknown);
        results[4] = in->inter.add_param(in->effect_ref, -1, nullptr);
        results[5] = in->inter.add_param(in->effect_ref, 1, &good);  // the next index: appends
        return PF_Err_NONE;
    };
    effect.command(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr);
    EXPECT_EQ(results[0], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(results[1], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(results[2], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(results[3], PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_EQ(results[4], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(results[5], PF_Err_NONE);
    EXPECT_EQ(effect.paramCount(), 2);
}

TEST_F(EffectTest, AnInjectedAddParamFailureAddsNothing) {
    Effect effect(host, vtest::scriptedModule());
    script() = &declareTwo;
    host.ledger().failOp("add_param", 2, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(effect.paramsSetup(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(effect.paramCount(), 2);
    EXPECT_EQ(effect.declaredParamCount(), 0);
}

TEST_F(EffectTest, AMiscountedParamsSetupIsAFault) {
    Effect effect(host, vtest::scriptedModule());
    script() = [](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef** p) {
        const PF_Err err = declareTwo(cmd, in, out, p);
        out->num_params = 4;
        return err;
    };
    EXPECT_EQ(effect.paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(host.ledger().faults().size(), 1u);
}

TEST_F(EffectTest, UpdateParamUIStoresTheFlagsOfTheCopyItIsGiven) {
    Effect effect(host, vtest::scriptedModule());
    script() = &declareTwo;
    ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
    ASSERT_TRUE(effect.setValue(1, 3));

    PF_Err results[5] = {};
    A_long orderSeen = 0;
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef** params) {
        auto* utils = vtest::acquire<PF_ParamUtilsSuite2>(in->pica_basicP, kPFParamUtilsSuite, 2);
        orderSeen = params[1]->u.pd.value;
        PF_ParamDef copy = *params[2];
        copy.ui_flags |= PF_PUI_DISABLED;
        results[0] = utils->PF_UpdateParamUI(in->effect_ref, 2, &copy);
        results[1] = utils->PF_UpdateParamUI(in->effect_ref, 2, params[2]);  // not a copy
        results[2] = utils->PF_UpdateParamUI(in->effect_ref, 1, &copy);      // another type
        results[3] = utils->PF_UpdateParamUI(in->effect_ref, 3, &copy);      // no such index
        results[4] = utils->PF_UpdateParamUI(nullptr, 2, &copy);
        in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, 2);
        return PF_Err_NONE;
    };
    EXPECT_EQ(effect.updateParamsUI(), PF_Err_NONE);
    EXPECT_EQ(orderSeen, 3);  // the records carry the current values
    EXPECT_EQ(results[0], PF_Err_NONE);
    EXPECT_EQ(results[1], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(results[2], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(results[3], PF_Err_INVALID_INDEX);
    EXPECT_EQ(results[4], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(effect.uiFlags(2), PF_PUI_DISABLED);
    EXPECT_EQ(effect.uiUpdates(2), 1);
    EXPECT_EQ(effect.uiFlags(1), 0);
    EXPECT_EQ(effect.uiUpdates(1), 0);
    ASSERT_EQ(host.ledger().faults().size(), 1u);  // the host's own record handed over
    EXPECT_NE(host.ledger().faults()[0].find("not a copy"), std::string::npos);

    // An injected failure stores nothing.
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef** params) {
        auto* utils = vtest::acquire<PF_ParamUtilsSuite2>(in->pica_basicP, kPFParamUtilsSuite, 2);
        PF_ParamDef copy = *params[2];
        copy.ui_flags = 0;
        results[0] = utils->PF_UpdateParamUI(in->effect_ref, 2, &copy);
        in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, 2);
        return PF_Err_NONE;
    };
    host.ledger().failOp("PF_UpdateParamUI", 1, 21);
    effect.updateParamsUI();
    EXPECT_EQ(results[0], 21);
    EXPECT_EQ(effect.uiFlags(2), PF_PUI_DISABLED);
    EXPECT_EQ(effect.uiUpdates(2), 1);
}

TEST_F(EffectTest, WritingIntoTheHostsRecordsDuringUpdateParamsUIIsAFault) {
    Effect effect(host, vtest::scriptedModule());
    script() = &declareTwo;
    ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
    script() = [](PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef** params) {
        params[2]->ui_flags |= PF_PUI_DISABLED;
        return PF_Err_NONE;
    };
    effect.updateParamsUI();
    ASSERT_EQ(host.ledger().faults().size(), 1u);
    EXPECT_NE(host.ledger().faults()[0].find("parameter 2"), std::string::npos);
    EXPECT_EQ(effect.uiFlags(2), 0);  // and the write changed nothing the host keeps
}

TEST_F(EffectTest, CheckoutsAreCountedUntilCheckedIn) {
    Effect effect(host, vtest::scriptedModule());
    script() = &declareTwo;
    ASSERT_EQ(effect.paramsSetup(), PF_Err_NONE);
    std::vector<unsigned char> pixels(16);
    PF_EffectWorld world{};
    world.data = pixels.data();
    world.width = world.height = 2;
    world.rowbytes = 8;
    effect.setLayer(0, world);

    PF_ParamDef layer{}, amount{}, bad{};
    PF_Err results[4] = {};
    int openInside = 0;
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**) {
        results[0] = in->inter.checkout_param(in->effect_ref, 0, in->current_time, in->time_step,
                                              in->time_scale, &layer);
        results[1] = in->inter.checkout_param(in->effect_ref, 2, 0, 1, 30, &amount);
        results[2] = in->inter.checkout_param(in->effect_ref, 3, 0, 1, 30, &bad);
        results[3] = in->inter.checkout_param(in->effect_ref, 2, 0, 1, 0, &bad);
        openInside = host.ledger().openCount("param");
        in->inter.checkin_param(in->effect_ref, &amount);
        in->inter.checkin_param(in->effect_ref, &layer);
        return PF_Err_NONE;
    };
    effect.command(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, nullptr);
    EXPECT_EQ(results[0], PF_Err_NONE);
    EXPECT_EQ(results[1], PF_Err_NONE);
    EXPECT_EQ(results[2], PF_Err_INVALID_INDEX);
    EXPECT_EQ(results[3], PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(openInside, 2);
    EXPECT_EQ(layer.u.ld.data, pixels.data());
    EXPECT_EQ(layer.u.ld.rowbytes, 8);
    EXPECT_EQ(amount.u.fd.value, 0x000A0000);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();

    // An injected check-out failure opens nothing; a check-in without a check-out is a fault.
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**) {
        results[0] = in->inter.checkout_param(in->effect_ref, 2, 0, 1, 30, &amount);
        return PF_Err_NONE;
    };
    host.ledger().failOp("checkout_param", 1, 33);
    effect.command(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, nullptr);
    EXPECT_EQ(results[0], 33);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
    script() = [&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**) {
        results[0] = in->inter.checkin_param(in->effect_ref, &amount);
        return PF_Err_NONE;
    };
    effect.command(PF_Cmd_SMART_RENDER, nullptr, nullptr, nullptr);
    EXPECT_NE(results[0], PF_Err_NONE);
    EXPECT_FALSE(host.ledger().balanced());
}

TEST_F(EffectTest, ALayerWithoutPixelsChecksOutWithNullData) {
    Effect effect(host, vtest::scriptedModule());
    const PF_ParamDef input = effect.paramAt(0, effect.currentTime());
    EXPECT_EQ(input.param_type, PF_Param_LAYER);
    EXPECT_EQ(input.u.ld.data, nullptr);
}

}  // namespace
}  // namespace vhost
