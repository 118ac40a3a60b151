// "PF Param Utils Suite" 2: PF_UpdateParamUI applies the UI flags of a copied definition to the
// effect instance's parameter.
#include "Effect.h"
#include "Host.h"
#include "HostSuites.h"

namespace vhost {

namespace {

PF_Err updateParamUI(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def) {
    PF_Err err = PF_Err_NONE;
    Effect* effect = Effect::enterCallback(effectRef, "PF_UpdateParamUI", err);
    return effect ? effect->updateParamUI(index, def) : err;
}

const PF_ParamUtilsSuite2 paramUtilsSuite2 = {&updateParamUI};

}  // namespace

void registerParamUtilsSuite(Host& host) {
    host.registerSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &paramUtilsSuite2);
}

}  // namespace vhost
