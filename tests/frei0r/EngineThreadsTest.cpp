// The plug-in's frames on any number of the host's threads and slices: the same bytes. The host
// shares out the first input's conversion, the module's bands and the composite among its threads.
#include "Instance.h"

#include "Host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vfrei0r {
namespace {

int indexOf(const char* name) {
    const auto& table = paramTable();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (std::strcmp(table[i].name, name) == 0) return static_cast<int>(i);
    ADD_FAILURE() << "no parameter " << name;
    return -1;
}

TEST(Frei0rEngineThreads, AnyThreadCountGivesTheSameBytes) {
    // Tall enough that the host's passes over rows split among threads.
    const int w = 320, h = 900;
    std::vector<std::uint32_t> a(w * h), b(w * h);
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<std::uint32_t>(i % w), y = static_cast<std::uint32_t>(i / w);
        const std::uint32_t alpha = (x + y) % 5 == 0 ? 0 : 120 + (x * 7 + y) % 136;
        a[i] = (x & 0xFF) | ((y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF) << 16 | alpha << 24;
        b[i] = ((y + 40) & 0xFF) | (x * 5 & 0xFF) << 8 | 0x60u << 16 | (x % 3 ? 255u : 90u) << 24;
    }
    Instance inst(w, h);
    const double progress = 0.45, direction = 0.1;
    const char* move = "Move";
    inst.set(indexOf("progress"), &progress);
    inst.set(indexOf("direction"), &direction);
    inst.set(indexOf("state"), &move);

    vhost::Host& host = Engine::acquire().host();
    host.setThreadCount(1);
    host.setSlicesPerThread(1);
    std::vector<std::uint32_t> reference(a.size()), alone(a.size());
    inst.update(a.data(), b.data(), reference.data());
    inst.update(a.data(), nullptr, alone.data());
    ASSERT_NE(reference, b);
    ASSERT_NE(reference, alone);

    for (int threads : {1, 2, 7, 64})
        for (int slices : {1, 2, 3}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(slices) + " slices");
            host.setThreadCount(threads);
            host.setSlicesPerThread(slices);
            std::vector<std::uint32_t> out(a.size(), 0xDEADBEEFu);
            inst.update(a.data(), b.data(), out.data());
            EXPECT_EQ(out, reference);
            inst.update(a.data(), nullptr, out.data());
            EXPECT_EQ(out, alone);
            // Into the second input itself, as hosts may ask.
            std::vector<std::uint32_t> inPlace = b;
            inst.update(a.data(), inPlace.data(), inPlace.data());
            EXPECT_EQ(inPlace, reference);
        }
    host.setThreadCount(0);
    host.setSlicesPerThread(0);
    Engine::release();
}

}  // namespace
}  // namespace vfrei0r
