// A minimal basic suite for unit tests of the module's suite utilities, linked with velmor_plugin
// directly (no host library). It hands out tables by exact name and version, counts every
// acquisition and release per name and version, and can answer an error or a null pointer.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace vtest {

using SuiteId = std::pair<std::string, int>;

class BasicSuite {
public:
    enum class Answer { Table, ErrorAndNull, NullAndNoError };

    BasicSuite() {
        current_ = this;
        suite_.AcquireSuite = &acquire;
        suite_.ReleaseSuite = &release;
    }
    ~BasicSuite() { current_ = nullptr; }
    BasicSuite(const BasicSuite&) = delete;
    BasicSuite& operator=(const BasicSuite&) = delete;

    SPBasicSuite* suite() { return &suite_; }

    // Every name and version is answered with a distinct dummy table unless told otherwise.
    void answer(const std::string& name, int version, Answer a) { answers_[{name, version}] = a; }
    void releaseAnswers(SPErr err) { releaseErr_ = err; }
    // Hands out a real table for this name and version instead of a dummy.
    void provide(const std::string& name, int version, const void* table) {
        provided_[{name, version}] = table;
    }

    const void* tableFor(const std::string& name, int version) {
        std::lock_guard lock(mutex_);
        return &tables_[{name, version}];
    }

    int acquisitions(const std::string& name, int version) const {
        std::lock_guard lock(mutex_);
        auto it = acquired_.find({name, version});
        return it == acquired_.end() ? 0 : it->second;
    }
    int releases(const std::string& name, int version) const {
        std::lock_guard lock(mutex_);
        auto it = released_.find({name, version});
        return it == released_.end() ? 0 : it->second;
    }
    int totalAcquisitions() const { return total(acquired_); }
    int totalReleases() const { return total(released_); }
    int acquireCalls() const {
        std::lock_guard lock(mutex_);
        return acquireCalls_;
    }
    const std::map<SuiteId, int>& acquiredMap() const { return acquired_; }
    const std::map<SuiteId, int>& releasedMap() const { return released_; }

private:
    static SPErr acquire(const char* name, int32_t version, const void** suite) {
        BasicSuite& self = *current_;
        std::unique_lock lock(self.mutex_);
        ++self.acquireCalls_;
        SuiteId id{name, version};
        auto it = self.answers_.find(id);
        const Answer a = it == self.answers_.end() ? Answer::Table : it->second;
        switch (a) {
            case Answer::ErrorAndNull: *suite = nullptr; return kSPSuiteNotFoundError;
            case Answer::NullAndNoError: *suite = nullptr; return kSPNoError;
            case Answer::Table: break;
        }
        ++self.acquired_[id];
        auto given = self.provided_.find(id);
        *suite = given != self.provided_.end() ? given->second : &self.tables_[id];
        return kSPNoError;
    }
    static SPErr release(const char* name, int32_t version) {
        BasicSuite& self = *current_;
        std::lock_guard lock(self.mutex_);
        ++self.released_[{name, version}];
        return self.releaseErr_;
    }
    int total(const std::map<SuiteId, int>& m) const {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& [id, count] : m) n += count;
        return n;
    }

    static inline BasicSuite* current_ = nullptr;
    SPBasicSuite suite_{};
    mutable std::mutex mutex_;
    std::map<SuiteId, Answer> answers_;
    std::map<SuiteId, long> tables_;  // a distinct address per suite
    std::map<SuiteId, const void*> provided_;
    std::map<SuiteId, int> acquired_, released_;
    int acquireCalls_ = 0;
    SPErr releaseErr_ = kSPNoError;
};

// PF_InData/PF_OutData with the ANSI table of the C library, for the AEFX helpers and the entry
// point. out_data starts filled with a recognisable pattern so untouched fields can be checked.
struct Records {
    PF_UtilCallbacks utils{};
    PF_InData in{};
    PF_OutData out{};

    Records() {
        utils.ansi.sprintf = &std::sprintf;
        utils.ansi.strcpy = &std::strcpy;
        in.utils = &utils;
        std::memset(&out, 0xA5, sizeof out);
    }
    static PF_OutData pattern() {
        PF_OutData o;
        std::memset(&o, 0xA5, sizeof o);
        return o;
    }
};

}  // namespace vtest
