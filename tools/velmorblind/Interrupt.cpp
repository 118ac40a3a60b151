#include "Interrupt.h"

#include "Error.h"

#include <csignal>

namespace vblind {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t gSignal = 0;

extern "C" void onInterrupt(int signal) {
    if (gSignal == 0) gSignal = signal;
}

struct sigaction gPrevious[3];

}  // namespace

InterruptGuard::InterruptGuard() {
    gSignal = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the image library's reads and writes carry on undisturbed
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
}

InterruptGuard::~InterruptGuard() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
}

int interruptSignal() { return gSignal; }

std::string signalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT (Ctrl-C)";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "signal " + std::to_string(signal);
    }
}

void stopForInterrupt(const std::string& where) {
    const int signal = interruptSignal();
    throw ToolError(128 + signal, "interrupted by " + signalName(signal) + " " + where);
}

}  // namespace vblind
