// AEFX_AcquireSuite / AEFX_ReleaseSuite: the explicit pair that shows its failures to the user.
#include "AEFX_SuiteHelper.h"
#include "FakeBasicSuite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string message(const PF_OutData& out) {
    const char* end = std::find(out.return_msg, out.return_msg + sizeof out.return_msg, '\0');
    return std::string(out.return_msg, end);
}

}  // namespace

TEST(AefxAcquireSuite, HandsOutTheTableAndLeavesOutDataAlone) {
    vtest::BasicSuite basic;
    vtest::Records r;
    r.in.pica_basicP = basic.suite();
    void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&r.in, &r.out, "PF World Suite", 2, "Couldn't load suite.", &suite),
              PF_Err_NONE);
    EXPECT_EQ(suite, basic.tableFor("PF World Suite", 2));
    EXPECT_EQ(basic.acquisitions("PF World Suite", 2), 1);
    const PF_OutData untouched = vtest::Records::pattern();
    EXPECT_EQ(std::memcmp(&r.out, &untouched, sizeof r.out), 0);

    EXPECT_EQ(AEFX_ReleaseSuite(&r.in, &r.out, "PF World Suite", 2, "Couldn't release suite."), PF_Err_NONE);
    EXPECT_EQ(basic.releases("PF World Suite", 2), 1);
    EXPECT_EQ(std::memcmp(&r.out, &untouched, sizeof r.out), 0);
}

TEST(AefxAcquireSuite, WithoutABasicSuiteShowsTheCallersTextOrTheDefault) {
    struct Case {
        const char* given;
        const char* shown;
    };
    for (const Case c : {Case{"Couldn't load suite.", "Couldn't load suite."},
                         Case{nullptr, "Not able to acquire AEFX Suite."}}) {
        vtest::Records r;
        r.out.out_flags = 0;
        void* suite = &r;  // a stale pointer must not pass for a table
        EXPECT_EQ(AEFX_AcquireSuite(&r.in, &r.out, "PF World Suite", 2, c.given, &suite),
                  PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(suite, nullptr);
        EXPECT_EQ(r.out.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);
        EXPECT_EQ(message(r.out), c.shown);
    }
}

TEST(AefxAcquireSuite, AHostAnsweringNothingIsAFailureShownToTheUser) {
    for (auto answer : {vtest::BasicSuite::Answer::ErrorAndNull, vtest::BasicSuite::Answer::NullAndNoError}) {
        vtest::BasicSuite basic;
        basic.answer("PF World Suite", 2, answer);
        vtest::Records r;
        r.in.pica_basicP = basic.suite();
        r.out.out_flags = PF_OutFlag_REFRESH_UI;
        void* suite = &r;
        EXPECT_EQ(AEFX_AcquireSuite(&r.in, &r.out, "PF World Suite", 2, "Couldn't load suite.", &suite),
                  PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(suite, nullptr);
        EXPECT_EQ(r.out.out_flags, PF_OutFlag_REFRESH_UI | PF_OutFlag_DISPLAY_ERROR_MESSAGE)
            << "the flag is added, others are kept";
        EXPECT_EQ(message(r.out), "Couldn't load suite.");
    }
}

TEST(AefxSuiteHelper, APercentSignInTheTextIsPrintedAsItStands) {
    const char* text = "100% of %s failed: %d%n";
    vtest::Records r;
    void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&r.in, &r.out, "X", 1, text, &suite), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(message(r.out), text);
    vtest::Records r2;
    EXPECT_EQ(AEFX_ReleaseSuite(&r2.in, &r2.out, "X", 1, text), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(message(r2.out), text);
}

TEST(AefxSuiteHelper, ATextLongerThanTheMessageFieldIsCutAndNothingBeyondIsWritten) {
    const std::string text(400, 'x');
    vtest::Records r;
    const PF_OutData before = r.out;
    void* suite = nullptr;
    AEFX_AcquireSuite(&r.in, &r.out, "X", 1, text.c_str(), &suite);
    EXPECT_EQ(message(r.out), std::string(PF_MAX_EFFECT_MSG_LEN, 'x'));
    EXPECT_EQ(r.out.return_msg[PF_MAX_EFFECT_MSG_LEN], '\0');
    EXPECT_EQ(r.out.out_flags2, before.out_flags2) << "the field after return_msg";
}

TEST(AefxReleaseSuite, ReturnsNoneWhateverTheHostAnswers) {
    vtest::BasicSuite basic;
    basic.releaseAnswers(kSPSuiteNotFoundError);
    vtest::Records r;
    r.in.pica_basicP = basic.suite();
    EXPECT_EQ(AEFX_ReleaseSuite(&r.in, &r.out, "PF World Suite", 2, nullptr), PF_Err_NONE);
    EXPECT_EQ(basic.releases("PF World Suite", 2), 1);
    const PF_OutData untouched = vtest::Records::pattern();
    EXPECT_EQ(std::memcmp(&r.out, &untouched, sizeof r.out), 0);
}

TEST(AefxReleaseSuite, WithoutABasicSuiteShowsTheCallersTextOrTheDefault) {
    struct Case {
        const char* given;
        const char* shown;
    };
    for (const Case c : {Case{"Couldn't release suite.", "Couldn't release suite."},
                         Case{nullptr, "Not able to release AEFX Suite."}}) {
        vtest::Records r;
        r.out.out_flags = 0;
        EXPECT_EQ(AEFX_ReleaseSuite(&r.in, &r.out, "PF World Suite", 2, c.given), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(r.out.out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);
        EXPECT_EQ(message(r.out), c.shown);
    }
}
