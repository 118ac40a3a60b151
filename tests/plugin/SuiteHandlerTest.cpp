// AEGP_SuiteHandler against a counting basic suite: each slot asks for its exact name and version,
// at most once, and gives back exactly what it took, also when a later acquisition fails.
#include "AEGP_SuiteHandler.h"
#include "FakeBasicSuite.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Accessor {
    std::string name;
    int version;
    SuiteId traits;  // what the handler takes the accessor's suite to be called
    std::function<const void*(const AEGP_SuiteHandler&)> get;
};

template <typename Suite>
Accessor accessor(const char* name, int version, const Suite* (AEGP_SuiteHandler::*get)() const) {
    return {name, version, SuiteTraits<Suite>::id,
            [get](const AEGP_SuiteHandler& h) -> const void* { return (h.*get)(); }};
}

// The suites the module uses, as the host knows them: names and versions written out here.
std::vector<Accessor> accessors() {
    using H = AEGP_SuiteHandler;
    return {
        accessor("PF Handle Suite", 2, &H::HandleSuite2),
        accessor("AEGP Utility Suite", 7, &H::UtilitySuite7),
        accessor("PF Param Utils Suite", 2, &H::ParamUtilsSuite2),
        accessor("AEGP PF Interface Suite", 1, &H::PFInterfaceSuite1),
        accessor("AEGP Layer Suite", 11, &H::LayerSuite11),
        accessor("AEGP Iterate Suite", 1, &H::IterateSuite1),
        accessor("PF Iterate8 Suite", 1, &H::Iterate8Suite1),
        accessor("PF World Suite", 1, &H::WorldSuite1),
        accessor("PF World Suite", 2, &H::WorldSuite2),
        accessor("PF Fill Matte Suite", 2, &H::FillMatteSuite2),
        accessor("PF Sampling8 Suite", 1, &H::Sampling8Suite1),
        accessor("PF Sampling16 Suite", 1, &H::Sampling16Suite1),
        accessor("PF SamplingFloat Suite", 1, &H::SamplingFloatSuite1),
    };
}

PF_Err thrownBy(const std::function<void()>& f) {
    try {
        f();
    } catch (PF_Err err) {
        return err;
    }
    return PF_Err_NONE;
}

}  // namespace

TEST(SuiteHandler, EachAccessorAcquiresItsSuiteOnceAndReleasesItOnceUnderTheSameNameAndVersion) {
    for (const Accessor& a : accessors()) {
        SCOPED_TRACE(a.name + " " + std::to_string(a.version));
        vtest::BasicSuite basic;
        {
            const AEGP_SuiteHandler suites(basic.suite());
            const void* first = a.get(suites);
            const void* second = a.get(suites);
            EXPECT_EQ(first, basic.tableFor(a.name, a.version));
            EXPECT_EQ(second, first);
            EXPECT_EQ(basic.acquireCalls(), 1);
            EXPECT_EQ(basic.acquisitions(a.name, a.version), 1);
            EXPECT_EQ(basic.totalReleases(), 0) << "nothing is released while the handler lives";
        }
        EXPECT_EQ(basic.releases(a.name, a.version), 1);
        EXPECT_EQ(basic.totalReleases(), 1);
    }
}

TEST(SuiteHandler, EverySlotHasAnAccessorAndEachSuiteTypeCarriesTheHostsNameAndVersion) {
    EXPECT_EQ(accessors().size(), AEGP_SuiteHandler::Suites::count) << "a slot the list above does not test";
    for (const Accessor& a : accessors()) {
        EXPECT_EQ(a.traits.name, a.name);
        EXPECT_EQ(a.traits.version, a.version) << a.name;
    }
}

TEST(SuiteHandler, AllSuitesTogetherAreReleasedEachExactlyOnce) {
    vtest::BasicSuite basic;
    {
        AEGP_SuiteHandler suites(basic.suite());
        for (const Accessor& a : accessors()) a.get(suites);
        EXPECT_EQ(basic.totalAcquisitions(), 13);
    }
    EXPECT_EQ(basic.releasedMap(), basic.acquiredMap());
    EXPECT_EQ(basic.totalReleases(), 13);
}

TEST(SuiteHandler, AHandlerAskedForNothingAcquiresAndReleasesNothing) {
    vtest::BasicSuite basic;
    { AEGP_SuiteHandler suites(basic.suite()); }
    EXPECT_EQ(basic.acquireCalls(), 0);
    EXPECT_EQ(basic.totalReleases(), 0);
}

TEST(SuiteHandler, AMissingBasicSuiteThrowsTheMissingSuiteError) {
    EXPECT_EQ(thrownBy([] { AEGP_SuiteHandler suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
}

TEST(SuiteHandler, AnErrorOrANullTableThrows516AndReleasesOnlyWhatWasAcquired) {
    for (auto answer : {vtest::BasicSuite::Answer::ErrorAndNull, vtest::BasicSuite::Answer::NullAndNoError}) {
        vtest::BasicSuite basic;
        basic.answer("PF Param Utils Suite", 2, answer);
        const PF_Err err = thrownBy([&] {
            AEGP_SuiteHandler suites(basic.suite());
            suites.HandleSuite2();
            suites.ParamUtilsSuite2();
            ADD_FAILURE() << "a missing suite must not be handed out";
        });
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(basic.releases("PF Handle Suite", 2), 1) << "unwinding releases what was taken";
        EXPECT_EQ(basic.releases("PF Param Utils Suite", 2), 0) << "nothing to give back";
        EXPECT_EQ(basic.totalReleases(), 1);
    }
}

TEST(SuiteHandler, AFailedAcquisitionIsAskedAgainOnTheNextUse) {
    vtest::BasicSuite basic;
    basic.answer("PF World Suite", 1, vtest::BasicSuite::Answer::ErrorAndNull);
    {
        AEGP_SuiteHandler suites(basic.suite());
        EXPECT_EQ(thrownBy([&] { suites.WorldSuite1(); }), PF_Err_BAD_CALLBACK_PARAM);
        basic.answer("PF World Suite", 1, vtest::BasicSuite::Answer::Table);
        EXPECT_EQ(suites.WorldSuite1(), basic.tableFor("PF World Suite", 1));
    }
    EXPECT_EQ(basic.acquisitions("PF World Suite", 1), 1);
    EXPECT_EQ(basic.releases("PF World Suite", 1), 1);
}

TEST(SuiteHandler, ReleaseSuiteGivesOneBackAndTheDestructorDoesNotReleaseItAgain) {
    vtest::BasicSuite basic;
    {
        AEGP_SuiteHandler suites(basic.suite());
        suites.FillMatteSuite2();
        suites.IterateSuite1();
        suites.ReleaseSuite("PF Fill Matte Suite", 2);
        EXPECT_EQ(basic.releases("PF Fill Matte Suite", 2), 1);
        // Asked again after the release, the suite is acquired afresh.
        EXPECT_EQ(suites.FillMatteSuite2(), basic.tableFor("PF Fill Matte Suite", 2));
    }
    EXPECT_EQ(basic.acquisitions("PF Fill Matte Suite", 2), 2);
    EXPECT_EQ(basic.releases("PF Fill Matte Suite", 2), 2);
    EXPECT_EQ(basic.releases("AEGP Iterate Suite", 1), 1);
}

TEST(SuiteHandler, ReleaseAllSuitesTwiceReleasesEachSuiteOnce) {
    vtest::BasicSuite basic;
    basic.releaseAnswers(kSPSuiteNotFoundError);  // release failures are ignored
    {
        AEGP_SuiteHandler suites(basic.suite());
        suites.LayerSuite11();
        suites.PFInterfaceSuite1();
        suites.ReleaseAllSuites();
        suites.ReleaseAllSuites();
    }
    EXPECT_EQ(basic.releases("AEGP Layer Suite", 11), 1);
    EXPECT_EQ(basic.releases("AEGP PF Interface Suite", 1), 1);
    EXPECT_EQ(basic.totalReleases(), 2);
}

TEST(SuiteHandler, MissingSuiteErrorThrowsABarePFErr) {
    vtest::BasicSuite basic;
    AEGP_SuiteHandler suites(basic.suite());
    try {
        suites.MissingSuiteError();
        FAIL() << "MissingSuiteError returned";
    } catch (int err) {  // PF_Err is the host's 32-bit integer, not a class
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}
