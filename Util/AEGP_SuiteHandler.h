// AEGP_SuiteHandler: acquires host suites on first use and releases every one of them when it is
// destroyed, under the name and version it was acquired with.
//
// A handler lives for one call (a command handler, one image operation, one render). Each accessor
// returns the suite's function table; a suite the host does not provide throws the missing-suite
// error (a bare PF_Err, PF_Err_BAD_CALLBACK_PARAM), which the entry point turns into its result.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "SPBasic.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class AEGP_SuiteHandler {
public:
    // The slots this module uses, one per suite name and version.
    enum Slot : std::size_t {
        kSlot_HandleSuite2,
        kSlot_UtilitySuite7,
        kSlot_ParamUtilsSuite2,
        kSlot_PFInterfaceSuite1,
        kSlot_LayerSuite11,
        kSlot_IterateSuite1,
        kSlot_Iterate8Suite1,
        kSlot_WorldSuite1,
        kSlot_WorldSuite2,
        kSlot_FillMatteSuite2,
        kSlot_Sampling8Suite1,
        kSlot_Sampling16Suite1,
        kSlot_SamplingFloatSuite1,
        kSlotCount
    };

    struct SlotName {
        const char* name;
        int32_t version;
    };
    // Name and version of each slot, as passed to the host's AcquireSuite and ReleaseSuite.
    static const SlotName& slotName(Slot slot);

    // Throws the missing-suite error when basic is null.
    explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
    ~AEGP_SuiteHandler();

    // A copy would release the same acquisitions a second time.
    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    const PF_HandleSuite2* HandleSuite2() const { return get<PF_HandleSuite2>(kSlot_HandleSuite2); }
    const AEGP_UtilitySuite7* UtilitySuite7() const { return get<AEGP_UtilitySuite7>(kSlot_UtilitySuite7); }
    const PF_ParamUtilsSuite2* ParamUtilsSuite2() const {
        return get<PF_ParamUtilsSuite2>(kSlot_ParamUtilsSuite2);
    }
    const AEGP_PFInterfaceSuite1* PFInterfaceSuite1() const {
        return get<AEGP_PFInterfaceSuite1>(kSlot_PFInterfaceSuite1);
    }
    const AEGP_LayerSuite11* LayerSuite11() const { return get<AEGP_LayerSuite11>(kSlot_LayerSuite11); }
    const AEGP_IterateSuite1* IterateSuite1() const { return get<AEGP_IterateSuite1>(kSlot_IterateSuite1); }
    const PF_Iterate8Suite1* Iterate8Suite1() const { return get<PF_Iterate8Suite1>(kSlot_Iterate8Suite1); }
    const PF_WorldSuite1* WorldSuite1() const { return get<PF_WorldSuite1>(kSlot_WorldSuite1); }
    const PF_WorldSuite2* WorldSuite2() const { return get<PF_WorldSuite2>(kSlot_WorldSuite2); }
    const PF_FillMatteSuite2* FillMatteSuite2() const {
        return get<PF_FillMatteSuite2>(kSlot_FillMatteSuite2);
    }
    const PF_Sampling8Suite1* Sampling8Suite1() const {
        return get<PF_Sampling8Suite1>(kSlot_Sampling8Suite1);
    }
    const PF_Sampling16Suite1* Sampling16Suite1() const {
        return get<PF_Sampling16Suite1>(kSlot_Sampling16Suite1);
    }
    const PF_SamplingFloatSuite1* SamplingFloatSuite1() const {
        return get<PF_SamplingFloatSuite1>(kSlot_SamplingFloatSuite1);
    }

    // Releases one suite through the basic suite. If it is one this handler holds, the slot is
    // emptied as well, so that the destructor does not release it a second time.
    void ReleaseSuite(const char* name, int32_t version);
    // Releases every suite this handler acquired, each once; results are ignored.
    void ReleaseAllSuites();

    // Throws PF_Err_BAD_CALLBACK_PARAM as a bare PF_Err. Writes no message, sets no flag.
    [[noreturn]] void MissingSuiteError() const;

private:
    const void* acquire(Slot slot) const;

    template <typename Suite>
    const Suite* get(Slot slot) const {
        const void* p = slots_[slot].load(std::memory_order_acquire);
        return static_cast<const Suite*>(p ? p : acquire(slot));
    }

    const SPBasicSuite* basic_;
    // Filled on first use, possibly from several threads of one render: a slot is claimed with a
    // compare-and-swap, and a thread that loses the race gives its own acquisition back at once.
    mutable std::atomic<const void*> slots_[kSlotCount];
};
