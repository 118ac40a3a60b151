// What every fuzz target checks besides "no crash": a refusal is one clear sentence, and a broken
// promise stops the run loudly so the fuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzcheck {

[[noreturn]] inline void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz check failed: %s: %s\n", what, detail.c_str());
    std::abort();
}

inline void expect(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok) broken(what, detail);
}

// A refusal names what was wrong in one non-empty line.
inline void oneSentence(const std::string& message) {
    expect(!message.empty(), "refusal without a message");
    expect(message.find('\n') == std::string::npos, "refusal message spans lines", message);
}

}  // namespace fuzzcheck
