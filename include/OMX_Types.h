/* OpenMAX IL 1.1 basic types, written from the published standard's definitions. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef OMX_API
#define OMX_API
#endif
#ifndef OMX_APIENTRY
#define OMX_APIENTRY
#endif
#ifndef OMX_IN
#define OMX_IN
#endif
#ifndef OMX_OUT
#define OMX_OUT
#endif
#ifndef OMX_INOUT
#define OMX_INOUT
#endif

#define OMX_ALL 0xFFFFFFFF

/* The standard's own type names, not <stdint.h>'s: OMX_U32 is `unsigned long`, eight bytes on
 * LP64 targets, so records have the layout that every other OpenMAX IL software of the platform
 * is built with (four bytes on 32-bit targets, as everywhere). */
typedef unsigned char OMX_U8;
typedef signed char OMX_S8;
typedef unsigned short OMX_U16;
typedef signed short OMX_S16;
typedef unsigned long OMX_U32;
typedef signed long OMX_S32;
typedef unsigned long long OMX_U64;
typedef signed long long OMX_S64;

typedef enum OMX_BOOL {
    OMX_FALSE = 0,
    OMX_TRUE = !0,
    OMX_BOOL_MAX = 0x7FFFFFFF
} OMX_BOOL;

typedef void *OMX_PTR;
typedef char *OMX_STRING;
typedef unsigned char *OMX_BYTE;
typedef unsigned char OMX_UUIDTYPE[128];

typedef enum OMX_DIRTYPE {
    OMX_DirInput,
    OMX_DirOutput,
    OMX_DirMax = 0x7FFFFFFF
} OMX_DIRTYPE;

typedef enum OMX_ENDIANTYPE {
    OMX_EndianBig,
    OMX_EndianLittle,
    OMX_EndianMax = 0x7FFFFFFF
} OMX_ENDIANTYPE;

typedef enum OMX_NUMERICALDATATYPE {
    OMX_NumericalDataSigned,
    OMX_NumericalDataUnsigned,
    OMX_NumercialDataMax = 0x7FFFFFFF
} OMX_NUMERICALDATATYPE;

typedef struct OMX_BU32 {
    OMX_U32 nValue;
    OMX_U32 nMin;
    OMX_U32 nMax;
} OMX_BU32;

typedef struct OMX_BS32 {
    OMX_S32 nValue;
    OMX_S32 nMin;
    OMX_S32 nMax;
} OMX_BS32;

#ifndef OMX_SKIP64BIT
typedef OMX_S64 OMX_TICKS;
#else
typedef struct OMX_TICKS {
    OMX_U32 nLowPart;
    OMX_U32 nHighPart;
} OMX_TICKS;
#endif

#define OMX_TICKS_PER_SECOND 1000000

typedef void *OMX_HANDLETYPE;
typedef void *OMX_NATIVE_DEVICETYPE;
typedef void *OMX_NATIVE_WINDOWTYPE;

typedef struct OMX_MARKTYPE {
    OMX_HANDLETYPE hMarkTargetComponent;
    OMX_PTR pMarkData;
} OMX_MARKTYPE;

typedef union OMX_VERSIONTYPE {
    struct {
        OMX_U8 nVersionMajor;
        OMX_U8 nVersionMinor;
        OMX_U8 nRevision;
        OMX_U8 nStep;
    } s;
    OMX_U32 nVersion;
} OMX_VERSIONTYPE;

#ifdef __cplusplus
}
#endif
