// Shared state and helpers of the shell core; not part of the interface.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "tarn/knosh.h"

// The working path (head element) and the output table in use.
extern KNOSHPathElement* knoshCwd;
extern const KNOSHOutputTable* knoshOutput;

// A diagnostic: "<label>():<message>\n" on standard error when
// options.logLevel >= level, then every output stream is flushed.
void KNOSHDiag(int level, const char* label, const char* format, ...) __attribute__((format(printf, 3, 4)));

// The one place normal output is written; the daemon redirects it.
int KNOSHVPrintf(const char* format, va_list args);

// ---- Commands ----------------------------------------------------------------

// Arguments of one command; argv holds argc owned texts, no terminator.
struct KNOSHArgs {
    int32_t argc;
    char** argv;
};

typedef KES_ReturnStatus (*KNOSHCmdHandler)(KNOSHArgs* args);

struct KNOSHCmd {
    const char* name;
    KNOSHCmdHandler handler;
    const char* help;
};

// The command table in its fixed order.
extern const KNOSHCmd knoshCommands[];
extern const int knoshNumCommands;

// The row of an exact command name; NULL when there is none.
const KNOSHCmd* KNOSHCmdStr2Cmd(const char* name);

KES_ReturnStatus KNOSHCmdCD(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdPwd(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdLs(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdTypeLs(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdTypeGet(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdLogLevel(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdQuit(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdHelp(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdGet(KNOSHArgs* args);
KES_ReturnStatus KNOSHCmdSet(KNOSHArgs* args);

// ---- Owning handles -----------------------------------------------------------

namespace Knosh {

struct PathDeleter {
    void operator()(KNOSHPathElement* e) const { KNOSHPath_Delete(e); }
};
struct ParamListDeleter {
    void operator()(KNOParamList* l) const { KNO_ParamListDestroy(l); }
};
struct NodeInfoDeleter {
    void operator()(KNONodeInfo* n) const { KNO_NodeInfoRelease(n); }
};
struct TypeDeleter {
    void operator()(const KNOType* t) const { KNO_ReleaseType(t); }
};
struct FreeDeleter {
    void operator()(void* p) const;
};

using PathPtr = std::unique_ptr<KNOSHPathElement, PathDeleter>;
using ParamListPtr = std::unique_ptr<KNOParamList, ParamListDeleter>;
using NodeInfoPtr = std::unique_ptr<KNONodeInfo, NodeInfoDeleter>;
using TypePtr = std::unique_ptr<const KNOType, TypeDeleter>;
using CharPtr = std::unique_ptr<char, FreeDeleter>;

// A zero-filled element, owned by the caller until linked into a path.
PathPtr NewElement();

// True when text is wholly a number as strtoull reads it in base 0 (a digit
// first, nothing after, no overflow); the value goes to *value.
bool ReadWholeNumber(const char* text, uint64_t* value);

// Makes the instance element of working element w for component (see
// knoshPathInstance.cpp); NULL when the component selects no instance.
PathPtr MakeInstanceElement(const KNOSHPathElement* w, const char* component, uint8_t checkInstances);

// Length of the rendering buffers (prompt, pwd, completion).
constexpr uint32_t kPathBufferSize = 4096;

} // namespace Knosh

namespace Knosh {

// The natural comparison of KNOSH_StringCompareCb on two texts.
int NaturalCompare(const char* s, const char* t);

} // namespace Knosh
