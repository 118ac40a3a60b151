// "PF Handle Suite" 2: host-owned memory blocks. Allocation and locking answer null when they
// fail; unlock and dispose return nothing, so an injected failure there is only logged.
#include "HostSuites.h"
#include "SuiteEntry.h"

namespace vhost {

namespace {

PF_Handle newHandle(A_HandleSize size) {
    const SuiteEntry entry("host_new_handle");
    return entry.refusal() ? nullptr : entry.host()->newHandle(size);
}

void* lockHandle(PF_Handle handle) {
    const SuiteEntry entry("host_lock_handle");
    return entry.refusal() ? nullptr : entry.host()->lockHandle(handle);
}

void unlockHandle(PF_Handle handle) {
    const SuiteEntry entry("host_unlock_handle");
    if (entry.host()) entry.host()->unlockHandle(handle);
}

void disposeHandle(PF_Handle handle) {
    const SuiteEntry entry("host_dispose_handle");
    if (entry.host()) entry.host()->disposeHandle(handle);
}

A_HandleSize handleSize(PF_Handle handle) {
    const SuiteEntry entry("host_get_handle_size");
    if (entry.refusal()) return 0;
    Host* host = entry.host();
    if (!host->isLiveHandle(handle)) {
        host->ledger().fault("size of an unknown handle");
        return 0;
    }
    return host->handleSize(handle);
}

const PF_HandleSuite2 handleSuite2 = {&newHandle, &lockHandle, &unlockHandle, &disposeHandle, &handleSize};

}  // namespace

void registerHandleSuite(Host& host) {
    host.registerSuite(kPFHandleSuite, kPFHandleSuiteVersion2, &handleSuite2);
}

}  // namespace vhost
