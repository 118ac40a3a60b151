// One handler shared by several threads that all ask for the same suite first: every thread gets
// the same table and every acquisition made in the race is given back exactly once.
#include "AEGP_SuiteHandler.h"
#include "FakeBasicSuite.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(SuiteHandlerThreads, ConcurrentFirstUseSharesOneTableAndBalancesTheHost) {
    constexpr int kThreads = 8;
    for (int round = 0; round < 20; ++round) {
        vtest::BasicSuite basic;
        std::vector<const void*> seen(kThreads, nullptr);
        {
            AEGP_SuiteHandler suites(basic.suite());
            std::atomic<int> ready{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&, t] {
                    ready.fetch_add(1);
                    while (ready.load() < kThreads) {}
                    seen[t] = suites.Sampling16Suite1();
                });
            }
            for (auto& th : threads) th.join();
            EXPECT_EQ(basic.acquisitions("PF Sampling16 Suite", 1) - basic.releases("PF Sampling16 Suite", 1),
                      1)
                << "exactly one acquisition stays with the handler";
        }
        for (const void* p : seen) EXPECT_EQ(p, basic.tableFor("PF Sampling16 Suite", 1));
        EXPECT_EQ(basic.releases("PF Sampling16 Suite", 1), basic.acquisitions("PF Sampling16 Suite", 1));
        EXPECT_GE(basic.acquisitions("PF Sampling16 Suite", 1), 1);
    }
}
