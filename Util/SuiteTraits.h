// SuiteTraits: the name and version the host knows each suite's function table by, kept with the
// table's type, so that code asking for a suite by its type cannot ask under another name or give
// it back under another version.
//
// A suite is one overload of suiteIdOf below, for a pointer to its table type, answering the name
// and version. A type without one does not compile where its traits are asked for.
#pragma once

#include "AE_EffectSuites.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct SuiteId {
    const char* name;
    int32_t version;
};

constexpr SuiteId suiteIdOf(const PF_HandleSuite2*) { return {kPFHandleSuite, kPFHandleSuiteVersion2}; }
constexpr SuiteId suiteIdOf(const AEGP_UtilitySuite7*) {
    return {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7};
}
constexpr SuiteId suiteIdOf(const PF_ParamUtilsSuite2*) {
    return {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2};
}
constexpr SuiteId suiteIdOf(const AEGP_PFInterfaceSuite1*) {
    return {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1};
}
constexpr SuiteId suiteIdOf(const AEGP_LayerSuite11*) { return {kAEGPLayerSuite, kAEGPLayerSuiteVersion11}; }
constexpr SuiteId suiteIdOf(const AEGP_IterateSuite1*) {
    return {kAEGPIterateSuite, kAEGPIterateSuiteVersion1};
}
constexpr SuiteId suiteIdOf(const PF_Iterate8Suite1*) { return {kPFIterate8Suite, kPFIterate8SuiteVersion1}; }
constexpr SuiteId suiteIdOf(const PF_WorldSuite1*) { return {kPFWorldSuite, kPFWorldSuiteVersion1}; }
constexpr SuiteId suiteIdOf(const PF_WorldSuite2*) { return {kPFWorldSuite, kPFWorldSuiteVersion2}; }
constexpr SuiteId suiteIdOf(const PF_FillMatteSuite2*) {
    return {kPFFillMatteSuite, kPFFillMatteSuiteVersion2};
}
constexpr SuiteId suiteIdOf(const PF_Sampling8Suite1*) {
    return {kPFSampling8Suite, kPFSamplingSuiteVersion1};
}
constexpr SuiteId suiteIdOf(const PF_Sampling16Suite1*) {
    return {kPFSampling16Suite, kPFSamplingSuiteVersion1};
}
constexpr SuiteId suiteIdOf(const PF_SamplingFloatSuite1*) {
    return {kPFSamplingFloatSuite, kPFSamplingSuiteVersion1};
}

template <typename Suite>
struct SuiteTraits {
    static constexpr SuiteId id = suiteIdOf(static_cast<const Suite*>(nullptr));
    static constexpr const char* name = id.name;
    static constexpr int32_t version = id.version;
};

// A set of suites, each with a slot of its own: the slot is the suite's place in the list, found
// from its type, so the order is free. The user of a list asserts distinct(): no two slots may
// share a name and version, and so no suite may stand in the list twice.
template <typename... Suites>
struct SuiteList {
    static constexpr std::size_t count = sizeof...(Suites);
    // Name and version of each slot, from the suites' traits.
    static constexpr SuiteId ids[count] = {SuiteTraits<Suites>::id...};

    // The slot of `Suite`; count when it is not in the list.
    template <typename Suite>
    static constexpr std::size_t slotOf() {
        constexpr bool is[count] = {std::is_same_v<Suite, Suites>...};
        std::size_t slot = 0;
        while (slot < count && !is[slot]) ++slot;
        return slot;
    }

    static constexpr bool distinct() {
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t j = i + 1; j < count; ++j)
                if (ids[i].version == ids[j].version && sameText(ids[i].name, ids[j].name)) return false;
        return true;
    }

private:
    static constexpr bool sameText(const char* a, const char* b) {
        while (*a != '\0' && *a == *b) ++a, ++b;
        return *a == *b;
    }
};
