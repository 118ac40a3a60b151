// The ANSI table handed to modules in the utility callbacks: the C library's own functions,
// wrapped so that each has exactly the table's signature. They cannot fail and are called inside
// per-pixel loops, so they keep no log.
#include "HostSuites.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vhost {

namespace {

double ansiAtan(double x) { return std::atan(x); }
double ansiAtan2(double y, double x) { return std::atan2(y, x); }
double ansiCeil(double x) { return std::ceil(x); }
double ansiCos(double x) { return std::cos(x); }
double ansiExp(double x) { return std::exp(x); }
double ansiFabs(double x) { return std::fabs(x); }
double ansiFloor(double x) { return std::floor(x); }
double ansiFmod(double x, double y) { return std::fmod(x, y); }
double ansiHypot(double x, double y) { return std::hypot(x, y); }
double ansiLog(double x) { return std::log(x); }
double ansiLog10(double x) { return std::log10(x); }
double ansiPow(double x, double y) { return std::pow(x, y); }
double ansiSin(double x) { return std::sin(x); }
double ansiSqrt(double x) { return std::sqrt(x); }
double ansiTan(double x) { return std::tan(x); }
double ansiAsin(double x) { return std::asin(x); }
double ansiAcos(double x) { return std::acos(x); }

// Writes exactly as the C library's sprintf does (the caller owns the buffer's size).
int ansiSprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsprintf(buffer, format, args);
    va_end(args);
    return written;
}

A_char* ansiStrcpy(A_char* dst, const A_char* src) { return std::strcpy(dst, src); }

}  // namespace

void initAnsiCallbacks(PF_ANSICallbacks& ansi) {
    ansi.atan = &ansiAtan;
    ansi.atan2 = &ansiAtan2;
    ansi.ceil = &ansiCeil;
    ansi.cos = &ansiCos;
    ansi.exp = &ansiExp;
    ansi.fabs = &ansiFabs;
    ansi.floor = &ansiFloor;
    ansi.fmod = &ansiFmod;
    ansi.hypot = &ansiHypot;
    ansi.log = &ansiLog;
    ansi.log10 = &ansiLog10;
    ansi.pow = &ansiPow;
    ansi.sin = &ansiSin;
    ansi.sqrt = &ansiSqrt;
    ansi.tan = &ansiTan;
    ansi.sprintf = &ansiSprintf;
    ansi.strcpy = &ansiStrcpy;
    ansi.asin = &ansiAsin;
    ansi.acos = &ansiAcos;
}

}  // namespace vhost
