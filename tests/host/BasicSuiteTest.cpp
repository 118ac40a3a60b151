// The basic suite, the bookkeeping of suites and the fault injection every host operation obeys.
#include "Host.h"
#include "ScriptedModule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace vhost {
namespace {

const void* const kSentinel = reinterpret_cast<const void*>(0x1);

class BasicSuiteTest : public ::testing::Test {
protected:
    Host host{Host::Options{1}};
    SPBasicSuite* basic = host.basicSuite();

    // Acquires and returns the table; `err` gets the code. The out pointer starts non-null so a
    // failure that leaves it alone shows.
    const void* acquire(const char* name, int version, SPErr* err = nullptr) {
        const void* table = kSentinel;
        const SPErr e = basic->AcquireSuite(name, version, &table);
        if (err) *err = e;
        return table;
    }
};

TEST_F(BasicSuiteTest, HandsOutSuitesOnlyForTheirExactNameAndVersion) {
    struct Known {
        const char* name;
        int version;
    };
    for (const Known k :
         {Known{"PF Handle Suite", 2}, Known{"AEGP Utility Suite", 7}, Known{"PF Param Utils Suite", 2}}) {
        SPErr err = -1;
        const void* table = acquire(k.name, k.version, &err);
        EXPECT_EQ(err, kSPNoError) << k.name;
        EXPECT_NE(table, nullptr) << k.name;
        EXPECT_EQ(table, host.findSuite(k.name, k.version)) << k.name;
        EXPECT_EQ(basic->ReleaseSuite(k.name, k.version), kSPNoError) << k.name;
    }
    struct Wrong {
        const char* name;
        int version;
    };
    for (const Wrong w :
         {Wrong{"PF Handle Suite", 1}, Wrong{"PF Handle Suite", 3}, Wrong{"AEGP Utility Suite", 6},
          Wrong{"PF handle Suite", 2}, Wrong{"PF Handle Suite ", 2}, Wrong{"PF Handle", 2}, Wrong{"", 2},
          Wrong{"No Such Suite", 1}}) {
        SPErr err = kSPNoError;
        EXPECT_EQ(acquire(w.name, w.version, &err), nullptr) << '"' << w.name << "\" " << w.version;
        EXPECT_NE(err, kSPNoError) << '"' << w.name << "\" " << w.version;
    }
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
}

TEST_F(BasicSuiteTest, CountsAcquisitionsAndReleasesPerNameAndVersion) {
    Ledger& ledger = host.ledger();
    ASSERT_NE(acquire("PF Handle Suite", 2), nullptr);
    ASSERT_NE(acquire("PF Handle Suite", 2), nullptr);
    EXPECT_EQ(ledger.acquisitions("PF Handle Suite", 2), 2);
    EXPECT_EQ(ledger.openCount("suite:PF Handle Suite/2"), 2);

    EXPECT_EQ(basic->ReleaseSuite("PF Handle Suite", 2), kSPNoError);
    EXPECT_EQ(ledger.releases("PF Handle Suite", 2), 1);
    EXPECT_FALSE(ledger.balanced());
    EXPECT_EQ(basic->ReleaseSuite("PF Handle Suite", 2), kSPNoError);
    EXPECT_TRUE(ledger.balanced()) << ledger.describe();

    // A failed acquisition takes nothing, so it is not counted.
    acquire("PF Handle Suite", 9);
    EXPECT_EQ(ledger.acquisitions("PF Handle Suite", 9), 0);
    EXPECT_TRUE(ledger.balanced()) << ledger.describe();
}

TEST_F(BasicSuiteTest, ReleaseUnderAnotherVersionOrWithoutAcquiringIsAFault) {
    ASSERT_NE(acquire("PF Handle Suite", 2), nullptr);
    EXPECT_NE(basic->ReleaseSuite("PF Handle Suite", 1), kSPNoError);
    EXPECT_EQ(host.ledger().openCount("suite:PF Handle Suite/2"), 1);
    EXPECT_EQ(host.ledger().faults().size(), 1u);
    EXPECT_NE(basic->ReleaseSuite("AEGP Utility Suite", 7), kSPNoError);
    EXPECT_EQ(host.ledger().faults().size(), 2u);
    EXPECT_FALSE(host.ledger().balanced());
}

TEST_F(BasicSuiteTest, HiddenSuitesAnswerAnErrorAndNullUntilShownAgain) {
    static const int table = 42;
    host.registerSuite("Test Suite", 5, &table);
    host.hideSuite("Test Suite", 5);
    host.hideSuite("PF Param Utils Suite", 2);
    SPErr err = kSPNoError;
    EXPECT_EQ(acquire("Test Suite", 5, &err), nullptr);
    EXPECT_NE(err, kSPNoError);
    EXPECT_EQ(acquire("PF Param Utils Suite", 2, &err), nullptr);
    EXPECT_NE(err, kSPNoError);
    // Hiding one name and version leaves the others alone.
    EXPECT_NE(acquire("PF Handle Suite", 2), nullptr);
    basic->ReleaseSuite("PF Handle Suite", 2);

    host.hideSuite("Test Suite", 5, false);
    EXPECT_EQ(acquire("Test Suite", 5, &err), &table);
    EXPECT_EQ(err, kSPNoError);
    basic->ReleaseSuite("Test Suite", 5);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
}

TEST_F(BasicSuiteTest, AnInjectedAcquireFailureAnswersTheErrorAndNull) {
    host.ledger().failOp("AcquireSuite", 2, 1234);
    SPErr err = -1;
    EXPECT_NE(acquire("PF Handle Suite", 2, &err), nullptr);
    EXPECT_EQ(err, kSPNoError);
    EXPECT_EQ(acquire("PF Handle Suite", 2, &err), nullptr);
    EXPECT_EQ(err, 1234);
    EXPECT_NE(acquire("PF Handle Suite", 2, &err), nullptr);
    EXPECT_EQ(host.ledger().acquisitions("PF Handle Suite", 2), 2);
    EXPECT_EQ(host.ledger().callsOf("AcquireSuite"), 3);
}

TEST_F(BasicSuiteTest, AnInjectedReleaseFailureIsReportedButTheSuiteIsGivenBack) {
    ASSERT_NE(acquire("AEGP Utility Suite", 7), nullptr);
    host.ledger().failOp("ReleaseSuite", 1, 77);
    EXPECT_EQ(basic->ReleaseSuite("AEGP Utility Suite", 7), 77);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
}

TEST_F(BasicSuiteTest, TheNthCallFailsWhateverOperationItIs) {
    auto* handles = vtest::acquire<PF_HandleSuite2>(basic, kPFHandleSuite, 2);  // call 1 before
    ASSERT_NE(handles, nullptr);
    host.ledger().failNthCall(2, 9);  // counted from now: new handle (1), lock (2)
    PF_Handle h = handles->host_new_handle(8);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(handles->host_lock_handle(h), nullptr);
    EXPECT_EQ(host.lockCount(h), 0);
    EXPECT_NE(handles->host_lock_handle(h), nullptr);  // only that one call failed
    handles->host_unlock_handle(h);
    handles->host_dispose_handle(h);
    basic->ReleaseSuite(kPFHandleSuite, 2);

    const auto log = host.ledger().callLog();
    const std::vector<std::string> expected = {
        "AcquireSuite",       "host_new_handle",     "host_lock_handle", "host_lock_handle",
        "host_unlock_handle", "host_dispose_handle", "ReleaseSuite"};
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
}

TEST_F(BasicSuiteTest, RegistrationHandsOutIncreasingIdsAndObeysInjection) {
    auto* util = vtest::acquire<AEGP_UtilitySuite7>(basic, kAEGPUtilitySuite, 7);
    ASSERT_NE(util, nullptr);
    AEGP_PluginID first = -1, second = -1, untouched = -5;
    EXPECT_EQ(util->AEGP_RegisterWithAEGP(nullptr, "Error!", &first), PF_Err_NONE);
    EXPECT_EQ(util->AEGP_RegisterWithAEGP(nullptr, "Other", &second), PF_Err_NONE);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(host.lastPluginId(), second);
    EXPECT_EQ(host.registeredNames(), (std::vector<std::string>{"Error!", "Other"}));
    EXPECT_EQ(util->AEGP_RegisterWithAEGP(nullptr, "x", nullptr), PF_Err_BAD_CALLBACK_PARAM);

    host.ledger().failOp("AEGP_RegisterWithAEGP", 1, 55);
    EXPECT_EQ(util->AEGP_RegisterWithAEGP(nullptr, "Error!", &untouched), 55);
    EXPECT_EQ(untouched, -5);
    basic->ReleaseSuite(kAEGPUtilitySuite, 7);
}

TEST(HostLifetime, OnlyOneHostExistsAtATimeAndItIsCurrent) {
    EXPECT_EQ(Host::current(), nullptr);
    {
        Host host{Host::Options{2}};
        EXPECT_EQ(Host::current(), &host);
        EXPECT_EQ(host.threadCount(), 2);
        EXPECT_THROW(Host{}, std::logic_error);
        EXPECT_EQ(Host::current(), &host);
    }
    EXPECT_EQ(Host::current(), nullptr);
}

// A module that keeps the host's tables past the host's life gets one answer from every call that
// answers an error, PF_Err_INVALID_CALLBACK; calls that answer a pointer or a size answer null or
// 0, and the others do nothing.
TEST(HostLifetime, TablesKeptPastTheirHostAnswerInvalidCallbackAndTouchNothing) {
    SPBasicSuite basic{};
    PF_UtilCallbacks utils{};
    const PF_HandleSuite2* handles = nullptr;
    const AEGP_UtilitySuite7* util = nullptr;
    const PF_ParamUtilsSuite2* paramUtils = nullptr;
    const PF_WorldSuite2* worlds = nullptr;
    const AEGP_LayerSuite11* layers = nullptr;
    const AEGP_IterateSuite1* iterate = nullptr;
    {
        Host host{Host::Options{1}};
        basic = *host.basicSuite();
        utils = *host.utilCallbacks();
        handles = vtest::acquire<PF_HandleSuite2>(&basic, kPFHandleSuite, kPFHandleSuiteVersion2);
        util = vtest::acquire<AEGP_UtilitySuite7>(&basic, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7);
        paramUtils =
            vtest::acquire<PF_ParamUtilsSuite2>(&basic, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2);
        worlds = vtest::acquire<PF_WorldSuite2>(&basic, kPFWorldSuite, kPFWorldSuiteVersion2);
        layers = vtest::acquire<AEGP_LayerSuite11>(&basic, kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
        iterate = vtest::acquire<AEGP_IterateSuite1>(&basic, kAEGPIterateSuite, kAEGPIterateSuiteVersion1);
        ASSERT_TRUE(handles && util && paramUtils && worlds && layers && iterate);
    }
    const void* table = kSentinel;
    EXPECT_EQ(basic.AcquireSuite(kPFHandleSuite, kPFHandleSuiteVersion2, &table), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(basic.ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2), PF_Err_INVALID_CALLBACK);

    EXPECT_EQ(handles->host_new_handle(4), nullptr);
    EXPECT_EQ(handles->host_lock_handle(nullptr), nullptr);
    EXPECT_EQ(handles->host_get_handle_size(nullptr), 0u);
    handles->host_unlock_handle(nullptr);
    handles->host_dispose_handle(nullptr);

    AEGP_PluginID id = -5;
    EXPECT_EQ(util->AEGP_RegisterWithAEGP(nullptr, "Name", &id), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(id, -5);
    PF_ParamDef def{};
    EXPECT_EQ(paramUtils->PF_UpdateParamUI(nullptr, 1, &def), PF_Err_INVALID_CALLBACK);
    PF_EffectWorld world{};
    EXPECT_EQ(worlds->PF_NewWorld(nullptr, 4, 4, true, PF_PixelFormat_ARGB32, &world),
              PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(world.data, nullptr);
    AEGP_LayerQuality quality = AEGP_LayerQual_WIREFRAME;
    EXPECT_EQ(layers->AEGP_GetLayerQuality(nullptr, &quality), PF_Err_INVALID_CALLBACK);
    A_long threads = -1;
    EXPECT_EQ(iterate->AEGP_GetNumThreads(&threads), PF_Err_INVALID_CALLBACK);
    EXPECT_EQ(threads, -1);
    const PF_Pixel white{255, 255, 255, 255};
    EXPECT_EQ(utils.fill(nullptr, &white, nullptr, &world), PF_Err_INVALID_CALLBACK);
}

TEST(HostAnsiTable, CallsTheCLibrary) {
    Host host{Host::Options{1}};
    const PF_ANSICallbacks& ansi = host.utilCallbacks()->ansi;
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(ansi.sprintf(text, "%s, v%d.%d.%d\r%s", "Name", 1, 3, 0, "c"), 14);
    EXPECT_EQ(std::memcmp(text, "Name, v1.3.0\rc\0x", 16), 0);  // terminated, nothing beyond
    EXPECT_EQ(ansi.sprintf(text, "%05.1f|%x", 2.3, 255), 8);
    EXPECT_STREQ(text, "002.3|ff");
    EXPECT_EQ(ansi.strcpy(text, "Completion"), text);
    EXPECT_STREQ(text, "Completion");
    EXPECT_EQ(ansi.sin(0.5), std::sin(0.5));
    EXPECT_EQ(ansi.cos(0.5), std::cos(0.5));
    EXPECT_EQ(ansi.ceil(-1.5), -1.0);
    EXPECT_EQ(ansi.fmod(-7.0, 3.0), -1.0);
    EXPECT_EQ(ansi.atan2(1.0, -1.0), std::atan2(1.0, -1.0));
}

}  // namespace
}  // namespace vhost
