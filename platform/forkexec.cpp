#include "tarn/platform/forkexec.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <vector>

namespace {

// posix_spawn keeps its settings in objects that must be destroyed.
class SpawnFileActions {
public:
    SpawnFileActions() { m_ok = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnFileActions() {
        if (m_ok) posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    bool Ok() const { return m_ok; }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
    bool m_ok;
};

class SpawnAttributes {
public:
    SpawnAttributes() { m_ok = posix_spawnattr_init(&m_attr) == 0; }
    ~SpawnAttributes() {
        if (m_ok) posix_spawnattr_destroy(&m_attr);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool Ok() const { return m_ok; }
    posix_spawnattr_t* Get() { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
    bool m_ok;
};

// Descriptors duplicated in the parent for the time of the spawn.
class TemporaryFds {
public:
    TemporaryFds() = default;
    ~TemporaryFds() {
        for (int fd : m_fds) ::close(fd);
    }
    TemporaryFds(const TemporaryFds&) = delete;
    TemporaryFds& operator=(const TemporaryFds&) = delete;
    void Keep(int fd) { m_fds.push_back(fd); }

private:
    std::vector<int> m_fds;
};

int Fail(int* error, int err) {
    if (error) *error = -err;
    return -1;
}

} // namespace

extern "C" int Kestrel_ForkExec(const char* path, const char* const* argv, const char* const* envp,
                                int workingDirFd, const int* fds, struct Kestrel_ForkExecParams* params,
                                int* error) {
    if (!path || !argv || !params || !params->childPid || params->fdCount < 0 ||
        (params->fdCount > 0 && !fds))
        return Fail(error, EINVAL);
    // posix_spawn cannot change the child's credentials.
    if (params->uid != -1 || params->gid != -1) return Fail(error, ENOTSUP);

    SpawnFileActions actions;
    SpawnAttributes attr;
    if (!actions.Ok() || !attr.Ok()) return Fail(error, ENOMEM);

    int rc = 0;
    if (workingDirFd != -1) {
        // First, so that the descriptor cannot be replaced by the list below.
        rc = posix_spawn_file_actions_addfchdir_np(actions.Get(), workingDirFd);
        if (rc != 0) return Fail(error, rc);
    }

    // A source that is also a target of an earlier entry would be overwritten
    // before it is copied (e.g. the list 1, 0): such sources are first moved
    // above the list's range. The copies close on exec.
    const int count = params->fdCount;
    TemporaryFds temporaries;
    for (int i = 0; i < count; ++i) {
        int source = fds[i];
        if (source < 0) {
            rc = posix_spawn_file_actions_addclose(actions.Get(), i);
        } else {
            if (source < count && source != i) {
                source = ::fcntl(source, F_DUPFD_CLOEXEC, count);
                if (source < 0) return Fail(error, errno);
                temporaries.Keep(source);
            }
            // dup2 onto itself clears close-on-exec, so fds[i] == i passes too.
            rc = posix_spawn_file_actions_adddup2(actions.Get(), source, i);
        }
        if (rc != 0) return Fail(error, rc);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The child gets the listed descriptors and no others.
    rc = posix_spawn_file_actions_addclosefrom_np(actions.Get(), count);
    if (rc != 0) return Fail(error, rc);
#endif

    // A fresh program: default signal dispositions and nothing blocked,
    // whatever the caller ignores or masks.
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (params->newSession) flags |= POSIX_SPAWN_SETSID;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    if ((rc = posix_spawnattr_setsigmask(attr.Get(), &none)) != 0 ||
        (rc = posix_spawnattr_setsigdefault(attr.Get(), &all)) != 0 ||
        (rc = posix_spawnattr_setflags(attr.Get(), flags)) != 0)
        return Fail(error, rc);

    static const char* const kNoEnvironment[] = {nullptr};
    pid_t pid = -1;
    rc = posix_spawn(&pid, path, actions.Get(), attr.Get(), const_cast<char* const*>(argv),
                     const_cast<char* const*>(envp ? envp : kNoEnvironment));
    if (rc != 0) return Fail(error, rc);

    *params->childPid = pid;
    if (error) *error = 0;
    return 0;
}
