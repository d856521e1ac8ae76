// A client of etcd v3 through its JSON gateway (POST /v3/...), over libcurl.
// It tries the cluster's endpoints in turn, so a member that is down or lost
// its leadership costs one retry, not the request.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace TarnFleet {

// Client certificates for a cluster that requires TLS; empty members are not used.
struct EtcdTls {
    std::string caFile;
    std::string certFile;
    std::string keyFile;
};

struct KeyValue {
    std::string key;
    std::string value;
    int64_t modRevision = 0;
};

// No endpoint answered, or every one that did refused the request.
class EtcdError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A key, or with prefix every key that begins with it; keysOnly reads
// their names and revisions without their values.
struct KeySpan {
    std::string key;
    bool prefix = false;
    bool keysOnly = false;
};

// The keys read at one revision of the store.
struct Snapshot {
    int64_t revision = 0;
    std::vector<KeyValue> kvs;
    const KeyValue* Find(const std::string& key) const;
};

class EtcdClient {
public:
    // endpoints: URLs such as http://127.0.0.1:2379 (https with tls).
    // patience: how long a request goes on trying the endpoints in turn
    // while none takes it (a member down, an election under way); 0 tries
    // each once, for a caller that has its own pauses.
    explicit EtcdClient(std::vector<std::string> endpoints, EtcdTls tls = {},
                        std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    ~EtcdClient();
    EtcdClient(const EtcdClient&) = delete;
    EtcdClient& operator=(const EtcdClient&) = delete;

    // Every span read in one transaction, so at one revision: the newest,
    // or `revision` when not 0 (an older one etcd has not compacted yet).
    Snapshot Read(const std::vector<KeySpan>& spans, int64_t revision = 0);
    // Stores the puts and removes the deletes in one transaction; returns
    // the revision it made. lease 0: the keys outlive the writer.
    int64_t Write(const std::vector<std::pair<std::string, std::string>>& puts,
                  const std::vector<std::string>& deletes = {}, int64_t lease = 0);

    // A lease of ttl seconds; the keys written with it go when it expires.
    int64_t GrantLease(int ttlSeconds);
    // Renews it; false when it has already expired.
    bool KeepAlive(int64_t lease);
    void RevokeLease(int64_t lease);

    // Waits up to timeout for a change of a span after revision `after`.
    // True when one came (or the history since `after` was compacted, so a
    // change may have been missed): the caller reads again.
    bool WaitForChange(const std::vector<KeySpan>& spans, int64_t after, std::chrono::milliseconds timeout);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The endpoints of a command line's "URL[,URL...]", empty ones left out.
std::vector<std::string> SplitEndpoints(const std::string& list);

// The largest response body taken from the cluster: etcd refuses requests
// over 1.5 MiB, so a value is below that, and base64 makes it 4/3 larger.
constexpr size_t kMaxResponseBytes = 16u << 20;

} // namespace TarnFleet
