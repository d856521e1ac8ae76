/* Kernel status numbers and their texts (C-callable).
 *
 * Every KNO_* call that reports a status returns one of these; 0 is success.
 * The texts come from one fixed table; a number outside the table still gets
 * a text ("Unknown status 0x..." / "KES_UNKNOWN"), never NULL. */
#pragma once

#include <stdbool.h>
#include <stdint.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t KES_ReturnStatus;

#define KES_OK                   0x0u        /* success */
#define KES_FAILURE              0xbad0001u  /* the request cannot be served this way */
#define KES_NOT_FOUND            0xbad0002u  /* no such node, child, type or module */
#define KES_LENGTH_FOLLOWS_INPUT 0xbad0003u  /* data length: the output is as long as the input */
#define KES_NO_TREE              0xbad0004u  /* no kernel-info tree could be opened */
#define KES_IO_ERROR             0xbad0005u  /* the tree file could not be read or written */
#define KES_BAD_TREE             0xbad0006u  /* the tree file is malformed or inconsistent */
#define KES_BAD_PARAM            0xbad0007u  /* bad argument or input */
#define KES_READ_ONLY            0xbad0008u  /* the node cannot be set (this way) */
#define KES_NOT_READABLE         0xbad0009u  /* the node cannot be read (this way) */
#define KES_BUFFER_TOO_SMALL     0xbad000au  /* the caller's buffer is too small */
#define KES_NO_INSTANCE          0xbad000bu  /* an instance key names no existing instance */
#define KES_SIG_MISMATCH         0xbad000cu  /* definitions signature does not match */
#define KES_NO_MEMORY            0xbad0014u  /* out of memory */
#define KES_NOT_SUPPORTED        0xbad0020u  /* element or operation not supported */
#define KES_INCOMPLETE           0xbad0083u  /* missing arguments or input ended early */

/* Human-readable text of a status, e.g. "Bad parameter". Static storage;
 * an unknown number gets "Unknown status 0x<hex>" (per-thread buffer, valid
 * until the next call on the same thread). */
TARN_PLATFORM_EXPORT const char* KES_ReturnStatusToString(KES_ReturnStatus status);

/* Code name of a status, e.g. "KES_BAD_PARAM" for 0xbad0007; "KES_UNKNOWN"
 * for a number outside the table. Static storage. */
TARN_PLATFORM_EXPORT const char* KES_ReturnStatusToCodeStr(KES_ReturnStatus status);

/* The status whose code name is code (e.g. 0xbad0007 for "KES_BAD_PARAM");
 * false, *status untouched, when no status in the table has that name. */
TARN_PLATFORM_EXPORT bool KES_CodeStrToReturnStatus(const char* code, KES_ReturnStatus* status);

/* Opens the live kernel-info tree (the file /var/run/kno/tree.json under the
 * host root) and makes it the tree every KNO_* call works on, replacing a
 * tree opened before. Returns true on success, false when the file is missing,
 * unreadable or malformed (KNO_LastError() then names the problem).
 * logLevel: a load failure is also written to standard error when >= 0.
 * flags, reserved: pass 0. */
TARN_PLATFORM_EXPORT bool KesSyscall_Init(int logLevel, int flags, int reserved);

#ifdef __cplusplus
}
#endif
