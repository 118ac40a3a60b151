/*
 * The host's basic suite: the one table from which every other suite is acquired by name and
 * version, and to which it is released again under the same name and version.
 */
#ifndef SP_BASIC_H
#define SP_BASIC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t SPErr;
#define kSPNoError 0
#define kSPSuiteNotFoundError 0x214e4f54 /* '!NOT' */

typedef struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif

#endif /* SP_BASIC_H */
