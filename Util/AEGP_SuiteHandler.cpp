#include "AEGP_SuiteHandler.h"

#include <cstring>

namespace {

// In the order of AEGP_SuiteHandler::Slot.
constexpr AEGP_SuiteHandler::SlotName kSlotNames[AEGP_SuiteHandler::kSlotCount] = {
    {kPFHandleSuite, kPFHandleSuiteVersion2},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7},
    {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2},
    {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1},
    {kAEGPLayerSuite, kAEGPLayerSuiteVersion11},
    {kAEGPIterateSuite, kAEGPIterateSuiteVersion1},
    {kPFIterate8Suite, kPFIterate8SuiteVersion1},
    {kPFWorldSuite, kPFWorldSuiteVersion1},
    {kPFWorldSuite, kPFWorldSuiteVersion2},
    {kPFFillMatteSuite, kPFFillMatteSuiteVersion2},
    {kPFSampling8Suite, kPFSamplingSuiteVersion1},
    {kPFSampling16Suite, kPFSamplingSuiteVersion1},
    {kPFSamplingFloatSuite, kPFSamplingSuiteVersion1},
};

}  // namespace

const AEGP_SuiteHandler::SlotName& AEGP_SuiteHandler::slotName(Slot slot) { return kSlotNames[slot]; }

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic) {
    for (auto& slot : slots_) slot.store(nullptr, std::memory_order_relaxed);
    if (!basic_) MissingSuiteError();
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

const void* AEGP_SuiteHandler::acquire(Slot slot) const {
    const SlotName& id = kSlotNames[slot];
    const void* suite = nullptr;
    const SPErr err = basic_->AcquireSuite(id.name, id.version, &suite);
    // An error means nothing was acquired, whatever the pointer holds: there is nothing to release.
    if (err != kSPNoError || !suite) MissingSuiteError();
    const void* expected = nullptr;
    if (!slots_[slot].compare_exchange_strong(expected, suite, std::memory_order_acq_rel,
                                              std::memory_order_acquire)) {
        // Another thread filled the slot meanwhile; keep its table and return ours.
        basic_->ReleaseSuite(id.name, id.version);
        return expected;
    }
    return suite;
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int32_t version) {
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (kSlotNames[i].version == version && std::strcmp(kSlotNames[i].name, name) == 0) {
            slots_[i].store(nullptr, std::memory_order_release);
            break;
        }
    }
    basic_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (slots_[i].exchange(nullptr, std::memory_order_acq_rel))
            basic_->ReleaseSuite(kSlotNames[i].name, kSlotNames[i].version);
    }
}
