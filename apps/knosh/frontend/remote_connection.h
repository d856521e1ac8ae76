// The client's end of a connection to the knosh daemon: one request sent
// whole, its text-mode reply read up to "<EOM>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace KnoshFrontend {

// The daemon takes one receive of at most this as one request: a longer
// request would be taken for several.
constexpr size_t kRequestSize = 4096;

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Connects to port of host; false (reported) when no address answers.
    bool Open(const std::string& host, uint16_t port);

    // Sends the request and returns the reply without "<EOM>"; false
    // (reported) when the connection fails or closes first.
    bool Exchange(const std::string& request, std::string& reply);

private:
    int fd_ = -1;
};

} // namespace KnoshFrontend
