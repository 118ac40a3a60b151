// The tool's one error type. Everything that stops a command is thrown as a ToolError carrying one
// sentence for the user and the exit status: 2 for a command line that cannot be carried out as
// written, 1 for a file, render or host failure.
#pragma once

#include <stdexcept>
#include <string>

namespace vblind {

enum ExitStatus : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

class ToolError : public std::runtime_error {
public:
    ToolError(int status, const std::string& sentence) : std::runtime_error(sentence), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// A command line that asks for something impossible or malformed.
[[noreturn]] inline void usageError(const std::string& sentence) { throw ToolError(kExitUsage, sentence); }

// A file that cannot be read or written, or a host or render failure.
[[noreturn]] inline void failure(const std::string& sentence) { throw ToolError(kExitFailure, sentence); }

}  // namespace vblind
