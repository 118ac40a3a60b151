#include "AEFX_SuiteHelper.h"

namespace {

// Shows `text` to the user through the host: flag and message in out_data. The text goes through
// "%s" so that a '%' in it is printed as it stands and never read as a conversion; the precision
// keeps a long text inside return_msg (PF_MAX_EFFECT_MSG_LEN characters and the terminator).
void reportError(PF_InData* in_data, PF_OutData* out_data, const char* text) {
    static_assert(PF_MAX_EFFECT_MSG_LEN == 255, "the precision below is the field's length");
    if (!out_data) return;
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    if (in_data && in_data->utils && in_data->utils->ansi.sprintf)
        in_data->utils->ansi.sprintf(out_data->return_msg, "%.255s", text);
}

}  // namespace

PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* error_stringPC, void** suitePP) {
    if (suitePP) {
        // A stale pointer left in the caller's place must not pass for a fresh acquisition.
        *suitePP = nullptr;
        const SPBasicSuite* basic = in_data ? in_data->pica_basicP : nullptr;
        if (basic) {
            basic->AcquireSuite(name, version, const_cast<const void**>(suitePP));
            if (*suitePP) return PF_Err_NONE;
        }
    }
    reportError(in_data, out_data, error_stringPC ? error_stringPC : "Not able to acquire AEFX Suite.");
    return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, int32_t version,
                         const char* error_stringPC) {
    const SPBasicSuite* basic = in_data ? in_data->pica_basicP : nullptr;
    if (basic) {
        basic->ReleaseSuite(name, version);
        return PF_Err_NONE;
    }
    reportError(in_data, out_data, error_stringPC ? error_stringPC : "Not able to release AEFX Suite.");
    return PF_Err_BAD_CALLBACK_PARAM;
}
