#include "fleet_keys.h"

#include <cctype>
#include <stdexcept>

namespace TarnFleet {

namespace {
constexpr size_t kMaxName = 64;
constexpr size_t kMaxPrefix = 256;
} // namespace

std::string NameProblem(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name.size() > kMaxName) return "is longer than " + std::to_string(kMaxName) + " bytes";
    if (name[0] == '.') return "starts with '.'";
    for (unsigned char c : name)
        if (!(std::isalnum(c) && c < 0x80) && c != '.' && c != '_' && c != '-')
            return "holds a byte other than letters, digits, '.', '_' and '-'";
    return "";
}

std::string PrefixProblem(const std::string& prefix) {
    if (prefix.empty() || prefix[0] != '/') return "does not start with '/'";
    if (prefix.size() > 1 && prefix.back() == '/') return "ends with '/'";
    if (prefix.size() > kMaxPrefix) return "is longer than " + std::to_string(kMaxPrefix) + " bytes";
    for (unsigned char c : prefix)
        if (c < 0x20 || c == 0x7f) return "holds a NUL or control byte";
    return "";
}

FleetKeys::FleetKeys(std::string prefix, std::string fleet) : m_fleet(std::move(fleet)) {
    if (const std::string p = PrefixProblem(prefix); !p.empty())
        throw std::invalid_argument("the key prefix '" + prefix + "' " + p);
    if (const std::string p = NameProblem(m_fleet); !p.empty())
        throw std::invalid_argument("the fleet name '" + m_fleet + "' " + p);
    m_base = (prefix == "/" ? "" : prefix) + "/" + m_fleet + "/";
}

std::string FleetKeys::HostKey(const std::string& host, const char* leaf) const {
    if (const std::string p = NameProblem(host); !p.empty())
        throw std::invalid_argument("the host name '" + host + "' " + p);
    return HostsPrefix() + host + "/" + leaf;
}

bool FleetKeys::SplitHostKey(const std::string& key, std::string* host, std::string* leaf) const {
    const std::string hosts = HostsPrefix();
    if (key.compare(0, hosts.size(), hosts) != 0) return false;
    const size_t slash = key.find('/', hosts.size());
    if (slash == std::string::npos) return false;
    *host = key.substr(hosts.size(), slash - hosts.size());
    *leaf = key.substr(slash + 1);
    return NameProblem(*host).empty() && leaf->find('/') == std::string::npos;
}

} // namespace TarnFleet
