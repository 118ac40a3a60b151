// The basic suite: every other suite is acquired here by exact name and version and released
// under the same name and version. Each acquisition and release is recorded in the ledger.
#include "HostSuites.h"
#include "SuiteEntry.h"

namespace vhost {

namespace {

SPErr acquireSuite(const char* name, int32_t version, const void** suite) {
    if (suite) *suite = nullptr;
    const SuiteEntry entry("AcquireSuite");
    if (auto refusal = entry.refusal()) return *refusal;
    if (!name || !suite) return PF_Err_BAD_CALLBACK_PARAM;
    Host* host = entry.host();
    const void* table = host->findSuite(name, version);
    if (!table) return kSPSuiteNotFoundError;
    *suite = table;
    host->ledger().suiteAcquired(name, version);
    return kSPNoError;
}

SPErr releaseSuite(const char* name, int32_t version) {
    const SuiteEntry entry("ReleaseSuite");
    Host* host = entry.host();
    if (!host) return kNoHostError;
    // An injected failure is only reported: the caller has given the suite back all the same,
    // and nothing it can do would give it back again.
    const auto injected = entry.injected();
    if (!name) {
        host->ledger().fault("ReleaseSuite without a name");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!host->ledger().suiteReleased(name, version)) return kSPSuiteNotFoundError;
    return injected ? *injected : kSPNoError;
}

}  // namespace

void initBasicSuite(SPBasicSuite& basic) {
    basic.AcquireSuite = &acquireSuite;
    basic.ReleaseSuite = &releaseSuite;
}

}  // namespace vhost
