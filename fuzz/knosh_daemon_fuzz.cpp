// Requests to the knosh daemon on the sample tree, served by
// KNOSH_ServeClient over a socket pair: each input line is one request
// (one record of a SOCK_SEQPACKET pair), then the client closes. A thread
// reads the replies away, as a client would. The shell must be back at its
// root with its options as they were after each input.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <thread>

#include "fuzz/sample_tree.h"

namespace {
TarnFuzz::SampleTree sample;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return sample.Init(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sample.Restore();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair) != 0) __builtin_trap();
    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) send(pair[1], line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(pair[1], SHUT_WR);
    std::thread reader([fd = pair[1]] {
        char buffer[65536];
        while (recv(fd, buffer, sizeof buffer, 0) > 0) {}
    });
    KNOSH_ServeClient(pair[0]);
    reader.join();
    close(pair[1]);
    if (options.daemonMode || options.logLevel != -1 || strcmp(knoshPrompt, "/> ") != 0) __builtin_trap();
    TarnFuzz::EmptyLogs();
    return 0;
}
