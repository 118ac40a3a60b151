// "AEGP Utility Suite" 7: registration of a plug-in with the host, which answers with an id.
#include "Host.h"
#include "HostSuites.h"

namespace vhost {

namespace {

PF_Err registerWithAEGP(AEGP_GlobalRefcon, const A_char* pluginName, AEGP_PluginID* pluginId) {
    Host* host = Host::current();
    if (!host) return PF_Err_INVALID_CALLBACK;
    if (auto err = host->ledger().enter("AEGP_RegisterWithAEGP")) return *err;
    if (!pluginName || !pluginId) return PF_Err_BAD_CALLBACK_PARAM;
    host->noteRegistration(pluginName);
    *pluginId = host->nextPluginId();
    return PF_Err_NONE;
}

const AEGP_UtilitySuite7 utilitySuite7 = {&registerWithAEGP};

}  // namespace

void registerUtilitySuite(Host& host) {
    host.registerSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &utilitySuite7);
}

}  // namespace vhost
