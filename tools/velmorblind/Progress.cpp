#include "Progress.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define VBLIND_ISATTY(fd) _isatty(fd)
#define VBLIND_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define VBLIND_ISATTY(fd) isatty(fd)
#define VBLIND_FILENO(f) fileno(f)
#endif

namespace vblind {

bool stderrIsTerminal() { return VBLIND_ISATTY(VBLIND_FILENO(stderr)) != 0; }

Progress::Progress(int total, bool enabled) : total_(total), enabled_(enabled && total > 1) {}

Progress::~Progress() { finish(); }

void Progress::step(int done, const std::string& what) {
    if (!enabled_) return;
    constexpr int kBar = 30;
    const int filled = total_ > 0 ? done * kBar / total_ : kBar;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBar, '.');
    std::fprintf(stderr, "\r[%s] %d/%d %s\x1b[K", bar.c_str(), done, total_, what.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::finish() {
    if (drawn_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}

}  // namespace vblind
