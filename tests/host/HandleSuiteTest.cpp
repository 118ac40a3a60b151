// "PF Handle Suite" 2 as a module sees it: allocation, locking, disposal, and what the host
// records when a module misuses a handle.
#include "Host.h"
#include "ScriptedModule.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vhost {
namespace {

class HandleSuiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        suite = vtest::acquire<PF_HandleSuite2>(host.basicSuite(), kPFHandleSuite, kPFHandleSuiteVersion2);
        ASSERT_NE(suite, nullptr);
    }
    void TearDown() override { host.basicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2); }

    Host host{Host::Options{1}};
    const PF_HandleSuite2* suite = nullptr;
};

TEST_F(HandleSuiteTest, LifecycleKeepsBytesAndLockCounts) {
    PF_Handle h = suite->host_new_handle(4);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(*h, nullptr);  // a handle points at its memory
    EXPECT_EQ(host.ledger().openCount("handle"), 1);
    EXPECT_EQ(suite->host_get_handle_size(h), 4u);

    auto* bytes = static_cast<unsigned char*>(suite->host_lock_handle(h));
    ASSERT_EQ(bytes, *h);
    EXPECT_EQ(bytes[0] | bytes[1] | bytes[2] | bytes[3], 0);  // new memory is cleared
    EXPECT_EQ(host.lockCount(h), 1);
    std::memcpy(bytes, "\x01\x02\x03\x04", 4);
    EXPECT_EQ(suite->host_lock_handle(h), bytes);
    EXPECT_EQ(host.lockCount(h), 2);
    suite->host_unlock_handle(h);
    suite->host_unlock_handle(h);
    EXPECT_EQ(host.lockCount(h), 0);
    // Unlocking an unlocked handle (after a lock that failed) is harmless and never goes negative.
    suite->host_unlock_handle(h);
    EXPECT_EQ(host.lockCount(h), 0);
    EXPECT_TRUE(host.ledger().faults().empty()) << host.ledger().describe();

    auto* again = static_cast<unsigned char*>(suite->host_lock_handle(h));
    EXPECT_EQ(std::memcmp(again, "\x01\x02\x03\x04", 4), 0);
    suite->host_unlock_handle(h);
    suite->host_dispose_handle(h);
    EXPECT_FALSE(host.isLiveHandle(h));
    EXPECT_EQ(host.liveHandleCount(), 0u);
    EXPECT_EQ(host.ledger().openCount("handle"), 0);
}

TEST_F(HandleSuiteTest, AnEmptyHandleStillLocksToAnAddress) {
    PF_Handle h = suite->host_new_handle(0);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(suite->host_lock_handle(h), nullptr);
    EXPECT_EQ(suite->host_get_handle_size(h), 0u);
    suite->host_unlock_handle(h);
    suite->host_dispose_handle(h);
}

TEST_F(HandleSuiteTest, MisuseIsRecordedWithoutCrashing) {
    PF_Handle h = suite->host_new_handle(16);
    suite->host_dispose_handle(h);
    ASSERT_TRUE(host.ledger().faults().empty());

    suite->host_dispose_handle(h);  // twice
    suite->host_dispose_handle(nullptr);
    int notAHandleBlock = 0;
    void* notAHandle = &notAHandleBlock;
    PF_Handle bogus = reinterpret_cast<PF_Handle>(&notAHandle);
    EXPECT_EQ(suite->host_lock_handle(bogus), nullptr);
    suite->host_unlock_handle(bogus);
    EXPECT_EQ(suite->host_get_handle_size(bogus), 0u);
    suite->host_dispose_handle(bogus);
    EXPECT_EQ(notAHandleBlock, 0);
    EXPECT_EQ(host.ledger().faults().size(), 6u) << host.ledger().describe();
    EXPECT_FALSE(host.ledger().balanced());
}

TEST_F(HandleSuiteTest, InjectedFailuresAnswerNullAndTakeNothing) {
    host.ledger().failOp("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(suite->host_new_handle(4), nullptr);
    EXPECT_EQ(host.ledger().openCount("handle"), 0);
    EXPECT_EQ(host.liveHandleCount(), 0u);

    PF_Handle h = suite->host_new_handle(4);
    ASSERT_NE(h, nullptr);
    host.ledger().failOp("host_lock_handle", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(suite->host_lock_handle(h), nullptr);
    EXPECT_EQ(host.lockCount(h), 0);

    // Unlock and dispose return nothing: an injected failure cannot stop them giving back.
    host.ledger().failOp("host_dispose_handle", 1, PF_Err_OUT_OF_MEMORY);
    suite->host_dispose_handle(h);
    EXPECT_FALSE(host.isLiveHandle(h));
    host.basicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();
    suite = vtest::acquire<PF_HandleSuite2>(host.basicSuite(), kPFHandleSuite, kPFHandleSuiteVersion2);
}

TEST(HandleOwnership, TheHostFreesHandlesLeftAtItsEnd) {
    // Run under the address sanitizer this shows no leak: the host owns handle memory.
    Host host{Host::Options{1}};
    PF_Handle h = host.newHandle(1024);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host.ledger().openCount("handle"), 1);
}

}  // namespace
}  // namespace vhost
