/*
 * ksstk.h - the C interface of the Pentrel supplicant library (libpentrel.so).
 *
 * A host loads the library, calls KSSTK_Initialize, sets the trace level and callback,
 * creates a context and from it identities, links, EAP-method handles and certificate
 * lists, and at the end releases every handle and calls KSSTK_Terminate.
 *
 * Conventions:
 * - Every function returns a 32-bit status: 0 for success, a negative HRESULT for failure.
 *   Most functions return 0 whatever happened inside; the comments say where not.
 * - Handles are opaque pointers; every handle is released with KSSTK_Release.
 * - "A" functions take 8-bit strings and store them unchanged; "W" functions take UTF-16
 *   strings (KSSTK_WCHAR, never wchar_t) and convert them to UTF-8.
 * - Memory the library hands to the host is freed with KSSTK_Free. Strings and blocks the
 *   host stores into callback messages must come from KSSTK_Alloc, KSSTK_AllocStringA,
 *   KSSTK_AllocStringW or KSSTK_AllocBlob: the library frees them.
 *
 * Usable from C99 and C++.
 */
#ifndef KSSTK_H
#define KSSTK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KSSTK_API __attribute__((visibility("default")))
#else
#define KSSTK_API
#endif
/* The calling convention of the exports and callbacks (the platform's default here). */
#define KSSTK_CALL

typedef int32_t KSSTK_RESULT;

/* One UTF-16 code unit (the same type as char16_t in C11 and C++). */
#ifdef __cplusplus
typedef char16_t KSSTK_WCHAR;
#else
typedef uint_least16_t KSSTK_WCHAR;
#endif

/* Any handle the library returns. */
typedef void* KSSTK_HANDLE;

/* A block of bytes handed across the interface; Data comes from malloc (KSSTK_Free). */
typedef struct KSSTK_BLOB {
  uint8_t* Data;
  uint32_t Length;
} KSSTK_BLOB;

/* ---------------------------------------------------------------------------------------
 * Trace
 * Levels: 1 error, 2 warning, 3 event, 4 detail; a line is written when the trace level is
 * at least its level. Categories: 0 the interface, 1 EAP and 802.1X, 2 keys.
 * The text always ends in "\n" and holds at most 2047 characters; data (may be null) is a
 * byte dump that belongs to the line. When both callbacks are set, only the narrow one is
 * called. Callbacks run on the thread that traced.
 * ------------------------------------------------------------------------------------- */
enum {
  KSSTK_TRACE_ERROR = 1,
  KSSTK_TRACE_WARNING = 2,
  KSSTK_TRACE_EVENT = 3,
  KSSTK_TRACE_DETAIL = 4
};
enum {
  KSSTK_TRACE_CATEGORY_INTERFACE = 0,
  KSSTK_TRACE_CATEGORY_EAP = 1,
  KSSTK_TRACE_CATEGORY_KEYS = 2
};

typedef void(KSSTK_CALL* KSSTK_TRACE_CALLBACK_A)(int32_t level, int32_t category,
                                                 const char* text, const uint8_t* data,
                                                 uint32_t dataLength);
typedef void(KSSTK_CALL* KSSTK_TRACE_CALLBACK_W)(int32_t level, int32_t category,
                                                 const KSSTK_WCHAR* text, const uint8_t* data,
                                                 uint32_t dataLength);

/* ---------------------------------------------------------------------------------------
 * Global functions
 * ------------------------------------------------------------------------------------- */

/* Takes a reference on the TLS library set-up and seeds its random generator.
 * 0, or -1 when the set-up or the seeding failed. Each call is matched by one
 * KSSTK_Terminate. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Initialize(void);
/* Drops the reference KSSTK_Initialize took. Always 0. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Terminate(void);

/* Trace settings; they may change at any time and apply from the next trace line. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_SetTraceLevel(int32_t level);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_SetTraceCallbackA(KSSTK_TRACE_CALLBACK_A callback);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_SetTraceCallbackW(KSSTK_TRACE_CALLBACK_W callback);

/* Memory shared with the host (malloc and free). The allocators return 0 even when memory
 * runs out: the out pointer is then null. A null out pointer gives E_POINTER. */
/* size 0 stores null. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Alloc(uint32_t size, void** block);
/* null is ignored. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Free(void* block);
/* A copy with its NUL; a null source gives an empty string. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AllocStringA(const char* source, char** copy);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AllocStringW(const KSSTK_WCHAR* source,
                                                     KSSTK_WCHAR** copy);
/* Fills the blob with a copy of length bytes (zeros when source is null); length 0 stores
 * a null Data. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AllocBlob(KSSTK_BLOB* blob, const void* source,
                                                  uint32_t length);

/* Reference counting of every handle. A null handle gives E_POINTER. */
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_AddRef(KSSTK_HANDLE handle);
KSSTK_API KSSTK_RESULT KSSTK_CALL KSSTK_Release(KSSTK_HANDLE handle);

#ifdef __cplusplus
}
#endif

#endif /* KSSTK_H */
