// Explicit acquisition and release of one host suite, for callers that hold a suite across a few
// calls inside one function. Unlike AEGP_SuiteHandler these report failure to the user: they set
// PF_OutFlag_DISPLAY_ERROR_MESSAGE and write the caller's text into out_data->return_msg.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

#include <cstdint>

// Acquires suite `name` at `version` into *suitePP. Returns PF_Err_NONE when the host handed out a
// table, otherwise PF_Err_BAD_CALLBACK_PARAM with error_stringPC (or a default text) shown.
PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* error_stringPC, void** suitePP);

// Releases suite `name` at `version`. Returns PF_Err_NONE whenever the basic suite is there, and
// PF_Err_BAD_CALLBACK_PARAM with error_stringPC (or a default text) shown when it is not.
PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* error_stringPC);
