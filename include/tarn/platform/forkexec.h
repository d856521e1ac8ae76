// The host kernel's fork-and-exec call. On this platform the child is started
// with posix_spawn; the parameters keep the kernel call's shape.
#pragma once

#include <sys/types.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

struct Kestrel_ForkExecParams {
    int fdCount;      // number of entries of the descriptor list
    int uid;          // -1: keep the caller's user
    int gid;          // -1: keep the caller's group
    bool newSession;  // true: the child starts a new session (setsid)
    pid_t* childPid;  // receives the child's process id
};

// Starts path with argv and envp (both null-terminated). workingDirFd -1 keeps
// the caller's directory. fds[i] becomes the child's descriptor i. Returns 0
// on success; otherwise non-zero with *error set to the negated errno.
TARN_PLATFORM_EXPORT int Kestrel_ForkExec(const char* path, const char* const* argv,
                                         const char* const* envp, int workingDirFd,
                                         const int* fds, struct Kestrel_ForkExecParams* params,
                                         int* error);

#ifdef __cplusplus
}
#endif
