#include "AEGP_SuiteHandler.h"

// The missing-suite error is a bare PF_Err value, not an exception class: the entry point catches
// PF_Err and returns it to the host as the command's result.
void AEGP_SuiteHandler::MissingSuiteError() const { throw PF_Err{PF_Err_BAD_CALLBACK_PARAM}; }
