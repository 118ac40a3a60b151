// The Blind filter run directly on the stand-in host's worlds, without the smart-render commands:
// an in-process effect instance supplies the PF_InData (basic suite, ANSI table, effect
// reference), host worlds with padded rows and guard bands stand for the input and output, and
// FilterMulti runs the filter on the host's iteration. After every test the host's bookkeeping
// must be balanced.
#pragma once

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Module.h"
#include "Worlds.h"

#include "VelmorBlind.h"
#include "VelmorFilterMulti.h"
#include "VelmorLayer.h"

#include <gtest/gtest.h>

#include <memory>

namespace passtest {

inline PF_Err idleEntryPoint(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*)
{
    return PF_Err_NONE;
}

class PassTest : public ::testing::Test {
protected:
    explicit PassTest(int threads = 1) : threads_(threads) {}

    void SetUp() override
    {
        worldsBefore_ = vhost::liveWorldCount();
        host_ = std::make_unique<vhost::Host>(vhost::Host::Options{threads_});
        effect_ = std::make_unique<vhost::Effect>(*host_,
                                                  vhost::Module::fromEntryPoint(&idleEntryPoint));
        in_ = effect_->makeInData();
        out_ = PF_OutData{};
    }

    void TearDown() override
    {
        effect_.reset();
        EXPECT_TRUE(host_->ledger().balanced()) << host_->ledger().describe();
        host_.reset();
        EXPECT_EQ(vhost::liveWorldCount(), worldsBefore_) << "a world outlived its test";
    }

    vhost::Ledger& ledger() { return host_->ledger(); }

    // A record on this host for a layer of w x h, bands along x (direction 0), one-pixel bands
    // closing together (delay 0) with linear easing.
    Velmor::Blind::Parameter parameter(int w, int h)
    {
        Velmor::Blind::Parameter p;
        p.setInData(&in_).setLayerRect(PF_LRect{0, 0, w, h}).setDirection(0.0).setDelay(0.0)
            .setEasingType(1);
        return p;
    }

    std::unique_ptr<vhost::Host> host_;
    std::unique_ptr<vhost::Effect> effect_;
    PF_InData in_{};
    PF_OutData out_{};

private:
    int threads_;
    int worldsBefore_ = 0;
};

// A host world owned by a test, freed on scope exit. Unless cleared, its pixels hold
// vhost::kWorldUnclearedByte, so that pixels nobody wrote stand out.
struct World {
    PF_EffectWorld world{};
    World(int w, int h, vhost::Depth d, bool clear = false)
    {
        EXPECT_EQ(vhost::createWorld(w, h, d, clear, &world), PF_Err_NONE);
    }
    World(const vhost::Image& image, bool clear = false) : World(image.width, image.height, image.depth, clear)
    {
        vhost::imageToWorld(image, 0, 0, &world);
    }
    ~World() { vhost::destroyWorld(&world); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    PF_EffectWorld* get() { return &world; }
    vhost::Image image() const
    {
        return vhost::worldToImage(&world, *vhost::worldDepth(&world), 0, 0, world.width, world.height);
    }
};

inline int bpcOf(vhost::Depth depth)
{
    return depth == vhost::Depth::Bits8 ? 0 : (depth == vhost::Depth::Bits16 ? 1 : 2);
}

} // namespace passtest
