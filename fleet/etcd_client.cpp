#include "etcd_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "base64.h"
#include "tarn/rapidjson.h"
#include "tarn/rapidjson_parse.h"

namespace TarnFleet {

namespace {

constexpr long kConnectTimeoutMs = 1000;
constexpr long kRequestTimeoutMs = 5000;

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Curl = std::unique_ptr<CURL, CurlDeleter>;
using Headers = std::unique_ptr<curl_slist, SlistDeleter>;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A response body, refused past kMaxResponseBytes.
size_t Collect(char* data, size_t size, size_t count, void* target) {
    auto* body = static_cast<std::string*>(target);
    const size_t n = size * count;
    if (body->size() + n > kMaxResponseBytes) return 0;  // curl then fails the transfer
    body->append(data, n);
    return n;
}

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Bytes(Writer& w, const char* name, const std::string& bytes) {
    w.Key(name);
    w.String(EncodeBase64(bytes));
}

// The end of the range of keys that begin with prefix: the prefix with its
// last byte below 0xff raised by one ("\0" for all keys when there is none).
std::string PrefixEnd(std::string prefix) {
    while (!prefix.empty()) {
        auto& last = reinterpret_cast<unsigned char&>(prefix.back());
        if (last < 0xff) {
            ++last;
            return prefix;
        }
        prefix.pop_back();
    }
    return std::string(1, '\0');
}

void Span(Writer& w, const KeySpan& span) {
    Bytes(w, "key", span.key);
    if (span.prefix) Bytes(w, "range_end", PrefixEnd(span.key));
}

int64_t Int64Member(const rapidjson::Value& v, const char* name) {
    if (!v.IsObject()) return 0;
    const auto m = v.FindMember(name);
    if (m == v.MemberEnd()) return 0;
    if (m->value.IsInt64()) return m->value.GetInt64();
    if (m->value.IsString()) {
        try {
            return std::stoll(m->value.GetString());
        } catch (const std::exception&) {
            return 0;
        }
    }
    return 0;
}

std::string BytesMember(const rapidjson::Value& v, const char* name) {
    const auto m = v.FindMember(name);
    if (m == v.MemberEnd() || !m->value.IsString()) return "";
    auto bytes = DecodeBase64(std::string(m->value.GetString(), m->value.GetStringLength()));
    if (!bytes) throw EtcdError("etcd sent a key or value that is not base64");
    return *bytes;
}

rapidjson::Document ParseBody(const std::string& body) {
    rapidjson::Document doc;
    if (TarnJson::Parse(doc, body).IsError() || !doc.IsObject())
        throw EtcdError("etcd sent a reply that is not a JSON object");
    return doc;
}

void ReadKvs(const rapidjson::Value& response, Snapshot& out) {
    const auto kvs = response.FindMember("kvs");
    if (kvs == response.MemberEnd() || !kvs->value.IsArray()) return;
    for (const auto& kv : kvs->value.GetArray()) {
        if (!kv.IsObject()) continue;
        out.kvs.push_back({BytesMember(kv, "key"), BytesMember(kv, "value"), Int64Member(kv, "mod_revision")});
    }
}

// Whether one message of a watch stream tells of a change, or of a history
// compacted past the revision asked for, or of a watch the server ended.
bool WatchMessageSignals(const std::string& line) {
    rapidjson::Document doc;
    if (TarnJson::Parse(doc, line).IsError() || !doc.IsObject()) return true;  // unreadable: read again
    const auto result = doc.FindMember("result");
    if (result == doc.MemberEnd() || !result->value.IsObject()) return true;
    const auto& r = result->value;
    if (Int64Member(r, "compact_revision") != 0) return true;
    const auto canceled = r.FindMember("canceled");
    if (canceled != r.MemberEnd() && canceled->value.IsBool() && canceled->value.GetBool()) return true;
    const auto events = r.FindMember("events");
    return events != r.MemberEnd() && events->value.IsArray() && !events->value.Empty();
}

// A watch stream: the part of a message not yet ended, and whether a
// message signalled. The gateway ends each message with a newline.
struct WatchStream {
    std::string pending;
    bool signalled = false;
};

size_t CollectWatch(char* data, size_t size, size_t count, void* target) {
    auto* stream = static_cast<WatchStream*>(target);
    const size_t n = size * count;
    stream->pending.append(data, n);
    for (size_t end; (end = stream->pending.find('\n')) != std::string::npos;) {
        if (WatchMessageSignals(stream->pending.substr(0, end))) stream->signalled = true;
        stream->pending.erase(0, end + 1);
    }
    // Stop the transfer at the first signal, or at a message past the limit.
    if (stream->signalled || stream->pending.size() > kMaxResponseBytes) {
        stream->signalled = true;
        return 0;
    }
    return n;
}

} // namespace

std::vector<std::string> SplitEndpoints(const std::string& list) {
    std::vector<std::string> out;
    for (size_t start = 0; start <= list.size();) {
        const size_t comma = std::min(list.find(',', start), list.size());
        if (comma > start) out.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

const KeyValue* Snapshot::Find(const std::string& key) const {
    for (const KeyValue& kv : kvs)
        if (kv.key == key) return &kv;
    return nullptr;
}

struct EtcdClient::Impl {
    std::vector<std::string> endpoints;
    EtcdTls tls;
    std::chrono::milliseconds patience{0};
    size_t current = 0;  // the endpoint that answered last
    Curl handle;         // kept for its connection

    void Configure(CURL* c, const std::string& url, const std::string& body, curl_slist* headers) const {
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        if (!tls.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, tls.caFile.c_str());
        if (!tls.certFile.empty()) curl_easy_setopt(c, CURLOPT_SSLCERT, tls.certFile.c_str());
        if (!tls.keyFile.empty()) curl_easy_setopt(c, CURLOPT_SSLKEY, tls.keyFile.c_str());
    }

    // POSTs body to path on the endpoints in turn from the one that answered
    // last; the parsed reply of the first that takes it.
    rapidjson::Document Call(const std::string& path, const std::string& body) {
        const auto end = std::chrono::steady_clock::now() + patience;
        for (;;) {
            std::string problems;
            if (auto reply = CallOnce(path, body, problems)) return std::move(*reply);
            if (std::chrono::steady_clock::now() >= end) throw EtcdError("etcd " + path + " failed: " + problems);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    // Each endpoint once; nullopt with the problems when none took it.
    std::optional<rapidjson::Document> CallOnce(const std::string& path, const std::string& body,
                                                std::string& problems) {
        Headers headers(curl_slist_append(nullptr, "Content-Type: application/json"));
        for (size_t tried = 0; tried < endpoints.size(); ++tried) {
            const size_t index = (current + tried) % endpoints.size();
            if (!handle) handle.reset(curl_easy_init());
            CURL* c = handle.get();
            curl_easy_reset(c);
            std::string reply;
            Configure(c, endpoints[index] + path, body, headers.get());
            curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, kRequestTimeoutMs);
            curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
            curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply);
            const CURLcode rc = curl_easy_perform(c);
            long status = 0;
            curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
            if (rc == CURLE_OK && status == 200) {
                current = index;
                return ParseBody(reply);
            }
            problems += (problems.empty() ? "" : "; ") + endpoints[index] + ": ";
            if (rc != CURLE_OK) problems += curl_easy_strerror(rc);
            else problems += "HTTP " + std::to_string(status) + " " + reply.substr(0, 200);
            // A request the cluster refuses as such (not a member's trouble)
            // fails the same everywhere, and again.
            if (rc == CURLE_OK && status >= 400 && status < 500) throw EtcdError("etcd " + path + " failed: " + problems);
        }
        return std::nullopt;
    }
};

EtcdClient::EtcdClient(std::vector<std::string> endpoints, EtcdTls tls, std::chrono::milliseconds patience)
    : m_impl(new Impl) {
    InitCurlOnce();
    if (endpoints.empty()) throw EtcdError("no etcd endpoint given");
    for (std::string& e : endpoints)
        while (!e.empty() && e.back() == '/') e.pop_back();
    m_impl->endpoints = std::move(endpoints);
    m_impl->tls = std::move(tls);
    m_impl->patience = patience;
}

EtcdClient::~EtcdClient() = default;

Snapshot EtcdClient::Read(const std::vector<KeySpan>& spans, int64_t revision) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("success");
    w.StartArray();
    for (const KeySpan& span : spans) {
        w.StartObject();
        w.Key("request_range");
        w.StartObject();
        Span(w, span);
        if (span.keysOnly) {
            w.Key("keys_only");
            w.Bool(true);
        }
        if (revision != 0) {
            w.Key("revision");
            w.String(std::to_string(revision));
        }
        w.EndObject();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    const rapidjson::Document reply = m_impl->Call("/v3/kv/txn", buffer.GetString());
    Snapshot out;
    const auto header = reply.FindMember("header");
    if (header != reply.MemberEnd()) out.revision = Int64Member(header->value, "revision");
    const auto responses = reply.FindMember("responses");
    if (responses == reply.MemberEnd() || !responses->value.IsArray()) return out;
    for (const auto& r : responses->value.GetArray()) {
        if (!r.IsObject()) continue;
        const auto range = r.FindMember("response_range");
        if (range != r.MemberEnd() && range->value.IsObject()) ReadKvs(range->value, out);
    }
    return out;
}

int64_t EtcdClient::Write(const std::vector<std::pair<std::string, std::string>>& puts,
                          const std::vector<std::string>& deletes, int64_t lease) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("success");
    w.StartArray();
    for (const auto& [key, value] : puts) {
        w.StartObject();
        w.Key("request_put");
        w.StartObject();
        Bytes(w, "key", key);
        Bytes(w, "value", value);
        if (lease != 0) {
            w.Key("lease");
            w.String(std::to_string(lease));
        }
        w.EndObject();
        w.EndObject();
    }
    for (const std::string& key : deletes) {
        w.StartObject();
        w.Key("request_delete_range");
        w.StartObject();
        Bytes(w, "key", key);
        w.EndObject();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    const rapidjson::Document reply = m_impl->Call("/v3/kv/txn", buffer.GetString());
    const auto header = reply.FindMember("header");
    return header == reply.MemberEnd() ? 0 : Int64Member(header->value, "revision");
}

int64_t EtcdClient::GrantLease(int ttlSeconds) {
    const rapidjson::Document reply = m_impl->Call("/v3/lease/grant", "{\"TTL\":" + std::to_string(ttlSeconds) + "}");
    const int64_t id = Int64Member(reply, "ID");
    if (id == 0) throw EtcdError("etcd granted no lease");
    return id;
}

bool EtcdClient::KeepAlive(int64_t lease) {
    const rapidjson::Document reply =
        m_impl->Call("/v3/lease/keepalive", "{\"ID\":\"" + std::to_string(lease) + "\"}");
    const auto result = reply.FindMember("result");
    return result != reply.MemberEnd() && Int64Member(result->value, "TTL") > 0;
}

void EtcdClient::RevokeLease(int64_t lease) {
    m_impl->Call("/v3/lease/revoke", "{\"ID\":\"" + std::to_string(lease) + "\"}");
}

bool EtcdClient::WaitForChange(const std::vector<KeySpan>& spans, int64_t after, std::chrono::milliseconds timeout) {
    // One stream carries a watch per span: the gateway takes the create
    // requests one after the other from the request body. The stream ends at
    // the timeout, which is how a quiet watch returns.
    rapidjson::StringBuffer buffer;
    for (const KeySpan& span : spans) {
        Writer w(buffer);
        w.StartObject();
        w.Key("create_request");
        w.StartObject();
        Span(w, span);
        w.Key("start_revision");
        w.String(std::to_string(after + 1));
        w.EndObject();
        w.EndObject();
    }
    const std::string body = buffer.GetString();
    const std::string url = m_impl->endpoints[m_impl->current] + "/v3/watch";
    Curl handle(curl_easy_init());
    Headers headers(curl_slist_append(nullptr, "Content-Type: application/json"));
    WatchStream stream;
    m_impl->Configure(handle.get(), url, body, headers.get());
    curl_easy_setopt(handle.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, CollectWatch);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &stream);
    const CURLcode rc = curl_easy_perform(handle.get());
    if (stream.signalled || (!stream.pending.empty() && WatchMessageSignals(stream.pending))) return true;
    if (rc == CURLE_OPERATION_TIMEDOUT) return false;
    // A stream that ended otherwise is an endpoint in trouble: the next call
    // tries the next one, and the caller reads again.
    m_impl->current = (m_impl->current + 1) % m_impl->endpoints.size();
    throw EtcdError("etcd watch on " + url + " ended early: " + curl_easy_strerror(rc));
}

} // namespace TarnFleet
