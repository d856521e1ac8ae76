/* knosh: the core of a shell over the kernel-info tree (C-callable).
 *
 * A host program fills `options`, calls KNOSH_Init once, then hands command
 * lines to KNOSH_ParseAndExecCmd (or argument vectors to KNOSH_ExecCmd),
 * shows `knoshPrompt` and uses KNOSH_CommandGenerator for completion, until
 * `shellTerminate` is set. Every routine returns kernel status numbers
 * (tarn/platform/kno/kes_status.h; 0 is success) unless said otherwise.
 *
 * Diagnostics go to standard error as "<routine>():<message>\n" when
 * options.logLevel is at least the message's level (a negative level
 * silences them all). Normal output goes through KNOSHPrintf. */
#pragma once

#include <stdarg.h>
#include <stdint.h>

#include "tarn/export.h"
#include "tarn/platform/kno/kno.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Paths ------------------------------------------------------------ */

/* One component of a resolved path. Elements are allocated zero-filled and
 * owned by the path they are linked into; a path is handed around as its
 * head (normally the root) and freed with KNOSHPath_Delete on the head. */
typedef struct KNOSHPathElement {
    KNONodeInfo* nodeInfo;           /* one reference, released on free */
    uint32_t moduleID;               /* 0 = none chosen yet */
    uint8_t hasParam;                /* 1: an instance of its node, key in param */
    KNOParam param;                  /* the instance key (own copy of a text) */
    struct KNOSHPathElement* prev;   /* towards the root */
    struct KNOSHPathElement* next;   /* towards the leaf */
} KNOSHPathElement;

/* A one-element path for the node (module 0, no key); NULL on failure. */
TARN_EXPORT KNOSHPathElement* KNOSHPath_InitRoot(uint32_t nodeID);

/* Resolves text (modified in place) relative to current (a path head; not
 * changed). checkInstances = 1 matches instance keys against the node's
 * instance list (unless options.noInstanceCheck). With rest given, an
 * unresolvable component is stored there (pointing into text) and the
 * status is 0; *path then holds what was resolved. On failure *path is NULL. */
TARN_EXPORT KES_ReturnStatus KNOSHPath_Form(KNOSHPathElement* current, char* text, uint8_t checkInstances,
                                            KNOSHPathElement** path, char** rest);

/* Renders the path from element to the leaf into buffer (size bytes); every
 * element is followed by "/". quote: see KNOSHPath_CatComponent. */
TARN_EXPORT void KNOSHPath_GetStr(const KNOSHPathElement* element, char* buffer, uint32_t size, uint8_t quote);

/* Appends one component to buffer; with quote set, a component holding a "/"
 * or a blank is put in double quotes (unless it ends with "/" or that
 * character is its last). */
TARN_EXPORT void KNOSHPath_CatComponent(char* buffer, uint32_t size, const char* component, uint8_t quote);

/* The instance keys of the path up to and including element, in path order
 * (free with KNO_ParamListDestroy); NULL on failure. */
TARN_EXPORT KNOParamList* KNOSHPath_GetInstArgs(const KNOSHPathElement* element);

/* The last element of the path (NULL for NULL). */
TARN_EXPORT KNOSHPathElement* KNOSHPath_GetLeafElement(KNOSHPathElement* element);

/* Frees element and everything after it; its predecessor becomes the leaf. */
TARN_EXPORT void KNOSHPath_Delete(KNOSHPathElement* element);

/* The current instance keys of the node under the given keys of the
 * instances above it. */
TARN_EXPORT KES_ReturnStatus KNOSH_GetInstanceNodes(const KNONodeInfo* nodeInfo, const KNOParamList* keys,
                                                    KNOParamList** list);

/* ---- Options and globals ------------------------------------------------- */

typedef struct KNOSHOptions {
    uint8_t rawOutput;        /* raw output table; names listed without suffixes */
    uint8_t pythonOutput;     /* python-literal output table */
    uint8_t noInstanceCheck;  /* take instance keys as typed, always */
    uint8_t spare;            /* not read by the shell core */
    uint8_t expectStatus;     /* success = status code text equals expectedStatusCode */
    uint8_t daemonMode;       /* output goes to the connected client */
    int32_t logLevel;         /* diagnostic verbosity; negative = silent */
    uint8_t sigMismatchFatal; /* definitions signature mismatch ends start-up */
    const char* cacheFile;    /* read the tree from this file, not the live kernel */
    const char* rootPath;     /* node to use as the shell's root */
    const char* expectedStatusCode;
} KNOSHOptions;

TARN_EXPORT extern KNOSHOptions options;
TARN_EXPORT extern uint32_t knoshRootNodeID;     /* initially 0 */
TARN_EXPORT extern const char* knoshRootNodeStr; /* rendered for the root; initially "" */
TARN_EXPORT extern char knoshPrompt[4096];       /* working path + "> " */
TARN_EXPORT extern uint8_t shellTerminate;       /* set by the quit commands */

/* ---- Output tables ------------------------------------------------------- */

/* How values are printed: eight routines per style (default for people,
 * raw hexadecimal, python literals); KNOSHOutput_PrintBuf walks a type and
 * calls them, and they call back into it for nested values. */
typedef struct KNOSHOutputTable KNOSHOutputTable;
typedef void (*KNOSHPrintValueFn)(const void* buffer, const KNOType* type, uint32_t size, int indent,
                                  const KNOSHOutputTable* table, int mode);
struct KNOSHOutputTable {
    KNOSHPrintValueFn printBase;
    KNOSHPrintValueFn printArray;
    KNOSHPrintValueFn printStruct;
    void (*beginStruct)(const KNOType* type);
    void (*printMemberLabel)(const KNOStructMember* member);
    void (*endStruct)(const KNOType* type);
    void (*printEnum)(const void* buffer, const KNOType* type);
    void (*printData)(const KNOData* data, const KNOSHOutputTable* table);
};

TARN_EXPORT extern const KNOSHOutputTable* knoshDefaultOutputPtr;
TARN_EXPORT extern const KNOSHOutputTable* knoshRawOutputPtr;
TARN_EXPORT extern const KNOSHOutputTable* knoshPythonOutputPtr;

/* Prints the value in buffer (size bytes) of the given type through table,
 * at indent levels of three blanks; callers pass indent 0 and mode 0. A
 * type of another kind ends the process (Panic). */
TARN_EXPORT void KNOSHOutput_PrintBuf(const void* buffer, const KNOType* type, uint32_t size, int indent,
                                      const KNOSHOutputTable* table, int mode);
/* Prints a data object through table (every style: a hex dump). */
TARN_EXPORT void KNOSHOutput_PrintData(const KNOData* data, const KNOSHOutputTable* table);
/* True exactly when display is "%s": the element type of a text array. */
TARN_EXPORT int KNOSHIsArrayStringType(const char* display);

/* ---- Shell ----------------------------------------------------------------- */

/* Start-up from `options`: opens the tree, checks the definitions signature,
 * selects the output table, sets up the root. Returns 0 or ends the process
 * (exit status 1, or 255 when the kernel cannot be reached). */
TARN_EXPORT int KNOSH_Init(void);

/* A fresh working path at knoshRootNodeID; selects table (the python table
 * when NULL). 0, or KES_FAILURE when the root cannot be made. */
TARN_EXPORT KES_ReturnStatus KNOSH_InitRoot(const KNOSHOutputTable* table);

/* Renders the working path into knoshPrompt and appends "> ". */
TARN_EXPORT void KNOSH_SetPrompt(void);

/* Runs one command line: 0 done (also an empty line or a "#" comment),
 * 1 command not found, 2 parse error or failing command. */
TARN_EXPORT int KNOSH_ParseAndExecCmd(const char* line);

/* Runs an argument vector: 0 success (see options.expectStatus), 1 no or
 * unknown command, 2 the command failed. */
TARN_EXPORT int KNOSH_ExecCmd(int argc, char** argv);

/* Tab completion of text. *state counts the candidates looked at: 0 on the
 * first call for a text, then passed back as left. Returns a malloc'd
 * completion (free() it) or NULL when there are no more. */
TARN_EXPORT char* KNOSH_CommandGenerator(const char* text, int* state);

/* Finds the next argument of a command line: skips whitespace, *start is
 * its first character, *end the one after it. A double quote opens a run up
 * to the next double quote in which whitespace does not end the argument.
 * Returns the position after the argument, NULL when only whitespace is
 * left; for a quote left open *end is NULL and the end of text is returned. */
TARN_EXPORT const char* KNOSHParseArgument(const char* text, const char** start, const char** end);

/* Natural order of two names, for qsort: a and b each point at a
 * `const char*`. Digit runs compare as numbers (base 0: "010" is 8, "0x1f"
 * is 31), other characters without regard to case. */
TARN_EXPORT int KNOSH_StringCompareCb(const void* a, const void* b);

/* ---- Daemon ------------------------------------------------------------------ */

/* The daemon's TCP port unless told another, on every local IPv4 address. */
#define KNOSH_DAEMON_PORT 56303

/* KNOSHDaemonAt(NULL, KNOSH_DAEMON_PORT): every address, the fixed port. */
TARN_EXPORT void KNOSHDaemon(void) __attribute__((noreturn));

/* Forks; the child detaches (setsid), listens on port of address (a numeric
 * IPv4 address; NULL: every address) WITHOUT ANY AUTHENTICATION (whoever
 * reaches the port can read and write every node) and serves one client
 * after another with KNOSH_ServeClient. The parent waits until the child
 * listens and then ends with exit status 0; when a setup step fails (the
 * child writes why on standard error) both end with exit status 1. Call
 * KNOSH_Init first. */
TARN_EXPORT void KNOSHDaemonAt(const char* address, uint16_t port) __attribute__((noreturn));

/* Serves one connected client on socket (taken over and closed): each
 * receive of up to 4096 bytes is one request ("bin", "md5chk <signature>"
 * or a command line), answered in text or binary mode, until the client
 * closes, a receive or send fails, a quit command runs, the client sends
 * nothing for the idle limit or a reply is not out by the request's
 * deadline. Then the options are put back as they were on entry and the
 * shell is started afresh (KNOSH_Init). Sets options.daemonMode for its
 * duration. The daemon itself also drops a client that has kept it for the
 * hold limit since another began to wait. */
TARN_EXPORT void KNOSH_ServeClient(int socket);

/* Data to the client: in binary mode a 24-byte header (type 0, length
 * modulo 65536, send time) first. Returns what the last send returned. */
TARN_EXPORT int KNOSHSendData(const void* bytes, uint32_t length);
/* An error to the client: the message and a newline in text mode, only an
 * error header (type 1) in binary mode. */
TARN_EXPORT void KNOSHSendError(const char* format, va_list args);

/* ---- Printing and errors ------------------------------------------------------ */

/* All normal output (to the client in daemon mode); returns what the
 * underlying print or send returns. */
TARN_EXPORT int KNOSHPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* "Error: " and the message on standard error, then a newline as output;
 * in daemon mode KNOSHSendError. */
TARN_EXPORT void KNOSHError(const char* format, ...) __attribute__((format(printf, 1, 2)));
/* "Panic: " and the message on standard error (daemon mode: KNOSHSendError),
 * then exit status 1. */
TARN_EXPORT void Panic(const char* format, ...) __attribute__((format(printf, 1, 2), noreturn));
/* The message on standard error when options.logLevel >= 1. */
TARN_EXPORT void Warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
TARN_EXPORT void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

/* Reads a number like strtoul, bounded: a value above limit (negLimit for a
 * negative number when negLimit is not 0) gives that limit. Base 0 or 16
 * accept "0x"; base 0 reads a leading 0 as octal. A character that is a
 * digit or letter but not valid in the base ends the number when
 * allowTrailing, else the result is 0 with *end at text. No digit: 0 with
 * *end at text. end may be NULL. */
TARN_EXPORT unsigned long strtoul_limit(const char* text, char** end, int base, unsigned long negLimit,
                                        unsigned long limit, int allowTrailing);

#ifdef __cplusplus
}
#endif
