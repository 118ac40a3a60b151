#include "AEGP_SuiteHandler.h"

#include <cstring>

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
    for (auto& slot : slots_) slot.store(nullptr, std::memory_order_relaxed);
    if (!basic_) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

const void* AEGP_SuiteHandler::acquire(std::size_t slot) const {
    const SuiteId& id = Suites::ids[slot];
    const void* suite = nullptr;
    const SPErr err = basic_->AcquireSuite(id.name, id.version, &suite);
    // An error means nothing was acquired, whatever the pointer holds: there is nothing to release.
    if (err != kSPNoError || !suite) MissingSuiteError();
    const void* expected = nullptr;
    if (!slots_[slot].compare_exchange_strong(expected, suite, std::memory_order_acq_rel,
                                              std::memory_order_acquire)) {
        // Another thread filled the slot meanwhile: give this acquisition back and use its table.
        basic_->ReleaseSuite(id.name, id.version);
        return expected;
    }
    return suite;
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int32_t version) {
    for (std::size_t i = 0; i < Suites::count; ++i) {
        if (Suites::ids[i].version == version && std::strcmp(Suites::ids[i].name, name) == 0) {
            slots_[i].store(nullptr, std::memory_order_release);
            break;
        }
    }
    basic_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
    for (std::size_t i = 0; i < Suites::count; ++i) {
        if (slots_[i].exchange(nullptr, std::memory_order_acq_rel))
            basic_->ReleaseSuite(Suites::ids[i].name, Suites::ids[i].version);
    }
}
