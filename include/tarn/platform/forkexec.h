// The host kernel's fork-and-exec call. On this platform the child is started
// with posix_spawn; the parameters keep the kernel call's shape. The child
// starts with default signal dispositions and an empty signal mask.
#pragma once

#include <sys/types.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

struct Kestrel_ForkExecParams {
    int fdCount;      // number of entries of the descriptor list
    int uid;          // -1: keep the caller's user (the only value supported)
    int gid;          // -1: keep the caller's group (the only value supported)
    bool newSession;  // true: the child starts a new session (setsid)
    pid_t* childPid;  // receives the child's process id
};

// Starts path (not searched in PATH) with argv and envp (both null-terminated;
// a null envp is an empty environment). workingDirFd -1 keeps the caller's
// directory, any other descriptor becomes the child's working directory.
// fds[i] becomes the child's descriptor i (a negative entry leaves i closed);
// the child inherits no other descriptor. Returns 0 with *params->childPid
// set; otherwise -1 with *error set to the negated errno (ENOENT for a missing
// program, EINVAL for missing arguments, ENOTSUP for a uid or gid other than
// -1). The caller waits for the child.
TARN_PLATFORM_EXPORT int Kestrel_ForkExec(const char* path, const char* const* argv,
                                         const char* const* envp, int workingDirFd,
                                         const int* fds, struct Kestrel_ForkExecParams* params,
                                         int* error);

#ifdef __cplusplus
}
#endif
