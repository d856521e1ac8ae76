/* The host kernel's system-information tree (kernel-info, "KNO") as a
 * C-callable interface.
 *
 * The tree is a hierarchy of typed nodes. A branch holds children; a leaf
 * holds a value: a fixed-size record described by a KNOType, or a
 * variable-length data object (data node). An instance node stands for many
 * instances selected by a key (integer or string); its children, or its own
 * value when it is a leaf, exist once per instance. Keys are passed to the
 * value calls as a KNOParamList holding, in path order, the key of every
 * instance on the way from the root to the node.
 *
 * Our implementation keeps the tree in a JSON file (format: the project's
 * docs/kno-tree-format.md). The live tree is /var/run/kno/tree.json under the
 * host root; KNO_UseCache loads another file instead. Every call opens the
 * live tree on first use when none is loaded. Sets are written back to the
 * tree's file at once, so other processes see them.
 *
 * Every call returning KES_ReturnStatus returns 0 (KES_OK) on success;
 * see kes_status.h for the numbers. No call throws or aborts. */
#pragma once

#include <stdbool.h>
#include <stdint.h>

#include "tarn/export.h"
#include "tarn/platform/kno/kes_status.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Fixed node ids --------------------------------------------------- */

/* "No node" as returned by KNO_GetChildNodeID and in KNONodeInfo.siblingID. */
#define KNO_NO_NODE   0xFFFFFFFFu
/* "No module" as returned by KNO_GetModuleID. */
#define KNO_NO_MODULE 0xFFFFFFFFu

/* Ids every tree uses for the nodes the host's own components read. A tree
 * file that defines a node with one of these ids must give it the path shown
 * (the loader refuses it otherwise). */
#define KNO_NODE_root                       0u  /* /                              */
#define KNO_NODE_system                     1u  /* /system                        */
#define KNO_NODE_system_bootCmdLine         2u  /* /system/bootCmdLine  char text */
#define KNO_NODE_system_bootMAC             3u  /* /system/bootMAC      char text */
#define KNO_NODE_system_bootFsUUID          4u  /* /system/bootFsUUID   char text */
#define KNO_NODE_system_sysAlert            5u  /* /system/sysAlert     set: one string */
#define KNO_NODE_system_lumenfs             10u /* /system/lumenfs                */
#define KNO_NODE_system_lumenfs_inodes      11u /* /system/lumenfs/inodes/<inode> */
#define KNO_NODE_system_lumenfs_inodes_stats 12u /* .../<inode>/stats (tardisk name at byte 36) */

/* Byte offset and size of the tardisk name in the inode statistics record. */
#define KNO_INODE_STATS_TARDISK_OFFSET 36u
#define KNO_INODE_STATS_TARDISK_SIZE   32u

/* ---- Types ------------------------------------------------------------ */

/* KNOType.kind */
#define KNO_TYPE_BASE   0u
#define KNO_TYPE_ARRAY  1u
#define KNO_TYPE_STRUCT 2u
#define KNO_TYPE_ENUM   3u

struct KNOType;

typedef struct KNOStructMember {
    const char* name;
    const struct KNOType* type;
    uint32_t offset;          /* byte offset inside the struct */
    const char* description;  /* shown by the default output style */
} KNOStructMember;

typedef struct KNOEnumValue {
    const char* name;
    uint32_t value;           /* 32-bit value (print with %d or %#x) */
    const char* description;
} KNOEnumValue;

/* One type definition. Records live as long as the process once handed
 * out; a tree loaded later with other definitions gets new records. */
typedef struct KNOType {
    const char* name;
    uint32_t kind;            /* KNO_TYPE_* */
    uint32_t size;            /* bytes */
    /* Base: its printf format for one unsigned value of `size` bytes ("%u",
     * "%lu", "0x%x", ... ; "%s" marks a character element of string arrays).
     * Struct: the name shown by the default output style. Otherwise "". */
    const char* display;
    /* Array: the element type (count = size / elementType->size). */
    const struct KNOType* elementType;
    /* Struct: members in declaration order. */
    uint32_t numMembers;
    const KNOStructMember* members;
    /* Enum: values in declaration order; isBitmask = 1 for a set of flags. */
    uint32_t numValues;
    const KNOEnumValue* values;
    uint8_t isBitmask;
} KNOType;

/* The type table of the loaded definitions: knoMaxTypeDefs records in file
 * order (NULL and 0 before a tree is loaded). Replaced when a tree with other
 * definitions is loaded; records handed out before stay valid. */
TARN_PLATFORM_EXPORT extern const KNOType* knoTypeDefsLookupTab;
TARN_PLATFORM_EXPORT extern uint32_t knoMaxTypeDefs;

/* ---- Node information ------------------------------------------------- */

/* KNONodeInfo.flags bit 0: a path component that is not a named child of
 * the node may be tried as an instance key of the node. */
#define KNO_NODE_FLAG_TRY_INSTANCE 0x01u

/* A node's information. Each lookup returns a record of its own (one
 * reference), given back with KNO_NodeInfoRelease. The caller may write the
 * two type slots; nothing else. */
typedef struct KNONodeInfo {
    uint32_t nodeID;
    uint8_t isLeaf;
    uint8_t isInstance;       /* children (or the leaf value) are per instance key */
    uint8_t isModuleBranch;   /* instance keys select modules (KNO_GetModuleID) */
    uint8_t flags;            /* KNO_NODE_FLAG_* */
    uint8_t isIntegerKey;     /* instance keys are integers; otherwise strings */
    uint8_t isDataNode;       /* value is a variable-length data object */
    uint8_t si;               /* diagnostics: 1 = set takes a structure input */
    uint8_t p;                /* diagnostics: 1 = set takes a parameter list */
    uint32_t getOutputSize;   /* bytes of the value read by KNO_Get; 0 none */
    uint32_t setInputSize;    /* bytes of the KNO_SetStruct input; 0 = parameter form */
    uint32_t setOutputSize;   /* bytes written by a set to its output; 0 none */
    uint32_t siblingID;       /* next sibling's id, KNO_NO_NODE for none */
    const char* name;         /* valid while the record is held */
    const KNOType* getType;   /* slots for the caller (NULL after lookup) */
    const KNOType* setType;
    /* Beyond the kernel's fields: */
    uint32_t parentID;        /* KNO_NO_NODE for the root */
    uint32_t moduleID;        /* module the node belongs to; 0 = every module */
} KNONodeInfo;

/* ---- Parameters (instance keys and set arguments) ----------------------- */

#define KNO_PARAM_NONE   0u
#define KNO_PARAM_INT    1u
#define KNO_PARAM_STRING 2u

/* One value, 32 bytes, copied whole. A string param owns its text. */
typedef struct KNOParam {
    uint32_t type;            /* KNO_PARAM_* */
    uint32_t reserved;
    union {
        uint64_t intValue;
        char* stringValue;
    } u;
    uint64_t reserved2[2];
} KNOParam;

/* An ordered list of KNOParam values (opaque). */
typedef struct KNOParamList KNOParamList;

/* A new empty list; NULL when memory runs out. flags: reserved, any value
 * (callers pass 0 or 1). capacity: number of values to reserve room for. */
TARN_PLATFORM_EXPORT KNOParamList* KNO_ParamListCreate(uint32_t flags, uint32_t capacity);
/* Append an integer / a copy of a text. 0, or KES_BAD_PARAM (NULL argument)
 * or KES_NO_MEMORY. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_ParamListAddInt(KNOParamList* list, uint64_t value);
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_ParamListAddString(KNOParamList* list, const char* value);
/* Number of values; 0 for NULL. */
TARN_PLATFORM_EXPORT uint32_t KNO_ParamListUsedCount(const KNOParamList* list);
/* The value at index (from 0), owned by the list; NULL when out of range. */
TARN_PLATFORM_EXPORT KNOParam* KNO_ParamListGetParam(const KNOParamList* list, uint32_t index);
/* Frees the list and its values. NULL is ignored. */
TARN_PLATFORM_EXPORT void KNO_ParamListDestroy(KNOParamList* list);

/* The integer of an integer param (0 otherwise); the text of a string param
 * (NULL otherwise). */
TARN_PLATFORM_EXPORT uint64_t KNO_ParamGetInt(const KNOParam* param);
TARN_PLATFORM_EXPORT const char* KNO_ParamGetString(const KNOParam* param);
/* Makes param a string param owning a copy of text. The previous contents are
 * overwritten WITHOUT being released (so a by-value copy of another param can
 * be given its own text). 0, KES_BAD_PARAM or KES_NO_MEMORY. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_ParamSetString(KNOParam* param, const char* text);
/* Makes param an integer param (previous contents overwritten, not released). */
TARN_PLATFORM_EXPORT void KNO_ParamSetInt(KNOParam* param, uint64_t value);
/* Releases the text of a string param and clears the param; other params are
 * left alone. */
TARN_PLATFORM_EXPORT void KNO_ParamFreeString(KNOParam* param);

/* ---- Data objects ----------------------------------------------------- */

/* A variable-length value: `length` bytes used of `capacity` available in
 * `data`. Callers may fill data and set length (<= capacity) themselves. */
typedef struct KNOData {
    uint32_t length;
    uint32_t capacity;
    unsigned char data[];
} KNOData;

/* A data object with room for `length` bytes (zero-filled), holding a copy of
 * the first bufferLength bytes of buffer (bufferLength <= length; buffer may
 * be NULL when bufferLength is 0); its used length is bufferLength. NULL when
 * memory runs out or bufferLength > length. */
TARN_PLATFORM_EXPORT KNOData* KNOData_Create(uint32_t length, const void* buffer, uint32_t bufferLength);
/* Frees it. NULL is ignored. */
TARN_PLATFORM_EXPORT void KNOData_Destroy(KNOData* data);

/* ---- Opening the tree and its signature --------------------------------- */

/* Loads the tree from cacheFile instead of the live tree; later calls work
 * on it and sets are written back to it. A failed load leaves the previous
 * tree in place. 0; KES_BAD_PARAM (NULL), KES_NO_TREE (file missing or
 * unreadable), KES_BAD_TREE (malformed; KNO_LastError() names the problem).
 * A failure is also written to standard error when logLevel >= 0. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_UseCache(const char* cacheFile, int logLevel);

/* Definitions signature check. The tree file may declare the signature of
 * the running kernel's definitions; the definitions actually loaded have
 * their own (an MD5 over them). They mismatch when the file declares one
 * that differs. kernelBuildDate (size bytes, 21 suffice) receives the
 * kernel's build date text.
 * KNO_CheckSig: *mismatch (if not NULL) = 1 on mismatch, else 0; returns 0
 *   only when the definitions can be used: KES_SIG_MISMATCH on a mismatch,
 *   KES_NO_TREE when no tree can be opened, KES_BUFFER_TOO_SMALL.
 * KNO_CheckSig2: same, but a mismatch is only reported in *mismatch (status
 *   0); *libBuildDate, when NULL on entry, is pointed at this library's
 *   build date text (a caller may preset its own). */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_CheckSig(char* kernelBuildDate, uint32_t size, int* mismatch);
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_CheckSig2(char* kernelBuildDate, uint32_t size,
                                                    const char** libBuildDate, int* mismatch);

/* The running kernel's definitions signature: 32 lower-case hex digits (the
 * declared one, or the loaded definitions' own when none is declared); ""
 * when no tree can be opened. Static storage until the next load. */
TARN_PLATFORM_EXPORT const char* KNO_DefsMD5Sum(void);

/* ---- Nodes ------------------------------------------------------------ */

/* Looks up node nodeID; *info receives a new record (one reference). The
 * module id is not a filter here (see KNO_NodeExists). KES_NOT_FOUND for an
 * unknown id, KES_BAD_PARAM, KES_NO_TREE, KES_NO_MEMORY. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_NodeInfoLookup(uint32_t nodeID, uint32_t moduleID, KNONodeInfo** info);
/* Gives the reference back (frees the record). NULL is ignored. */
TARN_PLATFORM_EXPORT void KNO_NodeInfoRelease(KNONodeInfo* info);

/* The child of parent named name that is present in module moduleID.
 * KES_NOT_FOUND when there is none. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_ChildNodeLookup(const KNONodeInfo* parent, uint32_t moduleID,
                                                          const char* name, KNONodeInfo** child);
/* Id of the first child of the node (in sibling order, whatever its module);
 * KNO_NO_NODE when it has none. Walk on with KNONodeInfo.siblingID. */
TARN_PLATFORM_EXPORT uint32_t KNO_GetChildNodeID(const KNONodeInfo* info, uint32_t moduleID);
/* *count = number of the node's children present in module moduleID. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_GetNumChildrenInt(uint32_t nodeID, uint32_t moduleID, uint32_t* count);
/* True when the node exists and is present in module moduleID (it belongs to
 * every module, or to that one). */
TARN_PLATFORM_EXPORT bool KNO_NodeExists(uint32_t nodeID, uint32_t moduleID);
/* Module selected by an instance key: for a module-branch node, the module
 * named (string key) or numbered (integer key) by the key, KNO_NO_MODULE
 * when no such module exists; for any other node 0. KNO_NO_MODULE for bad
 * arguments. */
TARN_PLATFORM_EXPORT uint32_t KNO_GetModuleID(const KNONodeInfo* info, const KNOParam* key);

/* *list = new list of the node's current instance keys under the keys of the
 * instances above it (`keys`, may be NULL = none), in the tree's order; free
 * it with KNO_ParamListDestroy. An empty list when there are none.
 * KES_NOT_FOUND for an unknown node, KES_BAD_PARAM for a node that has no
 * instances. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_GetInstanceListAlloc(uint32_t nodeID, const KNOParamList* keys,
                                                               KNOParamList** list);

/* ---- Types of nodes ----------------------------------------------------- */

/* *type = the type of the node's value as read (get), as written back by a
 * set (set output), or as taken by KNO_SetStruct (input); NULL with status 0
 * when the node has none. KES_NOT_FOUND for an unknown node. Release each
 * handle with KNO_ReleaseType (NULL is accepted). */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_LookupOutputTypeOfGet(uint32_t nodeID, uint32_t moduleID, const KNOType** type);
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_LookupOutputTypeOfSet(uint32_t nodeID, uint32_t moduleID, const KNOType** type);
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_LookupInputType(uint32_t nodeID, uint32_t moduleID, const KNOType** type);
TARN_PLATFORM_EXPORT void KNO_ReleaseType(const KNOType* type);

/* ---- Values ----------------------------------------------------------- */
/* `keys` (may be NULL = none) holds the instance keys along the node's path.
 * Every instance named must exist (KES_NO_INSTANCE otherwise). A value never
 * stored reads as the node's default, or zeros. */

/* Reads a fixed-size value into buffer (size >= the node's get output size;
 * the get output size bytes are written). KES_NOT_READABLE for a branch, a
 * data node or a node without a get type; KES_BUFFER_TOO_SMALL. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_Get(uint32_t nodeID, const KNOParamList* keys, void* buffer, uint32_t size);

/* Set with a parameter list (params may be NULL = none). What it does is the
 * node's set action: store the parameters into the value (in the order of
 * the value type's members), reset the value, or raise a system alert (first
 * param, a string). When outputSize is not 0 the node's set output (its value
 * after the set, in the set output type) is written to output; outputSize 0
 * asks for no output. KES_READ_ONLY for a node not set this way,
 * KES_BAD_PARAM / KES_INCOMPLETE for wrong / missing params,
 * KES_BUFFER_TOO_SMALL, KES_IO_ERROR when it cannot be written back. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_Set(uint32_t nodeID, const KNOParamList* keys, const KNOParamList* params,
                                              void* output, uint32_t outputSize);

/* Set with a structure input of exactly the node's set input size; output as
 * for KNO_Set. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_SetStruct(uint32_t nodeID, const KNOParamList* keys, const void* input,
                                                    uint32_t inputSize, void* output, uint32_t outputSize);

/* Data nodes. KNO_GetDataLength: *length = bytes a KNO_GetData returns;
 * KES_LENGTH_FOLLOWS_INPUT for a write-only data node whose set output is as
 * long as its input. KNO_GetData: fills data (capacity must suffice,
 * KES_BUFFER_TOO_SMALL) and sets its length. KNO_SetData: takes the input's
 * used bytes; output (may be NULL) receives the node's data after the set,
 * cut to its capacity. KES_NOT_READABLE / KES_READ_ONLY for a node that is
 * not a data node or not readable / settable. */
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_GetDataLength(uint32_t nodeID, const KNOParamList* keys, uint32_t* length);
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_GetData(uint32_t nodeID, const KNOParamList* keys, KNOData* data);
TARN_PLATFORM_EXPORT KES_ReturnStatus KNO_SetData(uint32_t nodeID, const KNOParamList* keys, const KNOData* input,
                                                  KNOData* output);

#ifdef __cplusplus
}
#endif
