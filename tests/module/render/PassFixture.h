// The Blind filter run directly on the stand-in host's worlds, without the smart-render commands:
// the host fixture's in-process effect instance supplies the PF_InData (basic suite, ANSI table,
// effect reference), host worlds with padded rows and guard bands stand for the input and output
// (left uncleared where the test must see which pixels the filter wrote), and FilterMulti runs the
// filter on the host's iteration.
#pragma once

#include "HostFixture.h"

#include "VelmorBlind.h"
#include "VelmorFilterMulti.h"
#include "VelmorLayer.h"

#include <gtest/gtest.h>

namespace vtest {

using hostfixture::bpcOf;
using hostfixture::Fill;
using hostfixture::TestWorld;

// The pass tests run on the calling thread unless they ask for worker threads.
class PassTest : public hostfixture::HostTest {
protected:
    explicit PassTest(int threads = 1) : HostTest(threads) {}

    // A record on this host for a layer of w x h, bands along x (direction 0), one-pixel bands
    // closing together (delay 0) with linear easing.
    Velmor::Blind::Parameter parameter(int w, int h) {
        Velmor::Blind::Parameter p;
        p.setInData(&in_).setLayerRect(PF_LRect{0, 0, w, h}).setDirection(0.0).setDelay(0.0).setEasingType(1);
        return p;
    }
};

}  // namespace vtest
