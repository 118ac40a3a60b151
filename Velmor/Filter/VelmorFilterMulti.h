// The framework's shape for image filters and the one way they run: FilterMulti cuts a region of
// the destination into horizontal bands, one per host worker thread, and has the host run the
// filter's region form of execute on every band through its generic iteration.
//
// A filter type T derives publicly from IFilterWithRegion, has a nested record T::Parameter, does
// all per-frame preparation in its constructor T(T::Parameter const&), and can run execute on
// disjoint row bands of one destination from several threads at once: one object serves every
// band, so execute must not write shared state without its own synchronisation.
#ifndef VELMOR_FILTER_MULTI_H
#define VELMOR_FILTER_MULTI_H

#include <cstdint>
#include <new>

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "AEGP_SuiteHandler.h"
#include "ErrorGuard.h"
#include "VelmorGeneral.h"
#include "VelmorLayer.h"

namespace Velmor {

class IFilter {
public:
    // Filters the whole of `in` into `out`.
    virtual void execute(Layer& in, Layer& out) = 0;
    virtual ~IFilter() {}
};

class IFilterWithRegion : IFilter {
public:
    // Filters only the pixels of `region` from `in` into `out`.
    virtual void execute(Layer& in, Layer& out, Rect const& region) = 0;

private:
    // The whole-image overload stays as private as the base it comes from; named here so that the
    // one above overloads it rather than hiding it.
    using IFilter::execute;
};

// The work record of one FilterMulti run, handed to the host as the iteration's refcon. It lives
// on FilterMulti's stack and is only read by the bands.
struct FilterMultiContext {
    PF_InData* in_data;
    IFilterWithRegion* filter;
    Layer* src;
    Layer* dst;
    Rect region;
    int count;
};

// Row at which band k of `count` begins (k = count gives the region's bottom): region.top +
// floor(k * h / count) for the region's height h. The product is formed in 64 bits, so tall
// regions cut for many threads do not overflow; a count below 1 counts as 1. The bands tile the
// region exactly and their heights differ by at most one row.
inline int FilterBandEdge(Rect const& region, int k, int count) {
    const std::int64_t n = count < 1 ? 1 : count;
    const std::int64_t h = static_cast<std::int64_t>(region.bottom) - region.top;
    return static_cast<int>(region.top + static_cast<std::int64_t>(k) * h / n);
}

// Band i of `count`: the full width of the region, rows [edge(i), edge(i + 1)).
inline Rect FilterBand(Rect const& region, int i, int count) {
    return Rect(region.left, FilterBandEdge(region, i, count), region.right,
                FilterBandEdge(region, i + 1, count));
}

// The host's per-band callback. The band depends on i alone, never on the thread that runs it.
// Nothing may unwind into the host: an exception from a band (a missing suite, memory) becomes
// the band's error code, which the host's iteration hands back to FilterMulti's caller.
template <typename T>
static PF_Err ExecuteFilter(void* refcon, A_long /*thread_index*/, A_long i, A_long /*iterations*/) {
    const FilterMultiContext* context = static_cast<const FilterMultiContext*>(refcon);
    return CatchAsHostError([&]() -> PF_Err {
        context->filter->execute(*context->src, *context->dst,
                                 FilterBand(context->region, i, context->count));
        return PF_Err_NONE;
    });
}

// Runs T over `region` of `dst` on the host's threads and returns the host's result. An empty
// region returns 0 with no host call; a failing thread count is returned before any filter is
// built.
template <typename T>
int FilterMulti(PF_InData* in_data, Layer& src, Layer& dst, Rect const& region,
                typename T::Parameter const& parameter) {
    if (region.isEmpty()) return PF_Err_NONE;
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    A_long count = 0;
    const PF_Err err = suites.IterateSuite1()->AEGP_GetNumThreads(&count);
    if (err) return err;
    if (count < 1) count = 1;
    T filter(parameter);
    FilterMultiContext context{in_data, &filter, &src, &dst, region, count};
    return suites.Iterate8Suite1()->iterate_generic(count, &context, &ExecuteFilter<T>);
}

// The same over the whole destination.
template <typename T>
int FilterMulti(PF_InData* in_data, Layer& src, Layer& dst, typename T::Parameter const& parameter) {
    return FilterMulti<T>(in_data, src, dst, dst.getSize(), parameter);
}

}  // namespace Velmor

#endif
