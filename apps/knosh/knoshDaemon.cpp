// The shell as a TCP daemon: one client at a time, each receive one
// request, every reply in text mode closed by "<EOM>".
//
// Anyone who reaches the port can read and write every node: there is no
// authentication, by design of the protocol. What guards the daemon itself:
// a request is at most 4096 bytes; a client is dropped when it sends
// nothing for the idle limit, when a reply is not taken within the request
// deadline, and when it has kept the daemon for the hold limit since
// another client began to wait (Knosh::DaemonLimits); sends never raise
// SIGPIPE, and the options a client changed are put back before the next one.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

using Knosh::Clock;

const char* const kLabel = "KNOSHDaemon";
constexpr size_t kRequestSize = 4096;
// Fixed, not grown by the kernel: a client that stops reading holds at most
// this much of the daemon's memory until its request's deadline passes.
constexpr int kSendBufferBytes = 64 * 1024;
// Receive's answer for a client the daemon drops.
constexpr ssize_t kDropped = -2;

long long Milliseconds(std::chrono::milliseconds limit) { return static_cast<long long>(limit.count()); }

// Waits for the client's next request and receives it into buffer: its
// length, 0 when the client closed, -1 on a receive failure (both reported),
// or kDropped when the idle limit passes, or the hold limit once a client is
// seen waiting on listener (-1: none is watched). *holdEnd keeps when the
// hold limit runs out, from one request to the next.
ssize_t Receive(int client, int listener, char* buffer, Clock::time_point* holdEnd) {
    const Clock::time_point idleEnd = Clock::now() + Knosh::daemonLimits.idle;
    for (;;) {
        if (Clock::now() >= *holdEnd) {
            KNOSHDiag(0, kLabel, "dropping the client: another client has waited %lld ms",
                      Milliseconds(Knosh::daemonLimits.hold));
            return kDropped;
        }
        if (Clock::now() >= idleEnd) {
            KNOSHDiag(0, kLabel, "dropping the client: no request for %lld ms", Milliseconds(Knosh::daemonLimits.idle));
            return kDropped;
        }
        const bool watching = listener >= 0 && *holdEnd == Clock::time_point::max();
        pollfd fds[2] = {{client, POLLIN, 0}, {watching ? listener : -1, POLLIN, 0}};
        if (poll(fds, 2, Knosh::PollTimeout(std::min(idleEnd, *holdEnd))) < 0 && errno != EINTR) {
            KNOSHDiag(0, kLabel, "poll: %s", strerror(errno));
            return -1;
        }
        if (fds[1].revents & POLLIN) {
            *holdEnd = Clock::now() + Knosh::daemonLimits.hold;
            KNOSHDiag(1, kLabel, "another client waits: this one may stay %lld ms",
                      Milliseconds(Knosh::daemonLimits.hold));
        }
        if (!fds[0].revents) continue;
        const ssize_t n = recv(client, buffer, kRequestSize, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n < 0) KNOSHDiag(0, kLabel, "recv: %s", strerror(errno));
        if (n == 0) KNOSHDiag(0, kLabel, "recv: read 0 bytes");
        return n;
    }
}

// Ends the daemon after a setup failure.
[[noreturn]] void SetupFailed(const char* what) {
    KNOSHDiag(0, kLabel, "%s: %s", what, strerror(errno));
    exit(1);
}

// The parent's side of start-up: ends with 0 once the child reports on the
// pipe that it listens, else (the child failed a setup step and wrote why,
// or died) with 1.
[[noreturn]] void AwaitListening(pid_t child, int pipe) {
    char byte;
    ssize_t n;
    while ((n = read(pipe, &byte, 1)) < 0 && errno == EINTR) {
    }
    if (n == 1) exit(0);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    exit(1);
}

bool StartsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

void HandleRequest(const char* request) {
    if (StartsWith(request, "bin")) {
        Knosh::binaryMode = !Knosh::binaryMode;
        KNOSHDiag(1, kLabel, "%s", Knosh::binaryMode ? "binary mode activated" : "binary mode deactivated");
    } else if (StartsWith(request, "md5chk ")) {
        const char* client = request + strlen("md5chk ");
        const char* own = KNO_DefsMD5Sum();
        if (strncmp(own, client, strlen(own)) != 0)
            KNOSHError("Client md5 signature (%s) does not match running kernel signature (%s)\n", client, own);
    } else {
        KNOSH_ParseAndExecCmd(request);
    }
    if (!Knosh::binaryMode) {
        KNOSHDiag(2, "KNOSHSendEom", "Sending <EOM>");
        KNOSHSend("<EOM>", 5);
    }
    Knosh::FlushReply();
}

// Transient failures of accept that concern only the connection being
// accepted; the daemon goes on with the next one.
bool AcceptMayRetry(int error) {
    switch (error) {
    case EINTR: case ECONNABORTED: case EPROTO: case ENETDOWN: case ENOPROTOOPT: case EHOSTDOWN:
    case ENONET: case EHOSTUNREACH: case EOPNOTSUPP: case ENETUNREACH: case EPERM:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace Knosh {

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

Socket::~Socket() {
    if (fd_ >= 0) close(fd_);
}

} // namespace Knosh

namespace {

// Serves the client until it goes, is dropped or quits; listener (-1: none)
// is watched for clients waiting meanwhile.
void Serve(int socket, int listener) {
    Knosh::Socket client(socket);
    const KNOSHOptions saved = options;
    options.daemonMode = 1;
    Knosh::clientSocket = client.Get();
    Knosh::clientLost = false;
    Knosh::binaryMode = 0;
    shellTerminate = 0;
    setsockopt(client.Get(), SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
    // A reply is several small sends ending in "<EOM>"; waiting to merge
    // them with the client's delayed acknowledgement costs 40 ms a request.
    int on = 1;
    setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    static char request[kRequestSize + 1];
    Clock::time_point holdEnd = Clock::time_point::max();
    while (!shellTerminate) {
        KNOSHDiag(1, kLabel, "Waiting for client request");
        ssize_t n = Receive(client.Get(), listener, request, &holdEnd);
        if (n == kDropped) break;
        if (n <= 0) {  // the empty request is still answered
            shellTerminate = 1;
            n = 0;
        }
        request[n] = '\0';
        KNOSHDiag(2, kLabel, "got \"%s\"", request);
        // The hold limit cuts a reply short too: a waiting client is served at
        // the latest one request and one hold limit after it came.
        Knosh::replyDeadline = std::min(Clock::now() + Knosh::daemonLimits.request, holdEnd);
        HandleRequest(request);
    }

    KNOSHDiag(1, kLabel, "Client closed connection.");
    Knosh::clientSocket = -1;
    client = Knosh::Socket();
    options = saved;
    shellTerminate = 0;
    Knosh::binaryMode = 0;
    KNOSH_Init();
}

} // namespace

namespace Knosh {

DaemonLimits daemonLimits;

} // namespace Knosh

void KNOSH_ServeClient(int socket) { Serve(socket, -1); }

void KNOSHDaemon(void) { KNOSHDaemonAt(nullptr, KNOSH_DAEMON_PORT); }

void KNOSHDaemonAt(const char* address, uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address && inet_pton(AF_INET, address, &where.sin_addr) != 1) {
        KNOSHDiag(0, kLabel, "listen address %s: not a numeric IPv4 address", address);
        exit(1);
    }
    // The parent returns only once the child listens, so that whoever
    // started the daemon learns whether it serves (a port taken, say).
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) < 0) SetupFailed("KNOSH: pipe");
    pid_t child = fork();
    if (child < 0) SetupFailed("KNOSH: fork");
    if (child > 0) {
        close(ready[1]);
        AwaitListening(child, ready[0]);
    }
    close(ready[0]);
    KNOSHDiag(0, kLabel, "KNOSH Daemon started");
    if (setsid() < 0) SetupFailed("KNOSH: setsid");

    Knosh::Socket listener(socket(AF_INET, SOCK_STREAM, 0));
    if (listener.Get() < 0) SetupFailed("socket");
    int on = 1;  // a restarted daemon may bind while old connections linger
    setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(listener.Get(), reinterpret_cast<sockaddr*>(&where), sizeof where) < 0) SetupFailed("bind");
    if (listen(listener.Get(), 1) < 0) SetupFailed("listen");
    KNOSHDiag(0, kLabel,
              "listening on port %d of %s WITHOUT AUTHENTICATION: whoever reaches it can read and write every node",
              port, address ? address : "every address");
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) SetupFailed("KNOSH: write");
    close(ready[1]);

    for (;;) {
        KNOSHDiag(2, kLabel, "Waiting for client connection");
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = accept(listener.Get(), reinterpret_cast<sockaddr*>(&peer), &length);
        if (fd < 0) {
            if (AcceptMayRetry(errno)) continue;
            SetupFailed("accept");
        }
        KNOSHDiag(1, kLabel, "Established connection with client %s", inet_ntoa(peer.sin_addr));
        Serve(fd, listener.Get());
    }
}
