#include "Host.h"

#include "HostSuites.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

namespace vhost {

namespace {
std::atomic<Host*> currentHost{nullptr};

int defaultThreadCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}
}  // namespace

// A handle is the address of `master`, which points at the block's bytes, so that a module
// dereferencing the handle (*handle) reaches the memory as it would in the real host.
struct Host::HandleBlock {
    std::unique_ptr<unsigned char[]> bytes;
    void* master = nullptr;
    A_HandleSize size = 0;
    int locks = 0;
};

Host::Host() : Host(Options{}) {}

Host::Host(Options options) {
    Host* expected = nullptr;
    if (!currentHost.compare_exchange_strong(expected, this))
        throw std::logic_error("a Host already exists; only one may exist at a time");
    threadCount_ = options.threads > 0 ? options.threads : defaultThreadCount();
    setSlicesPerThread(options.slicesPerThread);
    try {
        initBasicSuite(basic_);
        initAnsiCallbacks(utils_.ansi);
        registerHandleSuite(*this);
        registerUtilitySuite(*this);
        registerParamUtilsSuite(*this);
        registerImageServices(*this);
        registerLayerSuites(*this);
    } catch (...) {
        currentHost.store(nullptr);
        throw;
    }
}

Host::~Host() {
    pool_.reset();
    currentHost.store(nullptr);
}

Host* Host::current() { return currentHost.load(); }

void Host::registerSuite(const std::string& name, int version, const void* table) {
    suites_[{name, version}] = table;
}

void Host::hideSuite(const std::string& name, int version, bool hidden) {
    if (hidden)
        hidden_.insert({name, version});
    else
        hidden_.erase({name, version});
}

const void* Host::findSuite(const std::string& name, int version) const {
    const auto key = std::make_pair(name, version);
    if (hidden_.count(key)) return nullptr;
    auto it = suites_.find(key);
    return it == suites_.end() ? nullptr : it->second;
}

void Host::setThreadCount(int threads) {
    threadCount_ = threads > 0 ? threads : defaultThreadCount();
    if (pool_) pool_ = std::make_unique<WorkerPool>(threadCount_);
}

void Host::setSlicesPerThread(int slices) {
    slicesPerThread_ = slices > 0 ? std::min(slices, 64) : kDefaultSlicesPerThread;
}

WorkerPool& Host::pool() {
    if (!pool_) pool_ = std::make_unique<WorkerPool>(threadCount_);
    return *pool_;
}

// ---- handles -----------------------------------------------------------------------------

PF_Handle Host::newHandle(A_HandleSize size) {
    auto block = std::make_unique<HandleBlock>();
    // Never a zero-byte allocation: a locked empty handle still gets a valid address.
    block->bytes = std::make_unique<unsigned char[]>(size == 0 ? 1 : size);  // zeroed
    block->master = block->bytes.get();
    block->size = size;
    PF_Handle handle = &block->master;
    {
        std::lock_guard lock(handlesMutex_);
        handles_.emplace(handle, std::move(block));
    }
    ledger_.opened("handle");
    return handle;
}

void* Host::lockHandle(PF_Handle handle) {
    std::lock_guard lock(handlesMutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        ledger_.fault("lock of an unknown handle");
        return nullptr;
    }
    ++it->second->locks;
    return it->second->master;
}

void Host::unlockHandle(PF_Handle handle) {
    std::lock_guard lock(handlesMutex_);
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        ledger_.fault("unlock of an unknown handle");
        return;
    }
    // Unlocking a handle that is not locked is harmless (a caller unlocks after a lock that
    // failed); the count never goes below zero.
    if (it->second->locks > 0) --it->second->locks;
}

void Host::disposeHandle(PF_Handle handle) {
    std::unique_ptr<HandleBlock> doomed;
    {
        std::lock_guard lock(handlesMutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end()) {
            ledger_.fault(handle ? "dispose of an unknown handle" : "dispose of a null handle");
            return;
        }
        doomed = std::move(it->second);
        handles_.erase(it);
    }
    ledger_.closed("handle");
}

A_HandleSize Host::handleSize(PF_Handle handle) const {
    std::lock_guard lock(handlesMutex_);
    auto it = handles_.find(handle);
    return it == handles_.end() ? 0 : it->second->size;
}

int Host::lockCount(PF_Handle handle) const {
    std::lock_guard lock(handlesMutex_);
    auto it = handles_.find(handle);
    return it == handles_.end() ? 0 : it->second->locks;
}

bool Host::isLiveHandle(PF_Handle handle) const {
    std::lock_guard lock(handlesMutex_);
    return handles_.count(handle) != 0;
}

std::size_t Host::liveHandleCount() const {
    std::lock_guard lock(handlesMutex_);
    return handles_.size();
}

}  // namespace vhost
