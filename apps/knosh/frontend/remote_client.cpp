// The daemon's text protocol from the client's side: one request per
// command line, sent whole in one piece; the reply is everything up to
// "<EOM>". The reply carries no status, so the status is read from its last
// line, which is where the shell puts the error of a failed line.
#include "remote_client.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include <readline/history.h>
#include <readline/readline.h>

#include "tarn/knosh.h"
#include "tarn/platform/kno/kno_tree.h"

namespace KnoshFrontend {

namespace {

const char kEom[] = "<EOM>";
constexpr size_t kRequestSize = 4096;  // the daemon takes one receive of at most this as one request

class Connection {
public:
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }

    bool Open(const std::string& host) {
        addrinfo hints{};
        hints.ai_family = AF_INET;  // the daemon listens on IPv4 only
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(KNOSH_DAEMON_PORT);
        if (int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found)) {
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
        fprintf(stderr, "knosh: cannot connect to %s port %s: %s\n", host.c_str(), port.c_str(), strerror(errno));
        return false;
    }

    // Sends the request and returns the reply without "<EOM>"; false when
    // the connection fails or closes first.
    bool Exchange(const std::string& request, std::string& reply) {
        for (size_t sent = 0; sent < request.size();) {
            ssize_t n = send(fd_, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Lost();
            sent += static_cast<size_t>(n);
        }
        reply.clear();
        char buffer[16384];
        while (reply.size() < 5 || reply.compare(reply.size() - 5, 5, kEom) != 0) {
            ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Lost();
            reply.append(buffer, static_cast<size_t>(n));
        }
        reply.resize(reply.size() - 5);
        return true;
    }

private:
    bool Lost() {
        fprintf(stderr, "knosh: connection to the daemon lost\n");
        return false;
    }
    int fd_ = -1;
};

// The shell's errors of a failed line, as the daemon sends them: its last line.
int StatusOf(const std::string& lastLine) {
    if (lastLine == "Command not found.") return 1;
    for (const char* failed : {"Error in command ", "Invalid argument: ", "Failed to resize argument string array",
                               "Failed to allocate argument string"})
        if (lastLine.compare(0, strlen(failed), failed) == 0) return 2;
    return 0;
}

bool IsQuit(const std::string& line) {
    const char* start = nullptr;
    const char* end = nullptr;
    if (!KNOSHParseArgument(line.c_str(), &start, &end) || !end) return false;
    const std::string word(start, end);
    return word == "exit" || word == "quit" || word == "q";
}

class Client {
public:
    explicit Client(Connection& connection) : connection_(connection) {}

    // Runs one line; its status, or -1 when the connection is lost.
    int Run(const std::string& line) {
        if (line.find_first_not_of(" \t\r\n\v\f") == std::string::npos || line[0] == '#') return 0;
        if (line.compare(0, 3, "bin") == 0 || line.compare(0, 7, "md5chk ") == 0) {
            fprintf(stderr, "Error: '%s' is a request of the daemon's protocol, not a command\n", line.c_str());
            return 2;
        }
        if (line.size() > kRequestSize) {
            fprintf(stderr, "Error: line longer than %zu bytes\n", kRequestSize);
            return 2;
        }
        std::string reply;
        if (!connection_.Exchange(line, reply)) return -1;
        // The failed line's error goes to standard error, its newline stays
        // on standard output, as the local shell writes them.
        int status = 0;
        size_t start = 0;
        std::string last;
        if (reply.size() > 1 && reply.back() == '\n') {
            size_t before = reply.rfind('\n', reply.size() - 2);
            start = before == std::string::npos ? 0 : before + 1;
            last = reply.substr(start, reply.size() - 1 - start);
            status = StatusOf(last);
        }
        if (status) {
            fwrite(reply.data(), 1, start, stdout);
            fflush(stdout);
            fprintf(stderr, "Error: %s\n", last.c_str());
            fputs("\n", stdout);
        } else {
            fwrite(reply.data(), 1, reply.size(), stdout);
        }
        fflush(stdout);
        if (IsQuit(line)) quit_ = true;
        return status;
    }

    bool Quit() const { return quit_; }

    std::string Prompt(const std::string& host) {
        std::string cwd;
        if (!connection_.Exchange("pwd", cwd)) return host + "> ";
        if (!cwd.empty() && cwd.back() == '\n') cwd.pop_back();
        return host + ":" + cwd + "> ";
    }

private:
    Connection& connection_;
    bool quit_ = false;
};

bool CheckSignature(Connection& connection, bool fatal) {
    std::string reply;
    if (!connection.Exchange(std::string("md5chk ") + KNO_LoadedDefsMD5Sum(), reply)) return false;
    if (reply.empty()) return true;
    while (!reply.empty() && reply.back() == '\n') reply.pop_back();
    fprintf(stderr, "Error: %s: %s\n", fatal ? "error" : "warning", reply.c_str());
    return !fatal;
}

} // namespace

int RunRemote(const std::string& host, const std::vector<std::string>& lines, bool sigMismatchFatal) {
    Connection connection;
    if (!connection.Open(host)) return 2;
    if (!CheckSignature(connection, sigMismatchFatal)) return 1;
    Client client(connection);
    int result = 0;
    auto run = [&](const std::string& line) {
        int rc = client.Run(line);
        if (rc) result = rc < 0 ? 2 : rc;
        return rc >= 0 && !client.Quit();
    };
    if (!lines.empty()) {
        for (const std::string& line : lines)
            if (!run(line)) break;
        return result;
    }
    if (!isatty(STDIN_FILENO)) {
        for (std::string line; std::getline(std::cin, line);)
            if (!run(line)) break;
        return result;
    }
    rl_bind_key('\t', rl_insert);  // the tree is remote: no completion
    for (;;) {
        std::unique_ptr<char, decltype(&free)> line(readline(client.Prompt(host).c_str()), &free);
        if (!line) {
            fputc('\n', stdout);
            break;
        }
        if (*line) add_history(line.get());
        if (!run(line.get())) break;
    }
    return 0;
}

} // namespace KnoshFrontend
