// Hosts call f0r_update2 from several threads: MLT on one instance (its `threads` slices) and on
// several instances at once. Every frame must be the one a lone call makes.
#include "Frei0rSupport.h"

#include <thread>

namespace vfrei0r::testing {
namespace {

TEST(Frei0rThreadsTest, ConcurrentUpdatesGiveTheFramesOfLoneCalls) {
    Plugin plugin;
    ASSERT_TRUE(plugin.complete()) << dlerror();
    const int w = 32, h = 20;
    const Frame a = picture(w, h, 2), b = picture(w, h, 9);
    // Different settings per instance: one instance's values must never reach another's frame.
    const char* states[] = {"Still", "Move", "Shrink"};
    std::vector<f0r_instance_t> instances;
    std::vector<Frame> expected;
    for (int i = 0; i < 3; ++i) {
        f0r_instance_t inst = plugin.construct(w, h);
        ASSERT_NE(inst, nullptr);
        plugin.setString(inst, "state", states[i]);
        plugin.setString(inst, "mode", i % 2 ? "Both" : "One");
        plugin.setDouble(inst, "progress", 0.25 + 0.2 * i);
        plugin.setDouble(inst, "direction", 0.05 * (i + 1));
        instances.push_back(inst);
        expected.emplace_back(w, h);
        plugin.update2(inst, 0.0, a.pixels.data(), b.pixels.data(), nullptr, expected.back().pixels.data());
    }
    ASSERT_FALSE(expected[0] == expected[1]);

    constexpr int kThreadsPerInstance = 3, kRounds = 4;
    std::vector<std::vector<Frame>> results(instances.size() * kThreadsPerInstance);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            f0r_instance_t inst = instances[t % instances.size()];
            for (int r = 0; r < kRounds; ++r) {
                Frame out(w, h);
                plugin.update2(inst, r, a.pixels.data(), b.pixels.data(), nullptr, out.pixels.data());
                results[t].push_back(std::move(out));
                // Reading values while others render is part of a host's day.
                plugin.getString(inst, "state");
            }
        });
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < results.size(); ++t)
        for (const Frame& f : results[t]) EXPECT_TRUE(f == expected[t % instances.size()]) << "thread " << t;
    for (f0r_instance_t inst : instances) plugin.destruct(inst);
    plugin.deinit();
}

}  // namespace
}  // namespace vfrei0r::testing
