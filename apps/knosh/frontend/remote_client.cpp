// knosh --connect: a client of the daemon's text protocol that prints what
// the local shell prints for the same line. Every line is one request and
// its reply everything up to "<EOM>". The reply carries no status: the
// status is read from the error messages that end it. Values come as raw
// bytes and are printed here (remote_values.cpp).
#include "remote_client.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include <readline/history.h>
#include <readline/readline.h>

#include "remote_connection.h"
#include "remote_reply.h"
#include "remote_values.h"
#include "tarn/knosh.h"
#include "tarn/platform/kno/kno_tree.h"

namespace KnoshFrontend {

namespace {

// The words of line as the shell splits them; false for a quote left open.
bool SplitWords(const std::string& line, std::vector<std::string>& words) {
    const char* start = nullptr;
    const char* end = nullptr;
    for (const char* p = line.c_str(); (p = KNOSHParseArgument(p, &start, &end));) {
        if (!end) return false;
        words.emplace_back(start, end);
    }
    return true;
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
        std::vector<std::string> words;
        const bool split = SplitWords(line, words);
        int status = 0;
        if (!split || !RunValueCommand(connection_, line, words, status)) {
            std::string text;
            if (!connection_.Exchange(line, text)) return -1;
            const Reply reply = DecodeReply(text);
            fwrite(reply.output.data(), 1, reply.output.size(), stdout);
            status = PrintErrors(reply);
        }
        if (split && !words.empty() && (words[0] == "exit" || words[0] == "quit" || words[0] == "q")) quit_ = true;
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

int RunRemote(const std::string& host, uint16_t port, const std::vector<std::string>& lines) {
    Connection connection;
    if (!connection.Open(host, port)) return 2;
    if (!CheckSignature(connection, options.sigMismatchFatal)) return 1;
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
