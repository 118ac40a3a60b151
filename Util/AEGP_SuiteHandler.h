// AEGP_SuiteHandler: acquires host suites on first use and releases every one of them when it is
// destroyed, under the name and version it was acquired with.
//
// A handler lives for one call (a command handler, one image operation, one render). Each accessor
// returns the suite's function table; a suite the host does not provide throws the missing-suite
// error (a bare PF_Err, PF_Err_BAD_CALLBACK_PARAM), which the entry point turns into its result.
//
// A suite is asked for by its table type: its name and version come from SuiteTraits, its slot from
// its place in Suites. A new suite is a line in SuiteTraits.h, its type in Suites, and an accessor.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "SPBasic.h"
#include "SuiteTraits.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class AEGP_SuiteHandler {
public:
    // The suites a handler can hold, one slot each, in any order.
    using Suites =
        SuiteList<PF_HandleSuite2, AEGP_UtilitySuite7, PF_ParamUtilsSuite2, AEGP_PFInterfaceSuite1,
                  AEGP_LayerSuite11, AEGP_IterateSuite1, PF_Iterate8Suite1, PF_WorldSuite1, PF_WorldSuite2,
                  PF_FillMatteSuite2, PF_Sampling8Suite1, PF_Sampling16Suite1, PF_SamplingFloatSuite1>;
    static_assert(Suites::distinct(), "each slot of the handler has a name and version of its own");

    // Throws the missing-suite error when basic is null.
    explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
    ~AEGP_SuiteHandler();

    // A copy would release the same acquisitions a second time.
    AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
    AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

    const PF_HandleSuite2* HandleSuite2() const { return get<PF_HandleSuite2>(); }
    const AEGP_UtilitySuite7* UtilitySuite7() const { return get<AEGP_UtilitySuite7>(); }
    const PF_ParamUtilsSuite2* ParamUtilsSuite2() const { return get<PF_ParamUtilsSuite2>(); }
    const AEGP_PFInterfaceSuite1* PFInterfaceSuite1() const { return get<AEGP_PFInterfaceSuite1>(); }
    const AEGP_LayerSuite11* LayerSuite11() const { return get<AEGP_LayerSuite11>(); }
    const AEGP_IterateSuite1* IterateSuite1() const { return get<AEGP_IterateSuite1>(); }
    const PF_Iterate8Suite1* Iterate8Suite1() const { return get<PF_Iterate8Suite1>(); }
    const PF_WorldSuite1* WorldSuite1() const { return get<PF_WorldSuite1>(); }
    const PF_WorldSuite2* WorldSuite2() const { return get<PF_WorldSuite2>(); }
    const PF_FillMatteSuite2* FillMatteSuite2() const { return get<PF_FillMatteSuite2>(); }
    const PF_Sampling8Suite1* Sampling8Suite1() const { return get<PF_Sampling8Suite1>(); }
    const PF_Sampling16Suite1* Sampling16Suite1() const { return get<PF_Sampling16Suite1>(); }
    const PF_SamplingFloatSuite1* SamplingFloatSuite1() const { return get<PF_SamplingFloatSuite1>(); }

    // Releases one suite through the basic suite. If it is one this handler holds, the slot is
    // emptied as well, so that the destructor does not release it a second time.
    void ReleaseSuite(const char* name, int32_t version);
    // Releases every suite this handler acquired, each once; results are ignored.
    void ReleaseAllSuites();

    // Throws PF_Err_BAD_CALLBACK_PARAM as a bare PF_Err. Writes no message, sets no flag.
    [[noreturn]] void MissingSuiteError() const;

private:
    const void* acquire(std::size_t slot) const;

    template <typename Suite>
    const Suite* get() const {
        constexpr std::size_t slot = Suites::slotOf<Suite>();
        static_assert(slot < Suites::count, "the suite has no slot: add its type to Suites");
        const void* p = slots_[slot].load(std::memory_order_acquire);
        return static_cast<const Suite*>(p ? p : acquire(slot));
    }

    const SPBasicSuite* basic_;
    // Filled on first use, possibly from several threads of one render: a slot is claimed with a
    // compare-and-swap, and a thread that loses the race gives its own acquisition back at once.
    mutable std::atomic<const void*> slots_[Suites::count];
};
