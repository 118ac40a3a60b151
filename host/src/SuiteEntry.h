// The first step of every function the host hands to a module in a suite or callback table: find
// the host (such functions carry no context, so theirs is Host::current()) and log the call in its
// ledger, which may inject a failure for it.
//
// This is also the one place that decides what a call answers when no host is current, which
// happens only to a module that kept a table past the life of its host: PF_Err_INVALID_CALLBACK,
// the table no longer being valid to call. (Not PF_Err_INTERNAL_STRUCT_DAMAGED: that is what a
// module answers for its own faults, and a test must be able to tell the two apart.) Calls that
// answer a pointer or a size answer null or 0 instead; calls that answer nothing do nothing.
#pragma once

#include "AE_Effect.h"
#include "Host.h"

#include <optional>

namespace vhost {

constexpr PF_Err kNoHostError = PF_Err_INVALID_CALLBACK;

class SuiteEntry {
public:
    // Logs `op` in the current host's ledger; with no host current there is nothing to log in.
    explicit SuiteEntry(const char* op)
        : host_(Host::current()), injected_(host_ ? host_->ledger().enter(op) : std::nullopt) {}

    // The host the call was made to, or null when none is current.
    Host* host() const { return host_; }

    // What the call answers instead of doing its work: kNoHostError without a host, else the
    // failure injected for it; nothing means "proceed".
    std::optional<PF_Err> refusal() const { return host_ ? injected_ : std::optional<PF_Err>(kNoHostError); }

    // The injected failure alone, for the few calls that do their work all the same (giving
    // something back) and report the failure afterwards.
    std::optional<PF_Err> injected() const { return injected_; }

private:
    Host* host_;
    std::optional<PF_Err> injected_;
};

// The prologue of most calls: `if (auto refusal = enterSuite("op")) return *refusal;`.
inline std::optional<PF_Err> enterSuite(const char* op) { return SuiteEntry(op).refusal(); }

}  // namespace vhost
