// Hosts call f0r_update2 from several threads, on one instance (MLT's `threads` slices) and on
// several at once: every frame must be the one a lone call makes, whatever the others are set to.
#include "Frei0rSupport.h"

#include <thread>

namespace vfrei0r::testing {
namespace {

TEST(Frei0rThreadsTest, ConcurrentUpdatesGiveTheFramesOfLoneCalls) {
    Plugin p;
    const int w = 32, h = 20;
    const Frame a = picture(w, h, 2), b = picture(w, h, 9);
    const char* states[] = {"Still", "Move", "Shrink"};
    std::vector<f0r_instance_t> instances;
    std::vector<Frame> expected;
    for (int i = 0; i < 3; ++i) {
        instances.push_back(p.construct(w, h));
        p.set(instances[i], "state", states[i]);
        p.set(instances[i], "progress", 0.25 + 0.2 * i);
        p.set(instances[i], "direction", 0.05 * (i + 1));
        expected.emplace_back(a.size());
        p.update2(instances[i], 0.0, a.data(), b.data(), nullptr, expected.back().data());
    }
    ASSERT_FALSE(expected[0] == expected[1]);

    std::vector<std::vector<Frame>> results(9);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            for (int r = 0; r < 4; ++r) {
                results[t].emplace_back(a.size());
                p.update2(instances[t % 3], r, a.data(), b.data(), nullptr, results[t].back().data());
                p.text(instances[t % 3], "state");  // reading values while others render
            }
        });
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < results.size(); ++t)
        for (const Frame& f : results[t]) EXPECT_TRUE(f == expected[t % 3]) << "thread " << t;
    for (f0r_instance_t inst : instances) p.destruct(inst);
    p.deinit();
}

}  // namespace
}  // namespace vfrei0r::testing
