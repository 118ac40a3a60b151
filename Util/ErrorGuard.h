// Turns whatever a call throws into the host's error code, so no exception crosses into the host:
// a thrown PF_Err (a missing suite) is that code, a failed allocation is PF_Err_OUT_OF_MEMORY, and
// anything else is PF_Err_INTERNAL_STRUCT_DAMAGED. Used where the host calls us: the entry point
// and the per-band callback of the threaded executor.
#pragma once

#include "AE_Effect.h"

#include <new>

template <typename Call>
PF_Err CatchAsHostError(Call&& call) noexcept {
    try {
        return call();
    } catch (PF_Err err) {
        return err;
    } catch (const std::bad_alloc&) {
        return PF_Err_OUT_OF_MEMORY;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}
