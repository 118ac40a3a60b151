/*
 * The effect's identity and capabilities, written once.
 *
 * GlobalSetup and About read these macros, and cmake/Pipl.cmake parses this very file at configure
 * time to generate the property list the host reads without running the module (the ".pipl" ELF
 * section on Linux, the "PIPL" resource script on Windows). Keep every value a plain literal on a
 * single "#define NAME value" line: the CMake side reads them with a regular expression.
 */
#ifndef VELMOR_PIPL_H
#define VELMOR_PIPL_H

#define VELMOR_PIPL_NAME "VelmorBlind"
#define VELMOR_PIPL_CATEGORY "Velmor"
#define VELMOR_PIPL_MATCH_NAME "VelmorBlind by Tavelinor"
#define VELMOR_PIPL_ENTRY_POINT "EntryPointFunc"

/* Version 1.3.0, stage release (PF_Stage_RELEASE = 3), build 1. */
#define VELMOR_PIPL_VERSION_MAJOR 1
#define VELMOR_PIPL_VERSION_MINOR 3
#define VELMOR_PIPL_VERSION_BUG 0
#define VELMOR_PIPL_VERSION_STAGE 3
#define VELMOR_PIPL_VERSION_BUILD 1

/* PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_SEND_UPDATE_PARAMS_UI */
#define VELMOR_PIPL_OUT_FLAGS 0x06000000
/* PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_FLOAT_COLOR_AWARE */
#define VELMOR_PIPL_OUT_FLAGS2 0x00001400

/* The versions of the property-list format and of the effect API the list declares. */
#define VELMOR_PIPL_LIST_VERSION_MAJOR 2
#define VELMOR_PIPL_LIST_VERSION_MINOR 0
#define VELMOR_PIPL_API_VERSION_MAJOR 13
#define VELMOR_PIPL_API_VERSION_MINOR 0
#define VELMOR_PIPL_INFO_FLAGS 0
#define VELMOR_PIPL_RESERVED_INFO 8

#endif /* VELMOR_PIPL_H */
