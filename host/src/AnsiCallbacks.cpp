// The ANSI table handed to modules in the utility callbacks: the C library's own functions,
// wrapped so that each has exactly the table's signature (a lambda without captures converts to
// the table's plain function pointer). They cannot fail and are called inside per-pixel loops, so
// they keep no log.
#include "HostSuites.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vhost {

namespace {

// Writes exactly as the C library's sprintf does (the caller owns the buffer's size).
int ansiSprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsprintf(buffer, format, args);
    va_end(args);
    return written;
}

}  // namespace

void initAnsiCallbacks(PF_ANSICallbacks& ansi) {
    ansi.atan = [](double x) { return std::atan(x); };
    ansi.atan2 = [](double y, double x) { return std::atan2(y, x); };
    ansi.ceil = [](double x) { return std::ceil(x); };
    ansi.cos = [](double x) { return std::cos(x); };
    ansi.exp = [](double x) { return std::exp(x); };
    ansi.fabs = [](double x) { return std::fabs(x); };
    ansi.floor = [](double x) { return std::floor(x); };
    ansi.fmod = [](double x, double y) { return std::fmod(x, y); };
    ansi.hypot = [](double x, double y) { return std::hypot(x, y); };
    ansi.log = [](double x) { return std::log(x); };
    ansi.log10 = [](double x) { return std::log10(x); };
    ansi.pow = [](double x, double y) { return std::pow(x, y); };
    ansi.sin = [](double x) { return std::sin(x); };
    ansi.sqrt = [](double x) { return std::sqrt(x); };
    ansi.tan = [](double x) { return std::tan(x); };
    ansi.sprintf = &ansiSprintf;
    ansi.strcpy = [](A_char* dst, const A_char* src) { return std::strcpy(dst, src); };
    ansi.asin = [](double x) { return std::asin(x); };
    ansi.acos = [](double x) { return std::acos(x); };
}

}  // namespace vhost
