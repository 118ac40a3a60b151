#include "Interrupt.h"

#include "Error.h"

#include <csignal>

namespace vblind {

namespace {

// SIGPIPE (standard output closed, `| head`) and SIGXFSZ (a file-size limit, `ulimit -f`) would
// otherwise kill the run in the middle of a write, leaving its temporary files behind; caught, the
// write that raised them fails (EPIPE, EFBIG) and is reported like any other.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ};
constexpr int kSignalCount = static_cast<int>(sizeof kSignals / sizeof kSignals[0]);

volatile std::sig_atomic_t gSignal = 0;

extern "C" void onInterrupt(int signal) {
    if (gSignal == 0) gSignal = signal;
}

struct sigaction gPrevious[kSignalCount];

}  // namespace

InterruptGuard::InterruptGuard() {
    gSignal = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the image library's reads and writes carry on undisturbed
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
}

InterruptGuard::~InterruptGuard() {
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
}

int interruptSignal() { return gSignal; }

std::string signalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT (Ctrl-C)";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGPIPE: return "SIGPIPE (standard output was closed)";
        case SIGXFSZ: return "SIGXFSZ (the file-size limit was reached)";
        default: return "signal " + std::to_string(signal);
    }
}

void stopForInterrupt(const std::string& where) {
    const int signal = interruptSignal();
    throw ToolError(128 + signal, "interrupted by " + signalName(signal) + " " + where);
}

}  // namespace vblind
