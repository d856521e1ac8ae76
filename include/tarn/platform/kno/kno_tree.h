/* Calls of our kernel-info implementation that the kernel itself does not
 * have: for tools and tests that prepare trees, reset the process's tree and
 * check that callers give back what they take. C-callable. */
#pragma once

#include <stdint.h>

#include "tarn/export.h"
#include "tarn/platform/kno/kno.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Fixed path of the live tree; KNO_LiveTreePath() returns it under the host
 * root (static storage). */
#define KNO_LIVE_TREE_PATH "/var/run/kno/tree.json"
TARN_PLATFORM_EXPORT const char* KNO_LiveTreePath(void);

/* Fixed path of the host's alert log, to which a set of /system/sysAlert
 * appends one line; KNO_AlertLogPath() returns it under the host root. */
#define KNO_ALERT_LOG_PATH "/var/log/sysalerts.log"
TARN_PLATFORM_EXPORT const char* KNO_AlertLogPath(void);

/* Forgets the loaded tree: the next call opens the live tree again. Records
 * and type handles handed out stay valid. */
TARN_PLATFORM_EXPORT void KNO_Reset(void);

/* Text of the last load or write-back failure of this process ("" when none),
 * naming the file and the problem. Per-thread storage. */
TARN_PLATFORM_EXPORT const char* KNO_LastError(void);

/* MD5 of the loaded definitions themselves (what a tree file declares as
 * "signature"."md5" to match); "" when no tree can be opened. */
TARN_PLATFORM_EXPORT const char* KNO_LoadedDefsMD5Sum(void);

/* Node-information records and type handles handed out and not yet given
 * back by this process (for leak checks). */
TARN_PLATFORM_EXPORT uint32_t KNO_OutstandingNodeInfos(void);
TARN_PLATFORM_EXPORT uint32_t KNO_OutstandingTypes(void);

/* Writes a value into a tree file (not the loaded tree; a process that has it
 * loaded sees the change at its next value call): the value of node nodeID
 * under the instance keys `keys` (may be NULL) becomes the `length` bytes at
 * `bytes` (exactly the node's get output size, or any length for a data
 * node). Every key is added to the instance list of its instance node on the
 * node's path when missing (keys in path order, one per instance node on the
 * path from the root to the node inclusive). Locked and atomic like a set.
 * 0, KES_NO_TREE, KES_BAD_TREE, KES_NOT_FOUND, KES_BAD_PARAM, KES_IO_ERROR. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNOTree_PutValue(const char* treeFile, uint32_t nodeID,
                                                       const KNOParamList* keys, const void* bytes,
                                                       uint32_t length);

/* Several values written as KNOTree_PutValue writes one, in one locked and
 * atomic change of the file: all of them, or none when one fails (its status
 * is returned). */
typedef struct KNOTreeValue {
    uint32_t nodeID;
    const KNOParamList* keys;
    const void* bytes;
    uint32_t length;
} KNOTreeValue;
TARN_PLATFORM_EXPORT KES_ReturnStatus KNOTree_PutValues(const char* treeFile, const KNOTreeValue* values,
                                                        uint32_t count);

#ifdef __cplusplus
}
#endif
