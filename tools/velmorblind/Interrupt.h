// Stopping cleanly when the user or the system asks: Ctrl-C (SIGINT), a closed terminal (SIGHUP),
// a polite kill or a CI timeout (SIGTERM), a closed pipe on standard output (SIGPIPE) and a
// file-size limit (SIGXFSZ) only raise a flag. The render loop looks at it
// between steps, drops the frame it has not yet written, lets every temporary file be removed as
// the stack unwinds, and exits with 128 + the signal's number, as a shell reports a killed program.
#pragma once

#include <string>

namespace vblind {

// Catches the five signals while it lives; restores what was there before.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// The signal that asked us to stop (the first one), or 0.
int interruptSignal();

// "SIGTERM" and the like.
std::string signalName(int signal);

// Throws the ToolError that ends the run: "interrupted by SIGTERM <where>", exit status 128 + signal.
[[noreturn]] void stopForInterrupt(const std::string& where);

}  // namespace vblind
