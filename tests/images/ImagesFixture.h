// Shared set-up for the image tests: a real stand-in host, one in-process effect instance (its
// entry point does nothing: the tests call the framework and the host's services directly), the
// PF_InData/PF_OutData the host builds for a command, and the check that after every test the
// host's bookkeeping is balanced: every world disposed, every checkout returned, every suite
// released, no misuse noticed.
#pragma once

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Worlds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace images_test {

inline PF_Err idleEntryPoint(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*)
{
    return PF_Err_NONE;
}

class HostTest : public ::testing::Test {
protected:
    explicit HostTest(int threads = 2) : threads_(threads) {}

    void SetUp() override
    {
        worldsBefore_ = vhost::liveWorldCount();
        host_ = std::make_unique<vhost::Host>(vhost::Host::Options{threads_});
        effect_ = std::make_unique<vhost::Effect>(*host_, vhost::Module::fromEntryPoint(&idleEntryPoint));
        in_ = effect_->makeInData();
        out_ = PF_OutData{};
    }

    void TearDown() override
    {
        effect_.reset();
        // A test about misuse names the faults it provokes; any other fault is a failure.
        EXPECT_EQ(host_->ledger().faults(), expectedFaults_) << host_->ledger().describe();
        if (expectedFaults_.empty()) {
            EXPECT_TRUE(host_->ledger().balanced()) << host_->ledger().describe();
        }
        for (const auto& [kind, count] : host_->ledger().outstanding())
            ADD_FAILURE() << "still open: " << kind << " x" << count;
        host_.reset();
        EXPECT_EQ(vhost::liveWorldCount(), worldsBefore_) << "a world outlived its test";
    }

    vhost::Ledger& ledger() { return host_->ledger(); }

    std::unique_ptr<vhost::Host> host_;
    std::unique_ptr<vhost::Effect> effect_;
    PF_InData in_{};
    PF_OutData out_{};
    std::vector<std::string> expectedFaults_;

private:
    int threads_;
    int worldsBefore_ = 0;
};

// A host world owned by a test; freed on scope exit.
struct TestWorld {
    PF_EffectWorld world{};
    TestWorld(int w, int h, vhost::Depth d, bool clear = true)
    {
        EXPECT_EQ(vhost::createWorld(w, h, d, clear, &world), PF_Err_NONE);
    }
    ~TestWorld() { vhost::destroyWorld(&world); }
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;
    PF_EffectWorld* get() { return &world; }
};

// Pixel (x, y) of a world of pixel type P, by rowbytes.
template <typename P>
P& pixelOf(PF_EffectWorld* w, int x, int y)
{
    return *reinterpret_cast<P*>(static_cast<unsigned char*>(w->data) +
                                 static_cast<std::ptrdiff_t>(y) * w->rowbytes +
                                 static_cast<std::ptrdiff_t>(x) * sizeof(P));
}

// Per-depth facts the tests are written over once.
template <typename P>
struct DepthOf;
template <>
struct DepthOf<PF_Pixel> {
    static constexpr vhost::Depth depth = vhost::Depth::Bits8;
    static constexpr int bpc = 0;
    // A pixel unique to (x, y) within small worlds.
    static PF_Pixel mark(int x, int y)
    {
        return PF_Pixel{255, static_cast<A_u_char>(x), static_cast<A_u_char>(y),
                        static_cast<A_u_char>(x * 16 + y)};
    }
};
template <>
struct DepthOf<PF_Pixel16> {
    static constexpr vhost::Depth depth = vhost::Depth::Bits16;
    static constexpr int bpc = 1;
    static PF_Pixel16 mark(int x, int y)
    {
        return PF_Pixel16{32768, static_cast<A_u_short>(x * 300 + 1), static_cast<A_u_short>(y * 300 + 2),
                          static_cast<A_u_short>(x * 1000 + y)};
    }
};
template <>
struct DepthOf<PF_PixelFloat> {
    static constexpr vhost::Depth depth = vhost::Depth::Float32;
    static constexpr int bpc = 2;
    static PF_PixelFloat mark(int x, int y)
    {
        return PF_PixelFloat{1.0f, static_cast<float>(x) * 0.125f, static_cast<float>(y) * 0.25f,
                             static_cast<float>(x * 16 + y) / 64.0f};
    }
};

template <typename P>
bool samePixel(const P& a, const P& b)
{
    return std::memcmp(&a, &b, sizeof(P)) == 0;
}

template <typename P>
void markWorld(PF_EffectWorld* w)
{
    for (int y = 0; y < w->height; ++y)
        for (int x = 0; x < w->width; ++x)
            pixelOf<P>(w, x, y) = DepthOf<P>::mark(x, y);
}

using PixelTypes = ::testing::Types<PF_Pixel, PF_Pixel16, PF_PixelFloat>;

} // namespace images_test
