// What a fleet agent and the operator's tool take from etcd, which anyone
// who can write there controls: the host's document texts (fleet or pinned
// document and overlay, split at the first NUL byte), a status, a base64
// key or value, and a key below the hosts' prefix. None may crash, hang or
// grow without bound.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fleet_document.h"
#include "fleet_keys.h"
#include "host_status.h"
#include "base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string base = input.substr(0, split);
    const std::optional<std::string> overlay =
        split == std::string::npos ? std::nullopt : std::optional<std::string>(input.substr(split + 1));
    std::vector<TarnFleet::DocumentError> errors;
    if (auto merged = TarnFleet::MergeHostDocument(base, overlay, errors)) {
        if (!merged->IsObject() || !merged->HasMember("profile")) __builtin_trap();
    } else if (errors.empty()) {
        __builtin_trap();  // a refusal always says why
    }
    if (auto status = TarnFleet::StatusFromJson(input)) {
        // What was read writes back to a status that reads the same.
        const std::string again = TarnFleet::StatusToJson(*status);
        if (!TarnFleet::StatusFromJson(again) || TarnFleet::StatusToJson(*TarnFleet::StatusFromJson(again)) != again)
            __builtin_trap();
    }
    if (auto bytes = TarnFleet::DecodeBase64(input))
        if (TarnFleet::EncodeBase64(*bytes) != input) __builtin_trap();
    const TarnFleet::FleetKeys keys("/tarn-fleet", "lab");
    std::string host, leaf;
    if (keys.SplitHostKey(keys.HostsPrefix() + input, &host, &leaf) && !TarnFleet::NameProblem(host).empty())
        __builtin_trap();
    return 0;
}
