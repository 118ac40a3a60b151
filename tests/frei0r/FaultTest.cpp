// A host error inside a render: the frame holds the second input (or transparent black), nothing is
// printed, and the next frame renders normally. Drives an instance directly to reach its host.
#include "Instance.h"

#include "Host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vfrei0r {
namespace {

TEST(Frei0rFaultTest, HostErrorLeavesTheSecondInput) {
    const int w = 40, h = 24;
    std::vector<std::uint32_t> a(w * h), b(w * h), out(w * h, 0xDEADBEEFu), good(w * h);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u & 0xFFFFFFu);
        b[i] = 0xFF203040u + static_cast<std::uint32_t>(i);
    }
    Instance inst(w, h);
    const double half = 0.5, narrow = 0.1;
    inst.set(0, &half);
    inst.set(11, &narrow);  // 5-pixel bands
    inst.update(a.data(), b.data(), good.data());
    ASSERT_NE(good, b);

    vhost::Ledger& ledger = Engine::acquire().host().ledger();
    ledger.failOpAlways("checkout_output", PF_Err_OUT_OF_MEMORY);
    ::testing::internal::CaptureStdout();
    inst.update(a.data(), b.data(), out.data());
    EXPECT_EQ(out, b);
    ledger.failOpAlways("checkout_output", PF_Err_OUT_OF_MEMORY);
    inst.update(a.data(), nullptr, out.data());
    EXPECT_EQ(out, std::vector<std::uint32_t>(w * h, 0u));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    inst.update(a.data(), b.data(), out.data());
    EXPECT_EQ(out, good);
    Engine::release();
}

}  // namespace
}  // namespace vfrei0r
