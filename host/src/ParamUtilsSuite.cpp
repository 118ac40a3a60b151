// "PF Param Utils Suite" 2: PF_UpdateParamUI applies the UI flags of a copied definition to the
// effect instance's parameter.
#include "Effect.h"
#include "Host.h"
#include "HostSuites.h"

namespace vhost {

namespace {

PF_Err updateParamUI(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def) {
    Host* host = Host::current();
    if (!host) return PF_Err_INVALID_CALLBACK;
    if (auto err = host->ledger().enter("PF_UpdateParamUI")) return *err;
    Effect* effect = Effect::fromRef(effectRef);
    if (!effect) return PF_Err_BAD_CALLBACK_PARAM;
    return effect->updateParamUI(index, def);
}

const PF_ParamUtilsSuite2 paramUtilsSuite2 = {&updateParamUI};

}  // namespace

void registerParamUtilsSuite(Host& host) {
    host.registerSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &paramUtilsSuite2);
}

}  // namespace vhost
