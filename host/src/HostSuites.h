// Registration of the host's own suites and tables (the image services register theirs in
// ImageServices.cpp). Each is defined in a file of its own; the Host constructor calls them.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

namespace vhost {

class Host;

// Fills the basic suite's two functions (AcquireSuite, ReleaseSuite).
void initBasicSuite(SPBasicSuite& basic);
// "PF Handle Suite" 2.
void registerHandleSuite(Host& host);
// "AEGP Utility Suite" 7.
void registerUtilitySuite(Host& host);
// "PF Param Utils Suite" 2.
void registerParamUtilsSuite(Host& host);
// The ANSI table of the utility callbacks: the C library's functions.
void initAnsiCallbacks(PF_ANSICallbacks& ansi);

}  // namespace vhost
