// Requests to the knosh daemon on the sample tree, served by
// KNOSH_ServeClient over a socket pair: each input line is one request
// (one record of a SOCK_SEQPACKET pair), then the client closes. A thread
// reads the replies away, as a client would. The shell must be back at its
// root with its options as they were after each input.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "fuzz/private_root.h"
#include "tarn/knosh.h"

namespace {

std::string sampleTree, treeFile;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    sampleTree = ReadWhole(TARN_SAMPLE_TREE);
    treeFile = TarnFuzz::WriteRooted("/trees/sample.json", sampleTree);
    options.cacheFile = treeFile.c_str();
    options.logLevel = -1;
    return KNOSH_Init();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ReadWhole(treeFile) != sampleTree) {  // replaced whole, as a set does, so the shell reloads it
        TarnFuzz::WriteRooted("/trees/new.json", sampleTree);
        std::filesystem::rename(TarnFuzz::PrivateRoot() + "/trees/new.json", treeFile);
    }
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
