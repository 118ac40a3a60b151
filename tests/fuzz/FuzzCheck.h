// What every fuzz target checks besides "no crash": a refusal is one clear sentence, and a broken
// promise stops the run loudly so the fuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vtest {

[[noreturn]] inline void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz check failed: %s: %s\n", what, detail.c_str());
    std::abort();
}

inline void expect(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok) broken(what, detail);
}

// A refusal names what was wrong in one non-empty line. Text quoted from the input is shown as
// given, so only an input without line breaks promises a message without them.
inline void oneSentence(const std::string& message, std::string_view input = {}) {
    expect(!message.empty(), "refusal without a message");
    expect(message.find('\n') == std::string::npos || input.find('\n') != std::string_view::npos,
           "refusal message spans lines", message);
}

}  // namespace vtest
