// "PF Handle Suite" 2: host-owned memory blocks. Allocation and locking answer null when they
// fail; unlock and dispose return nothing, so an injected failure there is only logged.
#include "Host.h"
#include "HostSuites.h"

namespace vhost {

namespace {

PF_Handle newHandle(A_HandleSize size) {
    Host* host = Host::current();
    if (!host || host->ledger().enter("host_new_handle")) return nullptr;
    return host->newHandle(size);
}

void* lockHandle(PF_Handle handle) {
    Host* host = Host::current();
    if (!host || host->ledger().enter("host_lock_handle")) return nullptr;
    return host->lockHandle(handle);
}

void unlockHandle(PF_Handle handle) {
    Host* host = Host::current();
    if (!host) return;
    host->ledger().enter("host_unlock_handle");
    host->unlockHandle(handle);
}

void disposeHandle(PF_Handle handle) {
    Host* host = Host::current();
    if (!host) return;
    host->ledger().enter("host_dispose_handle");
    host->disposeHandle(handle);
}

A_HandleSize handleSize(PF_Handle handle) {
    Host* host = Host::current();
    if (!host || host->ledger().enter("host_get_handle_size")) return 0;
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
