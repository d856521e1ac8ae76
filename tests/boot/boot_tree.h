// A live kernel-info tree holding what a boot reads: the boot command line,
// the boot NIC's MAC address and the boot file system's UUID, and the store
// databases beside it. For the tests of boot detection and boot records.
#pragma once

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/store_tables.h"

namespace BootTreeTest {

inline const std::string kUuid = "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d";

using TarnTest::Thrown;

// Progress lines (priority 2) with the texts.
inline std::vector<TarnPlatform::CapturedLine> Progress(const std::vector<std::string>& texts) {
    std::vector<TarnPlatform::CapturedLine> lines;
    for (const auto& text : texts) lines.push_back({2, text});
    return lines;
}

struct BootInfo {
    std::string cmdLine = "runweasel";
    std::string mac;  // empty: not a network boot
    std::string uuid = kUuid;
    bool withCmdLine = true, withMac = true, withUuid = true, withAlert = true;
    bool signatureMatches = true;
};

inline std::string TreeText(const BootInfo& info) {
    std::string nodes = R"({"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0})", values;
    auto leaf = [&](bool present, int id, const char* name, const char* type, const std::string& value) {
        if (!present) return;
        nodes += ", {\"id\": " + std::to_string(id) + ", \"name\": \"" + name +
                 "\", \"parent\": 1, \"leaf\": true, \"get\": \"" + type + "\"}";
        if (value.empty()) return;  // never stored reads as zeros: the empty text
        values += std::string(values.empty() ? "" : ", ") + "{\"node\": " + std::to_string(id) + ", \"value\": \"" + value + "\"}";
    };
    leaf(info.withCmdLine, 2, "bootCmdLine", "CmdLineText", info.cmdLine);
    leaf(info.withMac, 3, "bootMAC", "MacText", info.mac);
    leaf(info.withUuid, 4, "bootFsUUID", "UuidText", info.uuid);
    if (info.withAlert) nodes += R"(, {"id": 5, "name": "sysAlert", "parent": 1, "leaf": true, "set": {"action": "alert"}})";
    return std::string(R"({"signature": {"buildDate": "2024-03-14 09:26:53")") +
           (info.signatureMatches ? "" : R"(, "md5": "00000000000000000000000000000000")") + R"(}, "types": [
      {"name": "char", "kind": "base", "size": 1, "display": "%s"},
      {"name": "CmdLineText", "kind": "array", "element": "char", "count": 4096},
      {"name": "MacText", "kind": "array", "element": "char", "count": 24},
      {"name": "UuidText", "kind": "array", "element": "char", "count": 40}],
    "nodes": [)" + nodes + R"(], "values": [)" + values + "]}";
}

// Makes info the live tree; the next kernel-info call reads it.
inline void WriteBootTree(const BootInfo& info) {
    KNO_Reset();
    TarnTest::WriteFile(KNO_LiveTreePath(), TreeText(info));
}

// Runs statements on a store database of the host root outside the library.
inline void RunSql(const std::string& path, const std::string& sql) { TarnTest::Query(path, sql); }

inline void WriteKey(const std::string& key, const std::string& value) {
    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    ASSERT_TRUE(conn);
    ASSERT_EQ(DBStore::WriteKeyValue(key, value, conn), 0);
}

// The stored text of a key, "<unset>" when the key was never written.
inline std::string StoredKey(const std::string& key) {
    auto rows = TarnTest::Query(TarnTest::Rooted(TarnConfigStore::CONFIG_STORE_PATH),
                                "SELECT Value FROM KVTable WHERE Key = " + TarnPlatform::SqlQuote(key) + ";");
    return rows.empty() ? "<unset>" : rows[0];
}

// A host with the sample boot and an empty store; each test adjusts them.
class BootHost : public testing::Test {
protected:
    void SetUp() override {
        WriteBootTree(BootInfo{});
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
    }
    void TearDown() override { KNO_Reset(); }
};

} // namespace BootTreeTest
