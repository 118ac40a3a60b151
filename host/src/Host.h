// The stand-in host: the process-wide services an effect module reaches through its records and
// suites (basic suite, handles, registration, parameter UI, ANSI table, worlds, samplers, the
// effect's layer, worker pool), with the bookkeeping of Ledger. One Host is current at a time:
// suite functions carry no context, so they find their host through Host::current(), in the
// prologue of SuiteEntry.h. The suites themselves are listed in HostSuites.h.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "Ledger.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vhost {

class WorkerPool;

// How iterate_generic hands out its indices: on the pool's threads, the calling thread and its
// workers (the real thing), or on the calling thread alone in order, reversed or shuffled (to prove
// a filter does not depend on order).
enum class IterationOrder { Threads, InOrder, Reversed, Shuffled };

class Host {
public:
    // Slices of work per thread that AEGP_GetNumThreads asks a module for by default. A module
    // splits its work into as many bands as the host reports; with more bands than threads, a
    // thread that finishes early (its band was cheaper, or its core was taken by another process
    // for a while) takes the next band instead of waiting for the slowest one.
    static constexpr int kDefaultSlicesPerThread = 2;

    struct Options {
        int threads = 0;          // the pool's threads, the caller among them; 0 means the number of cores
        int slicesPerThread = 0;  // 0 means kDefaultSlicesPerThread
    };

    Host();
    explicit Host(Options options);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host whose services are being called. Constructing a Host makes it current; destroying
    // it clears the pointer. Only one Host may exist at a time.
    static Host* current();

    Ledger& ledger() { return ledger_; }
    const Ledger& ledger() const { return ledger_; }

    // The basic suite handed to modules in PF_InData::pica_basicP.
    SPBasicSuite* basicSuite() { return &basic_; }

    // Suites by exact name and version. A hidden suite answers AcquireSuite with an error and a
    // null pointer, as a host without it would.
    void registerSuite(const std::string& name, int version, const void* table);
    void hideSuite(const std::string& name, int version, bool hidden = true);
    const void* findSuite(const std::string& name, int version) const;

    // The utility callbacks (copy, fill, ANSI table) handed to modules in PF_InData::utils.
    PF_UtilCallbacks* utilCallbacks() { return &utils_; }

    // Threads for iterate_generic (the caller and threadCount() - 1 workers); AEGP_GetNumThreads
    // reports sliceCount(), threadCount() x slicesPerThread(); iterate_generic's thread index stays
    // below threadCount().
    int threadCount() const { return threadCount_; }
    void setThreadCount(int threads);  // resizes the pool
    int slicesPerThread() const { return slicesPerThread_; }
    void setSlicesPerThread(int slices);  // 0 or less: kDefaultSlicesPerThread
    int sliceCount() const { return threadCount_ * slicesPerThread_; }
    IterationOrder iterationOrder() const { return order_; }
    void setIterationOrder(IterationOrder order) { order_ = order; }
    WorkerPool& pool();

    // Handles of the "PF Handle Suite": memory blocks owned by the host.
    PF_Handle newHandle(A_HandleSize size);
    void* lockHandle(PF_Handle handle);
    void unlockHandle(PF_Handle handle);
    void disposeHandle(PF_Handle handle);
    A_HandleSize handleSize(PF_Handle handle) const;
    int lockCount(PF_Handle handle) const;
    bool isLiveHandle(PF_Handle handle) const;
    std::size_t liveHandleCount() const;

    // Plug-in ids handed out by AEGP_RegisterWithAEGP, starting at 1 and counting up.
    AEGP_PluginID nextPluginId() { return ++lastPluginId_; }
    AEGP_PluginID lastPluginId() const { return lastPluginId_; }
    // Names the modules registered under, in order.
    const std::vector<std::string>& registeredNames() const { return registeredNames_; }
    void noteRegistration(const std::string& name) { registeredNames_.push_back(name); }

private:
    Ledger ledger_;
    SPBasicSuite basic_{};
    PF_UtilCallbacks utils_{};
    std::map<std::pair<std::string, int>, const void*> suites_;
    std::set<std::pair<std::string, int>> hidden_;
    int threadCount_ = 1;
    int slicesPerThread_ = kDefaultSlicesPerThread;
    IterationOrder order_ = IterationOrder::Threads;
    std::unique_ptr<WorkerPool> pool_;
    struct HandleBlock;
    std::map<PF_Handle, std::unique_ptr<HandleBlock>> handles_;
    mutable std::mutex handlesMutex_;  // handles may be touched from worker threads
    AEGP_PluginID lastPluginId_ = 0;
    std::vector<std::string> registeredNames_;
};

}  // namespace vhost
