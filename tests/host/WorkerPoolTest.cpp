// The host's worker pool on its own: each index once, on the caller and the pool's workers, each
// thread index on one thread, the caller back only when the last has run; exceptions, nested runs
// and several callers.
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using vhost::WorkerPool;

namespace {

TEST(WorkerPool, RunsEveryIndexOnceOnTheCallerAndItsWorkers) {
    WorkerPool pool(3);
    EXPECT_EQ(pool.size(), 3);
    std::vector<std::atomic<int>> hits(200);
    std::mutex mutex;
    std::map<std::thread::id, std::set<int>> indicesOf;  // thread -> the thread indices it was given
    pool.run(200, [&](int thread, int i) {
        ++hits[static_cast<std::size_t>(i)];
        std::lock_guard lock(mutex);
        indicesOf[std::this_thread::get_id()].insert(thread);
    });
    for (const auto& h : hits) EXPECT_EQ(h.load(), 1);
    // At most three threads, each always under one index in [0, 3), no two under the same one;
    // the caller, if it took part, is thread 0.
    EXPECT_LE(indicesOf.size(), 3u);
    std::set<int> used;
    for (const auto& [id, indices] : indicesOf) {
        ASSERT_EQ(indices.size(), 1u);
        const int index = *indices.begin();
        EXPECT_TRUE(index >= 0 && index < 3) << index;
        EXPECT_TRUE(used.insert(index).second) << "two threads under index " << index;
        if (id == std::this_thread::get_id()) {
            EXPECT_EQ(index, 0);
        }
    }
    pool.run(0, [&](int, int) { ADD_FAILURE() << "nothing to run"; });
    // A pool of one is the caller alone.
    WorkerPool one(1);
    const std::thread::id caller = std::this_thread::get_id();
    one.run(5, [&](int thread, int) {
        EXPECT_EQ(thread, 0);
        EXPECT_EQ(std::this_thread::get_id(), caller);
    });
}

TEST(WorkerPool, SizeIsAtLeastOne) {
    EXPECT_EQ(WorkerPool(0).size(), 1);
    EXPECT_EQ(WorkerPool(-4).size(), 1);
}

TEST(WorkerPool, ExceptionReachesTheCallerAfterEveryIndexRan) {
    WorkerPool pool(2);
    std::atomic<int> ran{0};
    EXPECT_THROW(pool.run(10,
                          [&](int, int i) {
                              ++ran;
                              if (i == 3) throw std::runtime_error("band failed");
                          }),
                 std::runtime_error);
    EXPECT_EQ(ran.load(), 10);
    // The pool is still usable.
    std::atomic<int> again{0};
    pool.run(4, [&](int, int) { ++again; });
    EXPECT_EQ(again.load(), 4);
}

TEST(WorkerPool, NestedRunFromAWorkerRunsInline) {
    WorkerPool pool(2);
    std::atomic<int> inner{0};
    pool.run(2, [&](int, int) { pool.run(3, [&](int, int) { ++inner; }); });
    EXPECT_EQ(inner.load(), 6);
}

TEST(WorkerPool, SeveralCallersEachGetTheirWholeJob) {
    WorkerPool pool(2);
    std::vector<std::thread> callers;
    std::vector<std::atomic<int>> sums(4);
    for (int c = 0; c < 4; ++c)
        callers.emplace_back([&, c] {
            for (int round = 0; round < 20; ++round)
                pool.run(10, [&](int, int i) { sums[static_cast<std::size_t>(c)] += i; });
        });
    for (auto& t : callers) t.join();
    for (const auto& s : sums) EXPECT_EQ(s.load(), 20 * 45);
}

}  // namespace
