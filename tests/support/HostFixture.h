// Shared set-up for tests that run the framework or the host's services on a real stand-in host
// without a module file: one in-process effect instance (its entry point does nothing: the tests
// call the framework and the host directly), the PF_InData/PF_OutData the host builds for a
// command, host worlds owned by a test, and the check that after every test the host's bookkeeping
// is balanced: every world disposed, every checkout returned, every suite released, no misuse
// noticed.
#pragma once

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Worlds.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace hostfixture {

inline PF_Err idleEntryPoint(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
    return PF_Err_NONE;
}

class HostTest : public ::testing::Test {
protected:
    // The host's pool of worker threads: two unless a test asks for another number.
    explicit HostTest(int threads = 2) : threads_(threads) {}

    void SetUp() override {
        worldsBefore_ = vhost::liveWorldCount();
        // One slice per thread: the tests of bands and thread counts count on the pool's size.
        host_ = std::make_unique<vhost::Host>(vhost::Host::Options{threads_, 1});
        effect_ = std::make_unique<vhost::Effect>(*host_, vhost::Module::fromEntryPoint(&idleEntryPoint));
        in_ = effect_->makeInData();
        out_ = PF_OutData{};
    }

    void TearDown() override {
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

// Whether a new world's pixels start at zero or hold vhost::kWorldUnclearedByte, so that pixels
// nobody wrote stand out.
enum class Fill { Cleared, Uncleared };

// A host world owned by a test; freed on scope exit.
struct TestWorld {
    PF_EffectWorld world{};
    TestWorld(int w, int h, vhost::Depth d, Fill fill = Fill::Cleared) {
        EXPECT_EQ(vhost::createWorld(w, h, d, fill == Fill::Cleared, &world), PF_Err_NONE);
    }
    // A world holding the image's pixels.
    explicit TestWorld(const vhost::Image& image)
        : TestWorld(image.width, image.height, image.depth, Fill::Uncleared) {
        vhost::imageToWorld(image, 0, 0, &world);
    }
    ~TestWorld() { vhost::destroyWorld(&world); }
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;
    PF_EffectWorld* get() { return &world; }
    vhost::Image image() const {
        return vhost::worldToImage(&world, *vhost::worldDepth(&world), 0, 0, world.width, world.height);
    }
};

// The framework's bits-per-channel code of a depth: 0 for 8-bit, 1 for 16-bit, 2 for float.
constexpr int bpcOf(vhost::Depth depth) {
    return depth == vhost::Depth::Bits8 ? 0 : (depth == vhost::Depth::Bits16 ? 1 : 2);
}

}  // namespace hostfixture
