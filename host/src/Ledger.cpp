#include "Ledger.h"

#include <sstream>

namespace vhost {

namespace {
std::string suiteKey(const std::string& name, int version) {
    return "suite:" + name + "/" + std::to_string(version);
}

// How many of `key` a count map holds; keys never counted hold none.
int countOf(const std::map<std::string, int>& counts, const std::string& key) {
    auto it = counts.find(key);
    return it == counts.end() ? 0 : it->second;
}
}  // namespace

std::optional<PF_Err> Ledger::enter(const char* op) {
    std::lock_guard lock(mutex_);
    ++calls_;
    log_.emplace_back(op);
    const int nthOfOp = ++callsPerOp_[op];
    for (const Rule& rule : rules_) {
        if (rule.nth && *rule.nth == calls_) return rule.err;
        if (!rule.nth && rule.op == op && (rule.always || rule.k == nthOfOp)) return rule.err;
    }
    return std::nullopt;
}

void Ledger::failNthCall(uint64_t n, PF_Err err) {
    std::lock_guard lock(mutex_);
    Rule rule;
    rule.nth = calls_ + n;
    rule.err = err;
    rules_.push_back(rule);
}

void Ledger::failOp(const std::string& op, int k, PF_Err err) {
    std::lock_guard lock(mutex_);
    Rule rule;
    rule.op = op;
    rule.k = (callsPerOp_.count(op) ? callsPerOp_[op] : 0) + k;
    rule.err = err;
    rules_.push_back(rule);
}

void Ledger::failOpAlways(const std::string& op, PF_Err err) {
    std::lock_guard lock(mutex_);
    Rule rule;
    rule.op = op;
    rule.always = true;
    rule.err = err;
    rules_.push_back(rule);
}

void Ledger::clearFaults() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

uint64_t Ledger::callCount() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> Ledger::callLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

int Ledger::callsOf(const std::string& op) const {
    std::lock_guard lock(mutex_);
    return countOf(callsPerOp_, op);
}

void Ledger::resetLog() {
    std::lock_guard lock(mutex_);
    calls_ = 0;
    log_.clear();
    callsPerOp_.clear();
    rules_.clear();
    acquired_.clear();
    released_.clear();
}

void Ledger::opened(const std::string& kind) {
    std::lock_guard lock(mutex_);
    ++open_[kind];
}

bool Ledger::closed(const std::string& kind) {
    std::lock_guard lock(mutex_);
    auto it = open_.find(kind);
    if (it == open_.end() || it->second <= 0) {
        faults_.push_back("released a " + kind + " that was not open");
        return false;
    }
    if (--it->second == 0) open_.erase(it);
    return true;
}

std::map<std::string, int> Ledger::outstanding() const {
    std::lock_guard lock(mutex_);
    return open_;
}

int Ledger::openCount(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    return countOf(open_, kind);
}

void Ledger::suiteAcquired(const std::string& name, int version) {
    const std::string key = suiteKey(name, version);
    {
        std::lock_guard lock(mutex_);
        ++acquired_[key];
    }
    opened(key);
}

bool Ledger::suiteReleased(const std::string& name, int version) {
    const std::string key = suiteKey(name, version);
    {
        std::lock_guard lock(mutex_);
        ++released_[key];
    }
    return closed(key);
}

int Ledger::acquisitions(const std::string& name, int version) const {
    std::lock_guard lock(mutex_);
    return countOf(acquired_, suiteKey(name, version));
}

int Ledger::releases(const std::string& name, int version) const {
    std::lock_guard lock(mutex_);
    return countOf(released_, suiteKey(name, version));
}

void Ledger::fault(const std::string& what) {
    std::lock_guard lock(mutex_);
    faults_.push_back(what);
}

std::vector<std::string> Ledger::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

bool Ledger::balanced(const std::map<std::string, int>& allowed) const {
    std::lock_guard lock(mutex_);
    if (!faults_.empty()) return false;
    for (const auto& [kind, count] : open_)
        if (count != countOf(allowed, kind)) return false;
    for (const auto& [kind, count] : allowed)
        if (countOf(open_, kind) != count) return false;
    return true;
}

std::string Ledger::describe() const {
    std::lock_guard lock(mutex_);
    std::ostringstream out;
    out << "open:";
    for (const auto& [kind, count] : open_) out << " [" << kind << " x" << count << "]";
    out << "; faults:";
    for (const auto& f : faults_) out << " [" << f << "]";
    out << "; calls:";
    for (const auto& c : log_) out << " " << c;
    return out.str();
}

}  // namespace vhost
