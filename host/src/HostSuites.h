// Every suite and table the host hands to modules, by the function that fills or registers it.
// The Host constructor calls each of them once; a registration function registers each of its
// suites by exact name and version (Host::registerSuite). Each function a table holds starts with
// the prologue of SuiteEntry.h, except the samplers and the ANSI table, which run per pixel and
// cannot fail.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

namespace vhost {

class Host;

// The basic suite's two functions, AcquireSuite and ReleaseSuite (BasicSuite.cpp).
void initBasicSuite(SPBasicSuite& basic);
// The ANSI table of the utility callbacks: the C library's functions (AnsiCallbacks.cpp).
void initAnsiCallbacks(PF_ANSICallbacks& ansi);
// "PF Handle Suite" 2 (HandleSuite.cpp).
void registerHandleSuite(Host& host);
// "AEGP Utility Suite" 7 (UtilitySuite.cpp).
void registerUtilitySuite(Host& host);
// "PF Param Utils Suite" 2 (ParamUtilsSuite.cpp).
void registerParamUtilsSuite(Host& host);
// The image services (ImageServices.cpp): worlds ("PF World Suite" 1 and 2), fill ("PF Fill Matte
// Suite" 2), the copy and fill utility callbacks, iteration ("AEGP Iterate Suite" 1, "PF Iterate8
// Suite" 1) and sampling ("PF Sampling8/16/Float Suite" 1, from Sampling.cpp).
void registerImageServices(Host& host);
// The effect's layer and its quality (Render.cpp): "AEGP PF Interface Suite" 1 and "AEGP Layer
// Suite" 11. Calling it again changes nothing; a suite the host was told to hide stays hidden.
void registerLayerSuites(Host& host);

}  // namespace vhost
