// The built module loaded from disk by the stand-in host and driven through its entry point:
// About, global set-up and set-down, parameter declaration and greying, missing suites, and a
// fault-injection sweep over every host call each of these commands makes.
#include "Effect.h"
#include "Host.h"
#include "Module.h"
#include "VelmorControls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// Suites by name and version; the handler's slot list.
const std::vector<std::pair<std::string, int>> kSuites = {
    {"PF Handle Suite", 2},         {"AEGP Utility Suite", 7}, {"PF Param Utils Suite", 2},
    {"AEGP PF Interface Suite", 1}, {"AEGP Layer Suite", 11},  {"AEGP Iterate Suite", 1},
    {"PF Iterate8 Suite", 1},       {"PF World Suite", 1},     {"PF World Suite", 2},
    {"PF Fill Matte Suite", 2},     {"PF Sampling8 Suite", 1}, {"PF Sampling16 Suite", 1},
    {"PF SamplingFloat Suite", 1},
};

// A host with the module loaded from disk and one effect instance of it.
struct Rig {
    vhost::Host host{vhost::Host::Options{1}};
    std::shared_ptr<vhost::Module> module;
    std::unique_ptr<vhost::Effect> effect;

    Rig() {
        std::string error;
        module = vhost::Module::load(VELMOR_MODULE, error);
        if (!module) throw std::runtime_error(error);
        effect = std::make_unique<vhost::Effect>(host, module);
    }
    ~Rig() {
        // The instance would send GLOBAL_SETDOWN on its way out; tests that look at the ledger
        // afterwards have already done so themselves.
        effect.reset();
    }
    vhost::Ledger& ledger() { return host.ledger(); }

    // Every suite the module acquired was released exactly as often, under the same name and
    // version; lists the ones that were not.
    std::string unbalancedSuites() const {
        std::string out;
        for (const auto& [name, version] : kSuites) {
            const int a = host.ledger().acquisitions(name, version);
            const int r = host.ledger().releases(name, version);
            if (a != r)
                out += name + " " + std::to_string(version) + ": acquired " + std::to_string(a) +
                       ", released " + std::to_string(r) + "; ";
        }
        return out;
    }
};

PF_OutData patternOut() {
    PF_OutData out;
    std::memset(&out, 0x5A, sizeof out);
    return out;
}

bool sameBytes(const PF_OutData& a, const PF_OutData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

A_long lockedLong(vhost::Host& host, PF_Handle h) {
    const A_long value = *static_cast<A_long*>(host.lockHandle(h));
    host.unlockHandle(h);
    return value;
}

}  // namespace

// ---- About ---------------------------------------------------------------------------------------

TEST(ModuleAbout, TextIsNameVersionCarriageReturnCreditAndNothingElseIsTouched) {
    Rig rig;
    PF_InData in = rig.effect->makeInData();
    PF_OutData out = patternOut();
    ASSERT_EQ(rig.effect->command(PF_Cmd_ABOUT, in, out, nullptr, nullptr, nullptr), PF_Err_NONE);
    const std::string text(out.return_msg);
    EXPECT_EQ(text, "VelmorBlind, v1.3.0\rA blinds transition by Tavelinor.");
    EXPECT_EQ(text.find('\r'), std::string("VelmorBlind, v1.3.0").size());

    // Only return_msg (up to its terminator) changed.
    PF_OutData expected = patternOut();
    std::memcpy(expected.return_msg, text.c_str(), text.size() + 1);
    EXPECT_TRUE(sameBytes(out, expected));
    EXPECT_TRUE(rig.ledger().callLog().empty()) << "About acquires nothing: " << rig.ledger().describe();
}

// ---- global set-up and set-down -------------------------------------------------------------------

TEST(ModuleGlobalSetup, VersionAndFlagsEqualThePropertyListTheHostRead) {
    Rig rig;
    const vhost::Pipl& pipl = rig.module->pipl();
    EXPECT_EQ(pipl.kind, "eFKT");
    EXPECT_EQ(pipl.name, "VelmorBlind");
    EXPECT_EQ(pipl.category, "Velmor");
    EXPECT_EQ(pipl.matchName, "VelmorBlind by Tavelinor");
    EXPECT_EQ(pipl.entryPoint, "EntryPointFunc");
    ASSERT_TRUE(pipl.version && pipl.outFlags && pipl.outFlags2);

    ASSERT_EQ(rig.effect->globalSetup(), PF_Err_NONE);
    const PF_OutData& out = rig.effect->lastOutData();
    EXPECT_EQ(out.my_version, *pipl.version);
    EXPECT_EQ(static_cast<std::uint32_t>(out.out_flags), *pipl.outFlags);
    EXPECT_EQ(static_cast<std::uint32_t>(out.out_flags2), *pipl.outFlags2);

    EXPECT_EQ(out.my_version, 0x00098601u);
    const vhost::EffectVersion v = vhost::decodeEffectVersion(out.my_version);
    EXPECT_EQ(v.major, 1u);
    EXPECT_EQ(v.minor, 3u);
    EXPECT_EQ(v.revision, 0u);
    EXPECT_EQ(v.stage, static_cast<unsigned>(PF_Stage_RELEASE));
    EXPECT_EQ(v.build, 1u);
    EXPECT_EQ(out.out_flags, PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI);
    EXPECT_EQ(out.out_flags2, PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE);
    EXPECT_TRUE(rig.ledger().faults().empty()) << rig.ledger().describe();
}

TEST(ModuleGlobalSetup, TheFourByteGlobalHandleHoldsTheIdTheHostReturned) {
    Rig rig;
    rig.host.nextPluginId();  // ids do not start where a zeroed handle would pass by chance
    rig.host.nextPluginId();
    ASSERT_EQ(rig.effect->globalSetup(), PF_Err_NONE);
    const PF_Handle global = rig.effect->globalData();
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(rig.host.handleSize(global), 4u);
    EXPECT_EQ(rig.host.lastPluginId(), 3);
    EXPECT_EQ(lockedLong(rig.host, global), 3);
    EXPECT_EQ(rig.host.lockCount(global), 0) << "the module unlocks what it locked";
    EXPECT_EQ(rig.host.registeredNames(), std::vector<std::string>{"Error!"});
    EXPECT_EQ(rig.unbalancedSuites(), "");
    EXPECT_TRUE(rig.ledger().balanced({{"handle", 1}})) << rig.ledger().describe();
}

TEST(ModuleGlobalSetup, HandleAllocationFailureGives512WithVersionAndFlagsAlreadySet) {
    Rig rig;
    rig.ledger().failOp("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
    PF_InData in = rig.effect->makeInData();
    PF_OutData out = patternOut();
    EXPECT_EQ(rig.effect->command(PF_Cmd_GLOBAL_SETUP, in, out, nullptr, nullptr, nullptr),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(out.my_version, 0x00098601u);
    EXPECT_EQ(out.out_flags, 0x06000000);
    EXPECT_EQ(out.out_flags2, 0x00001400);
    EXPECT_EQ(out.global_data, patternOut().global_data) << "no global data was handed over";
    EXPECT_EQ(rig.unbalancedSuites(), "");
    EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
}

TEST(ModuleGlobalSetup, ARefusedRegistrationPassesTheHostsErrorAndLeavesNoHandle) {
    Rig rig;
    rig.ledger().failOp("AEGP_RegisterWithAEGP", 1, PF_Err_INVALID_CALLBACK);
    PF_InData in = rig.effect->makeInData();
    PF_OutData out = patternOut();
    EXPECT_EQ(rig.effect->command(PF_Cmd_GLOBAL_SETUP, in, out, nullptr, nullptr, nullptr),
              PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(out.global_data, patternOut().global_data);
    EXPECT_EQ(rig.host.liveHandleCount(), 0u);
    EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
}

TEST(ModuleGlobalSetdown, DisposesOfTheGlobalHandle) {
    Rig rig;
    ASSERT_EQ(rig.effect->globalSetup(), PF_Err_NONE);
    ASSERT_EQ(rig.host.liveHandleCount(), 1u);
    const PF_Handle global = rig.effect->globalData();
    ASSERT_EQ(rig.effect->globalSetdown(), PF_Err_NONE);
    EXPECT_FALSE(rig.host.isLiveHandle(global));
    EXPECT_EQ(rig.ledger().callsOf("host_dispose_handle"), 1);
    EXPECT_EQ(rig.unbalancedSuites(), "");
    EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
}

TEST(ModuleGlobalSetdown, WithoutAHandleDisposesOfNothingAndSucceeds) {
    Rig rig;
    ASSERT_EQ(rig.effect->globalSetdown(), PF_Err_NONE);
    EXPECT_EQ(rig.ledger().callsOf("host_dispose_handle"), 0);
    EXPECT_EQ(rig.unbalancedSuites(), "");
    EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
}

// ---- commands outside the table --------------------------------------------------------------------

TEST(ModuleCommands, UnlistedCommandsSucceedAndLeaveOutDataUntouched) {
    Rig rig;
    ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
    rig.ledger().resetLog();
    const std::vector<PF_Cmd> unlisted = {PF_Cmd_UNUSED_0,
                                          PF_Cmd_SEQUENCE_SETUP,
                                          PF_Cmd_SEQUENCE_RESETUP,
                                          PF_Cmd_SEQUENCE_FLATTEN,
                                          PF_Cmd_SEQUENCE_SETDOWN,
                                          PF_Cmd_DO_DIALOG,
                                          PF_Cmd_FRAME_SETUP,
                                          PF_Cmd_RENDER,
                                          PF_Cmd_FRAME_SETDOWN,
                                          PF_Cmd_USER_CHANGED_PARAM,
                                          PF_Cmd_EVENT,
                                          PF_Cmd_GET_EXTERNAL_DEPENDENCIES,
                                          PF_Cmd_COMPLETELY_GENERAL,
                                          PF_Cmd_QUERY_DYNAMIC_FLAGS,
                                          PF_Cmd_AUDIO_RENDER,
                                          PF_Cmd_AUDIO_SETUP,
                                          PF_Cmd_AUDIO_SETDOWN,
                                          PF_Cmd_ARBITRARY_CALLBACK,
                                          25,
                                          26,
                                          100,
                                          0x7FFFFFFF,
                                          -1};
    for (PF_Cmd cmd : unlisted) {
        SCOPED_TRACE(cmd);
        PF_InData in = rig.effect->makeInData();
        PF_OutData out = patternOut();
        EXPECT_EQ(rig.effect->command(cmd, in, out, rig.effect->currentParams(), nullptr, nullptr),
                  PF_Err_NONE);
        EXPECT_TRUE(sameBytes(out, patternOut()));
    }
    EXPECT_TRUE(rig.ledger().callLog().empty()) << rig.ledger().describe();
}

// ---- missing suites ----------------------------------------------------------------------------------

TEST(ModuleMissingSuite, EachCommandReturns516AndNoExceptionReachesTheHost) {
    struct Case {
        std::string suite;
        int version;
        PF_Cmd cmd;
    };
    for (const Case& c :
         {Case{"PF Handle Suite", 2, PF_Cmd_GLOBAL_SETUP}, Case{"AEGP Utility Suite", 7, PF_Cmd_GLOBAL_SETUP},
          Case{"PF Handle Suite", 2, PF_Cmd_GLOBAL_SETDOWN},
          Case{"PF Param Utils Suite", 2, PF_Cmd_UPDATE_PARAMS_UI}}) {
        SCOPED_TRACE(c.suite + " for command " + std::to_string(c.cmd));
        Rig rig;
        ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
        PF_Handle global = nullptr;
        if (c.cmd == PF_Cmd_GLOBAL_SETDOWN) {
            ASSERT_EQ(rig.effect->globalSetup(), PF_Err_NONE);
            global = rig.effect->globalData();
        }
        rig.host.hideSuite(c.suite, c.version);
        PF_Err err;
        if (c.cmd == PF_Cmd_GLOBAL_SETDOWN) {
            err = rig.effect->globalSetdown();
        } else {
            PF_InData in = rig.effect->makeInData();
            PF_OutData out{};
            err = rig.effect->command(c.cmd, in, out, rig.effect->currentParams(), nullptr, nullptr);
        }
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(rig.unbalancedSuites(), "");
        // Only a global handle that could not be disposed of (no handle suite) stays behind.
        EXPECT_EQ(rig.host.liveHandleCount(), global ? 1u : 0u);
        EXPECT_TRUE(rig.ledger().faults().empty()) << rig.ledger().describe();
        if (global) rig.host.disposeHandle(global);  // the host cleans up after the failed set-down
    }
}

// ---- parameters ---------------------------------------------------------------------------------------

namespace {

// The definition the module must hand to add_param for a control of the table: all bytes zero
// but the fields the table gives, each in the host's encoding (16.16 for fixed sliders and
// angles, single precision for a float slider's range and default).
PF_ParamDef expectedDefinition(const ControlInfo& c) {
    PF_ParamDef d;
    std::memset(&d, 0, sizeof d);
    d.uu.id = c.index;
    d.flags = 32;  // collapse twirly, nothing else
    std::strcpy(d.name, c.name);
    d.param_type = c.type;
    auto fixed = [](double v) { return static_cast<PF_Fixed>(std::lround(v * 65536.0)); };
    switch (c.type) {
        case PF_Param_POPUP:
            d.u.pd.num_choices =
                static_cast<A_short>(std::count(c.choices, c.choices + std::strlen(c.choices), '|') + 1);
            d.u.pd.dephault = static_cast<A_short>(c.dephault);
            d.u.pd.value = d.u.pd.dephault;
            break;
        case PF_Param_FIX_SLIDER:
            d.u.fd.valid_min = fixed(c.valid_min);
            d.u.fd.valid_max = fixed(c.valid_max);
            d.u.fd.slider_min = fixed(c.slider_min);
            d.u.fd.slider_max = fixed(c.slider_max);
            d.u.fd.dephault = d.u.fd.value = fixed(c.dephault);
            d.u.fd.precision = c.precision;
            d.u.fd.display_flags = c.display_flags;
            break;
        case PF_Param_FLOAT_SLIDER:
            d.u.fs_d.valid_min = static_cast<float>(c.valid_min);
            d.u.fs_d.valid_max = static_cast<float>(c.valid_max);
            d.u.fs_d.slider_min = static_cast<float>(c.slider_min);
            d.u.fs_d.slider_max = static_cast<float>(c.slider_max);
            d.u.fs_d.dephault = static_cast<float>(c.dephault);
            d.u.fs_d.value = c.dephault;
            d.u.fs_d.precision = c.precision;
            d.u.fs_d.display_flags = c.display_flags;
            d.u.fs_d.curve_tolerance = c.curve_tolerance;
            break;
        case PF_Param_ANGLE: d.u.ad.dephault = d.u.ad.value = fixed(c.dephault); break;
        case PF_Param_SLIDER:
            d.u.sd.valid_min = static_cast<A_long>(c.valid_min);
            d.u.sd.valid_max = static_cast<A_long>(c.valid_max);
            d.u.sd.slider_min = static_cast<A_long>(c.slider_min);
            d.u.sd.slider_max = static_cast<A_long>(c.slider_max);
            d.u.sd.dephault = d.u.sd.value = static_cast<A_long>(c.dephault);
            break;
    }
    return d;
}

}  // namespace

TEST(ModuleParamsSetup, DeclaresTheTwelveWithEveryFieldOfTheControlTable) {
    Rig rig;
    ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(rig.effect->declaredParamCount(), 13);
    ASSERT_EQ(rig.effect->paramCount(), 13);
    for (const ControlInfo& c : kControls) {
        SCOPED_TRACE(c.name);
        PF_ParamDef want = expectedDefinition(c);
        PF_ParamDef got;
        std::memcpy(&got, &rig.effect->definition(c.index), sizeof got);
        if (want.param_type == PF_Param_POPUP) {
            // The host keeps its own copy of the choice string; compare the text.
            ASSERT_NE(got.u.pd.u.namesptr, nullptr);
            EXPECT_STREQ(got.u.pd.u.namesptr, c.choices);
            want.u.pd.u.namesptr = got.u.pd.u.namesptr;
        }
        EXPECT_EQ(got.param_type, want.param_type);
        EXPECT_STREQ(got.name, want.name);
        EXPECT_EQ(got.uu.id, c.index);
        EXPECT_EQ(got.flags, PF_ParamFlag_COLLAPSE_TWIRLY);
        EXPECT_EQ(got.ui_flags, 0);
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "some other field differs";
    }
    // Popup defaults are 1-based: Easing Mode starts at InOut, Outside at Mirror.
    EXPECT_EQ(rig.effect->choices(10).at(rig.effect->definition(10).u.pd.dephault - 1), "InOut");
    EXPECT_EQ(rig.effect->choices(12).at(rig.effect->definition(12).u.pd.dephault - 1), "Mirror");
    // Width accepts 4000 typed in although its slider ends at 100.
    EXPECT_TRUE(rig.effect->setValue(4, 4000.0));
    EXPECT_FALSE(rig.effect->setValue(4, 4000.5));
    EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
}

// Every byte of every definition the host records, as the module has always declared them: an
// FNV-1a digest of the record with the choice pointer cleared (it points at the host's own copy),
// followed by the choice text.
TEST(ModuleParamsSetup, EveryDefinitionByteIsWhatTheModuleHasAlwaysDeclared) {
    const std::uint64_t kDigests[] = {
        0xe80a459632b6574d, 0x6b980a51d6cbbb47, 0x2151ab0fde3b1ac9, 0xa07fd693d6a45d9b,
        0xd3fac8cb311c93b4, 0xb65c73260fdbc3ab, 0xea0901fbb746a444, 0xd35dc1fed6ae4e40,
        0x0021d2f93118fd63, 0xeb410f5694d383b5, 0xe42ecb3bac9d4b7f, 0x9ddd91f7c07ec701,
    };
    Rig rig;
    ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
    ASSERT_EQ(rig.effect->paramCount(), 13);
    for (int i = 1; i <= 12; ++i) {
        PF_ParamDef def;
        std::memcpy(&def, &rig.effect->definition(i), sizeof def);
        std::string bytes;
        if (def.param_type == PF_Param_POPUP) {
            bytes = def.u.pd.u.namesptr ? def.u.pd.u.namesptr : "(none)";
            def.u.pd.u.namesptr = nullptr;
        }
        bytes.insert(0, reinterpret_cast<const char*>(&def), sizeof def);
        std::uint64_t h = 0xcbf29ce484222325u;
        for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3u;
        EXPECT_EQ(h, kDigests[i - 1]) << "parameter " << i << ": 0x" << std::hex << h;
    }
}

TEST(ModuleParamsSetup, AnAddParamFailureStopsAtOnceAndLeavesNumParamsUnwritten) {
    for (int k = 1; k <= 12; ++k) {
        SCOPED_TRACE(k);
        Rig rig;
        const PF_Err code = 1000 + k;
        rig.ledger().failOp("add_param", k, code);
        PF_InData in = rig.effect->makeInData();
        PF_OutData out = patternOut();
        EXPECT_EQ(rig.effect->command(PF_Cmd_PARAMS_SETUP, in, out, nullptr, nullptr, nullptr), code);
        EXPECT_EQ(rig.ledger().callsOf("add_param"), k) << "no parameter after the failing one";
        EXPECT_EQ(rig.effect->paramCount(), k) << "the input layer and the k-1 before it";
        EXPECT_TRUE(sameBytes(out, patternOut())) << "num_params (and all else) unwritten";
        EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
    }
}

// ---- greying of controls ----------------------------------------------------------------------------

TEST(ModuleUpdateParamsUI, TheThreeRulesOverEveryValueOfOrderEasingAndState) {
    Rig rig;
    ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
    int updates = 0;
    // Walk the values up and then down again, so that every control is greyed out and enabled
    // again from each state.
    std::vector<int> walk = {1, 2, 3, 2, 1, 3, 1};
    for (int order : walk) {
        for (int easing : {1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 9, 1}) {
            for (int state : walk) {
                SCOPED_TRACE("order " + std::to_string(order) + ", easing " + std::to_string(easing) +
                             ", state " + std::to_string(state));
                ASSERT_TRUE(rig.effect->setValue(7, order));
                ASSERT_TRUE(rig.effect->setValue(9, easing));
                ASSERT_TRUE(rig.effect->setValue(11, state));
                ASSERT_EQ(rig.effect->updateParamsUI(), PF_Err_NONE);
                ++updates;
                EXPECT_EQ(rig.effect->uiFlags(8), order == 3 ? 0 : PF_PUI_DISABLED) << "Seed";
                EXPECT_EQ(rig.effect->uiFlags(10), easing == 1 ? PF_PUI_DISABLED : 0) << "Easing Mode";
                EXPECT_EQ(rig.effect->uiFlags(12), state == 1 ? PF_PUI_DISABLED : 0) << "Outside";
                EXPECT_EQ(rig.effect->lastOutData().out_flags, PF_OutFlag_REFRESH_UI);
            }
        }
    }
    for (int i = 1; i <= 12; ++i) {
        const bool greyable = i == 8 || i == 10 || i == 12;
        EXPECT_EQ(rig.effect->uiUpdates(i), greyable ? updates : 0) << i;
        if (!greyable) {
            EXPECT_EQ(rig.effect->uiFlags(i), 0) << i;
        }
    }
    // The host compares its records before and after each command and notes any write.
    EXPECT_TRUE(rig.ledger().faults().empty()) << rig.ledger().describe();
    EXPECT_EQ(rig.unbalancedSuites(), "");
}

TEST(ModuleUpdateParamsUI, AtTheDefaultsAllThreeAreGreyedOut) {
    Rig rig;
    ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
    ASSERT_EQ(rig.effect->updateParamsUI(), PF_Err_NONE);
    EXPECT_EQ(rig.effect->uiFlags(8), PF_PUI_DISABLED);
    EXPECT_EQ(rig.effect->uiFlags(10), PF_PUI_DISABLED);
    EXPECT_EQ(rig.effect->uiFlags(12), PF_PUI_DISABLED);
}

TEST(ModuleUpdateParamsUI, AFailingUpdateSkipsTheLaterOnesAndTheRefreshFlagIsStillSet) {
    const int order[] = {8, 10, 12};
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        Rig rig;
        ASSERT_EQ(rig.effect->paramsSetup(), PF_Err_NONE);
        // Values that enable all three, so that an update that ran is visible in the flags.
        ASSERT_TRUE(rig.effect->setValue(7, 3));
        ASSERT_TRUE(rig.effect->setValue(9, 5));
        ASSERT_TRUE(rig.effect->setValue(11, 2));
        const PF_Err code = 2000 + k;
        rig.ledger().failOp("PF_UpdateParamUI", k, code);
        EXPECT_EQ(rig.effect->updateParamsUI(), code);
        EXPECT_EQ(rig.ledger().callsOf("PF_UpdateParamUI"), k);
        EXPECT_EQ(rig.effect->lastOutData().out_flags, PF_OutFlag_REFRESH_UI);
        for (int j = 0; j < 3; ++j) EXPECT_EQ(rig.effect->uiUpdates(order[j]), j < k - 1 ? 1 : 0) << order[j];
        EXPECT_EQ(rig.unbalancedSuites(), "");
        EXPECT_TRUE(rig.ledger().balanced()) << rig.ledger().describe();
    }
}

// ---- fault injection: every host call of every command ------------------------------------------------

namespace {

struct Command {
    const char* what;
    std::function<void(Rig&)> prepare;  // brings the instance to where the command is sent
    PF_Cmd cmd;
};

// What the command must answer when host operation `op` fails with `code`.
PF_Err expectedResult(const std::string& op, PF_Err code) {
    if (op == "AcquireSuite") return PF_Err_BAD_CALLBACK_PARAM;  // the suite is missing
    if (op == "host_new_handle") return PF_Err_INTERNAL_STRUCT_DAMAGED;
    if (op == "AEGP_RegisterWithAEGP" || op == "add_param" || op == "PF_UpdateParamUI") return code;
    // Lock failure is not an error of global set-up; release, unlock and dispose report nothing.
    return PF_Err_NONE;
}

}  // namespace

TEST(ModuleFaultInjection, EveryHostCallOfEveryCommandFailingInTurn) {
    const std::vector<Command> commands = {
        {"About", [](Rig&) {}, PF_Cmd_ABOUT},
        {"GlobalSetup", [](Rig&) {}, PF_Cmd_GLOBAL_SETUP},
        {"GlobalSetdown", [](Rig& r) { ASSERT_EQ(r.effect->globalSetup(), PF_Err_NONE); },
         PF_Cmd_GLOBAL_SETDOWN},
        {"ParamsSetup", [](Rig&) {}, PF_Cmd_PARAMS_SETUP},
        {"UpdateParamsUI",
         [](Rig& r) {
             ASSERT_EQ(r.effect->paramsSetup(), PF_Err_NONE);
             ASSERT_TRUE(r.effect->setValue(7, 3));
         },
         PF_Cmd_UPDATE_PARAMS_UI},
    };
    auto send = [](Rig& rig, PF_Cmd cmd, PF_OutData& out) {
        out = PF_OutData{};
        // Through the instance, so that it knows its global data is gone.
        if (cmd == PF_Cmd_GLOBAL_SETDOWN) return rig.effect->globalSetdown();
        PF_InData in = rig.effect->makeInData();
        PF_ParamDef** params = rig.effect->paramCount() > 1 ? rig.effect->currentParams() : nullptr;
        return rig.effect->command(cmd, in, out, params, nullptr, nullptr);
    };

    int injected = 0;
    for (const Command& c : commands) {
        // A clean run gives the host calls the command makes, in order.
        std::vector<std::string> calls;
        {
            Rig rig;
            c.prepare(rig);
            rig.ledger().resetLog();
            PF_OutData out;
            ASSERT_EQ(send(rig, c.cmd, out), PF_Err_NONE) << c.what;
            calls = rig.ledger().callLog();
        }
        for (std::size_t n = 1; n <= calls.size(); ++n) {
            for (PF_Err code : {PF_Err_OUT_OF_MEMORY, PF_Err_INVALID_INDEX}) {
                const std::string& op = calls[n - 1];
                SCOPED_TRACE(std::string(c.what) + ": call " + std::to_string(n) + " (" + op +
                             ") fails with " + std::to_string(code));
                Rig rig;
                c.prepare(rig);
                const PF_Handle global = rig.effect->globalData();
                rig.ledger().resetLog();
                rig.ledger().failNthCall(n, code);
                PF_OutData out;
                const PF_Err err = send(rig, c.cmd, out);
                ++injected;

                EXPECT_EQ(err, expectedResult(op, code));
                // No exception reached the host, nothing was misused.
                EXPECT_TRUE(rig.ledger().faults().empty()) << rig.ledger().describe();
                EXPECT_EQ(rig.unbalancedSuites(), "");
                // No handle but the global one: the one set up before (until set-down disposes
                // of it) or the one this set-up handed over.
                std::size_t kept = 0;
                if (c.cmd == PF_Cmd_GLOBAL_SETUP && out.global_data) {
                    EXPECT_EQ(err, PF_Err_NONE);
                    kept = 1;
                }
                if (c.cmd == PF_Cmd_GLOBAL_SETDOWN && op == "AcquireSuite")
                    kept = 1;  // without the handle suite the module cannot dispose of it
                EXPECT_EQ(rig.host.liveHandleCount(), kept) << rig.ledger().describe();
                if (c.cmd == PF_Cmd_GLOBAL_SETUP) {
                    EXPECT_EQ(out.my_version, 0x00098601u);
                    EXPECT_EQ(out.out_flags, 0x06000000);
                    EXPECT_EQ(out.out_flags2, 0x00001400);
                }
                if (c.cmd == PF_Cmd_UPDATE_PARAMS_UI && op == "PF_UpdateParamUI") {
                    EXPECT_EQ(out.out_flags, PF_OutFlag_REFRESH_UI);
                }
                if (c.cmd == PF_Cmd_PARAMS_SETUP && err) {
                    EXPECT_EQ(out.num_params, 0);
                }
                if (kept == 1 && c.cmd == PF_Cmd_GLOBAL_SETDOWN) rig.host.disposeHandle(global);
            }
        }
    }
    // GlobalSetup alone makes seven calls (acquire, new, lock, acquire, register, unlock, two
    // releases): the sweep must have run through all of them.
    EXPECT_GE(injected, 2 * 20);
}
