// Shared state and helpers of the shell core; not part of the interface.
#pragma once

#include <chrono>
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

// ---- Daemon ---------------------------------------------------------------------

// Queues length bytes of the reply for the client (sending what was queued
// when the queue fills); -1 (reported, shellTerminate set) once the
// connection has failed.
int KNOSHSend(const void* bytes, size_t length);

namespace Knosh {

using Clock = std::chrono::steady_clock;

// How long one client may keep the daemon (docs/knosh.md, "Limits"). Set
// before KNOSHDaemon or KNOSH_ServeClient; tests shorten them.
struct DaemonLimits {
    // Waiting for the next request while no other client waits.
    std::chrono::milliseconds idle{std::chrono::minutes(10)};
    // From a request's arrival to the last byte of its reply handed over.
    std::chrono::milliseconds request{std::chrono::seconds(30)};
    // From the moment another client is seen waiting (between requests) to
    // the end of this one, a reply under way cut short.
    std::chrono::milliseconds hold{std::chrono::seconds(60)};
};
TARN_EXPORT extern DaemonLimits daemonLimits;

// The connection of the client being served (-1: none), its binary mode,
// whether a send on it has failed, and when the reply being sent must be out.
extern int clientSocket;
extern int binaryMode;
extern bool clientLost;
extern Clock::time_point replyDeadline;

// Sends the queued reply to the client: 0 when none was queued, -1 when the
// connection fails.
int FlushReply();

// Milliseconds from now until end for poll, rounded up (0 once passed).
int PollTimeout(Clock::time_point end);

// True when output and errors go to the client: daemon mode with a client
// connected (before the first client, start-up messages stay local).
bool ToClient();

// An owned socket descriptor.
class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(other.Release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket();
    int Get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

} // namespace Knosh

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
struct DataDeleter {
    void operator()(KNOData* d) const { KNOData_Destroy(d); }
};

using PathPtr = std::unique_ptr<KNOSHPathElement, PathDeleter>;
using ParamListPtr = std::unique_ptr<KNOParamList, ParamListDeleter>;
using NodeInfoPtr = std::unique_ptr<KNONodeInfo, NodeInfoDeleter>;
using TypePtr = std::unique_ptr<const KNOType, TypeDeleter>;
using CharPtr = std::unique_ptr<char, FreeDeleter>;
using BytesPtr = std::unique_ptr<unsigned char, FreeDeleter>;
using DataPtr = std::unique_ptr<KNOData, DataDeleter>;

// A zero-filled buffer of size bytes (at least one byte is allocated).
BytesPtr NewBytes(uint32_t size);

// Prints a value node's output buffer through its type, then "\n", or with
// sendRaw sends its bytes to the client; a failed type lookup is reported
// with the caller's label and returned.
KES_ReturnStatus PrintOutput(const char* label, const KNOSHPathElement* leaf, const void* buffer, uint32_t size,
                             KES_ReturnStatus (*lookup)(uint32_t, uint32_t, const KNOType**), bool sendRaw = false);

// A data object: its bytes to the client in daemon mode, else a hex dump.
void PrintData(const KNOData* data);

// Fills buffer (size bytes) from structure input text for a struct type;
// statuses as for `set`.
KES_ReturnStatus CreateStructInput(const char* text, size_t length, const KNOType* type, void* buffer,
                                   uint32_t size);

// Reads hexadecimal byte arguments into a new data object; NULL with
// *status set on failure (already reported).
DataPtr CreateInputData(int argc, char** argv, KES_ReturnStatus* status);

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

// ---- Value printing (the routines the output tables share) -------------------

// indent units of three blanks.
void PrintIndent(int indent);

// The unsigned little-endian number in the first size (at most 8) bytes.
uint64_t ReadUnsigned(const void* buffer, uint32_t size);

// Structs: members end with "\n" (default, raw) or ",\n" (python).
void PrintStructLines(const void* buffer, const KNOType* type, uint32_t size, int indent,
                      const KNOSHOutputTable* table, int mode);
void PrintStructPython(const void* buffer, const KNOType* type, uint32_t size, int indent,
                       const KNOSHOutputTable* table, int mode);

// Arrays: the default style knows the special arrays, raw does not.
void PrintArrayDefault(const void* buffer, const KNOType* type, uint32_t size, int indent,
                       const KNOSHOutputTable* table, int mode);
void PrintArrayRaw(const void* buffer, const KNOType* type, uint32_t size, int indent,
                   const KNOSHOutputTable* table, int mode);
void PrintArrayPython(const void* buffer, const KNOType* type, uint32_t size, int indent,
                      const KNOSHOutputTable* table, int mode);

// Enums: with value names (default), or as a number (raw, python).
void PrintEnumNamed(const void* buffer, const KNOType* type);
void PrintEnumNumber(const void* buffer, const KNOType* type);

// The hex dump every style prints data objects with.
void PrintHexDump(const KNOData* data, const KNOSHOutputTable* table);

} // namespace Knosh
