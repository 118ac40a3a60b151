// "AEGP Utility Suite" 7: registration of a plug-in with the host, which answers with an id.
#include "HostSuites.h"
#include "SuiteEntry.h"

namespace vhost {

namespace {

PF_Err registerWithAEGP(AEGP_GlobalRefcon, const A_char* pluginName, AEGP_PluginID* pluginId) {
    const SuiteEntry entry("AEGP_RegisterWithAEGP");
    if (auto refusal = entry.refusal()) return *refusal;
    if (!pluginName || !pluginId) return PF_Err_BAD_CALLBACK_PARAM;
    Host* host = entry.host();
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
