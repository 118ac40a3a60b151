// The host's samplers ("PF Sampling8/16/Float Suite" 1): nearest-neighbour and bilinear reads of
// one pixel of a world at a 16.16 position. They never read outside the world and never fail for
// a position; they run per pixel, so they keep no bookkeeping.
#pragma once

#include "AE_EffectSuites.h"

namespace vhost {

const PF_Sampling8Suite1& sampling8Suite();
const PF_Sampling16Suite1& sampling16Suite();
const PF_SamplingFloatSuite1& samplingFloatSuite();

}  // namespace vhost
