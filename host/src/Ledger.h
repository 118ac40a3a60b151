// The stand-in host's bookkeeping: a log of every host operation a module called, counts of what
// it acquired and gave back, and fault injection ("fail the k-th call"). Tests read it to prove
// that every path releases what it took, also when a host call fails.
#pragma once

#include "AE_Effect.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

class Ledger {
public:
    // Called first by every host operation that a module can call, through SuiteEntry (the
    // samplers and the ANSI table excepted: they run per pixel and cannot fail). Logs the call and
    // returns the failure injected for it, if any: nullopt means "proceed normally"; a value means
    // "fail with this code" (operations that return a pointer return null instead).
    std::optional<PF_Err> enter(const char* op);

    // Fault injection. Call numbers count from the last clearFaults()/resetLog(), starting at 1.
    void failNthCall(uint64_t n, PF_Err err);               // the n-th call of any operation
    void failOp(const std::string& op, int k, PF_Err err);  // the k-th call of one operation
    void failOpAlways(const std::string& op, PF_Err err);   // every call of one operation
    void clearFaults();

    uint64_t callCount() const;
    std::vector<std::string> callLog() const;
    int callsOf(const std::string& op) const;
    void resetLog();

    // Resources: kind is e.g. "suite:PF Handle Suite/2", "handle", "world", "param", "layer".
    void opened(const std::string& kind);
    // Returns false (and records a fault) when nothing of that kind was open.
    bool closed(const std::string& kind);
    std::map<std::string, int> outstanding() const;  // kinds with a non-zero open count
    int openCount(const std::string& kind) const;

    // Suites: every acquisition and release by exact name and version.
    void suiteAcquired(const std::string& name, int version);
    bool suiteReleased(const std::string& name, int version);
    int acquisitions(const std::string& name, int version) const;
    int releases(const std::string& name, int version) const;

    // Misuse the host noticed (double release, dispose of an unknown handle, ...).
    void fault(const std::string& what);
    std::vector<std::string> faults() const;

    // Everything balanced: nothing outstanding, no faults. `allowed` kinds may stay open
    // (for instance one "handle" for the global data after a successful global set-up).
    bool balanced(const std::map<std::string, int>& allowed = {}) const;
    std::string describe() const;  // human-readable summary for test failure messages

private:
    mutable std::mutex mutex_;
    uint64_t calls_ = 0;
    std::vector<std::string> log_;
    std::map<std::string, int> callsPerOp_;
    struct Rule {
        std::optional<uint64_t> nth;
        std::string op;
        int k = 0;
        bool always = false;
        PF_Err err = 0;
    };
    std::vector<Rule> rules_;
    std::map<std::string, int> open_;
    std::map<std::string, int> acquired_, released_;
    std::vector<std::string> faults_;
};

}  // namespace vhost
