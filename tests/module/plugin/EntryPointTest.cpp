// The entry point's catch ladder, driven directly (module code linked in) with records whose
// callbacks throw: nothing may escape into the host, and each kind of failure has its code.
#include "FakeBasicSuite.h"
#include "VelmorPlugin.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace {

std::function<void()> g_addParamAction;
int g_addParamCalls = 0;

PF_Err throwingAddParam(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) {
    ++g_addParamCalls;
    if (g_addParamAction) g_addParamAction();
    return PF_Err_NONE;
}

PF_Err paramsSetupWhile(std::function<void()> action) {
    vtest::Records r;
    r.in.inter.add_param = &throwingAddParam;
    g_addParamAction = std::move(action);
    g_addParamCalls = 0;
    const PF_Err err = EntryPointFunc(PF_Cmd_PARAMS_SETUP, &r.in, &r.out, nullptr, nullptr, nullptr);
    g_addParamAction = nullptr;
    return err;
}

}  // namespace

TEST(EntryPointCatchLadder, AThrownPFErrIsTheResult) {
    EXPECT_EQ(paramsSetupWhile([] { throw PF_Err{PF_Err_INVALID_INDEX}; }), PF_Err_INVALID_INDEX);
    EXPECT_EQ(paramsSetupWhile([] { throw PF_Err{-7}; }), -7);
}

TEST(EntryPointCatchLadder, AFailedAllocationIsOutOfMemory) {
    EXPECT_EQ(paramsSetupWhile([] { throw std::bad_alloc(); }), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(paramsSetupWhile([] { throw std::bad_array_new_length(); }), PF_Err_OUT_OF_MEMORY);
}

TEST(EntryPointCatchLadder, AnythingElseIsInternalStructDamaged) {
    EXPECT_EQ(paramsSetupWhile([] { throw std::runtime_error("boom"); }), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(paramsSetupWhile([] { throw 2.5; }), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST(EntryPointCatchLadder, TheFirstThrowEndsTheCommand) {
    paramsSetupWhile([] { throw std::bad_alloc(); });
    EXPECT_EQ(g_addParamCalls, 1);
    EXPECT_EQ(paramsSetupWhile(nullptr), PF_Err_NONE);
    EXPECT_EQ(g_addParamCalls, 12);
}

// A handle suite that counts what is still allocated and locked.
struct Handles {
    static inline int live = 0, locked = 0;
    static inline long block = 0;
    static inline void* blockPtr = &block;
    static PF_Handle make(A_HandleSize) { return ++live, &blockPtr; }
    static void* lock(PF_Handle h) { return ++locked, *h; }
    static void unlock(PF_Handle) { --locked; }
    static void dispose(PF_Handle) { --live; }
    static constexpr PF_HandleSuite2 suite{&make, &lock, &unlock, &dispose, nullptr};
};

TEST(EntryPointCatchLadder, AMissingSuiteReaches516WithEverySuiteAndHandleGivenBack) {
    vtest::BasicSuite basic;
    basic.provide("PF Handle Suite", 2, &Handles::suite);
    basic.answer("AEGP Utility Suite", 7, vtest::BasicSuite::Answer::NullAndNoError);
    vtest::Records r;
    r.in.pica_basicP = basic.suite();
    EXPECT_EQ(EntryPointFunc(PF_Cmd_GLOBAL_SETUP, &r.in, &r.out, nullptr, nullptr, nullptr),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(basic.acquisitions("PF Handle Suite", 2), 1);
    EXPECT_EQ(basic.releasedMap(), basic.acquiredMap());
    EXPECT_EQ(Handles::live, 0) << "the handle that could not be registered is disposed of";
    EXPECT_EQ(Handles::locked, 0);
    EXPECT_EQ(r.out.global_data, vtest::Records::pattern().global_data);
}

TEST(EntryPoint, ListedCommandsWithoutRecordsFailInsteadOfCrashing) {
    for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_PARAMS_SETUP,
                       PF_Cmd_UPDATE_PARAMS_UI}) {
        SCOPED_TRACE(cmd);
        EXPECT_EQ(EntryPointFunc(cmd, nullptr, nullptr, nullptr, nullptr, nullptr),
                  PF_Err_BAD_CALLBACK_PARAM);
    }
}
