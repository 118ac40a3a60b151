// The session library's one error type: a sentence saying what went wrong, ending in a full stop,
// and the host's error code when a host command failed (PF_Err_NONE otherwise). It carries no exit
// status: a program decides what a failed session means to its caller (the renderer exits 1, the
// frei0r transition shows the second input).
#pragma once

#include "AE_Effect.h"

#include <stdexcept>
#include <string>

namespace vsession {

class SessionError : public std::runtime_error {
public:
    explicit SessionError(const std::string& sentence, PF_Err err = PF_Err_NONE)
        : std::runtime_error(sentence), err_(err) {}
    PF_Err err() const { return err_; }

private:
    PF_Err err_;
};

// "PF_Err_INTERNAL_STRUCT_DAMAGED" and the like; "" for codes without a name.
const char* errorName(PF_Err err);

}  // namespace vsession
