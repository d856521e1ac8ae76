#include "remote_connection.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace KnoshFrontend {

namespace {

const char kEom[] = "<EOM>";
constexpr size_t kEomSize = sizeof kEom - 1;

bool Lost() {
    fprintf(stderr, "knosh: connection to the daemon lost\n");
    return false;
}

} // namespace

Connection::~Connection() {
    if (fd_ >= 0) close(fd_);
}

bool Connection::Open(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;  // the daemon listens on IPv4 only
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found)) {
        fprintf(stderr, "knosh: %s: %s\n", host.c_str(), gai_strerror(rc));
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd_ = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd_ >= 0 && connect(fd_, a->ai_addr, a->ai_addrlen) == 0) return true;
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    fprintf(stderr, "knosh: cannot connect to %s port %s: %s\n", host.c_str(), service.c_str(), strerror(errno));
    return false;
}

bool Connection::Exchange(const std::string& request, std::string& reply) {
    for (size_t sent = 0; sent < request.size();) {
        ssize_t n = send(fd_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Lost();
        sent += static_cast<size_t>(n);
    }
    reply.clear();
    char buffer[16384];
    while (reply.size() < kEomSize || reply.compare(reply.size() - kEomSize, kEomSize, kEom) != 0) {
        ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Lost();
        reply.append(buffer, static_cast<size_t>(n));
    }
    reply.resize(reply.size() - kEomSize);
    return true;
}

} // namespace KnoshFrontend
