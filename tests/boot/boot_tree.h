// A live kernel-info tree holding what a boot reads: the boot command line,
// the boot NIC's MAC address and the boot file system's UUID, and the store
// databases beside it. For the tests of boot detection and boot records.
#pragma once

#include <memory>
#include <sqlite3.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"

namespace BootTreeTest {

struct BootInfo {
    std::string cmdLine = "runweasel";
    std::string mac;  // empty: not a network boot
    std::string uuid = "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d";
    bool withCmdLine = true, withMac = true, withUuid = true;
    bool signatureMatches = true;
};

inline std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\t') {
            out += "\\t";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

inline std::string TreeText(const BootInfo& info) {
    std::string nodes = R"({"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0})";
    std::string values;
    auto leaf = [&](bool present, int id, const char* name, const char* type, const std::string& value) {
        if (!present) return;
        nodes += ", {\"id\": " + std::to_string(id) + ", \"name\": \"" + name +
                 "\", \"parent\": 1, \"leaf\": true, \"get\": \"" + type + "\"}";
        if (value.empty()) return;  // never stored reads as zeros: the empty text
        if (!values.empty()) values += ", ";
        values += "{\"node\": " + std::to_string(id) + ", \"value\": " + Quoted(value) + "}";
    };
    leaf(info.withCmdLine, 2, "bootCmdLine", "CmdLineText", info.cmdLine);
    leaf(info.withMac, 3, "bootMAC", "MacText", info.mac);
    leaf(info.withUuid, 4, "bootFsUUID", "UuidText", info.uuid);
    const std::string signature = info.signatureMatches
                                      ? R"({"buildDate": "2024-03-14 09:26:53"})"
                                      : R"({"buildDate": "2024-03-14 09:26:53", "md5": "00000000000000000000000000000000"})";
    return R"({"signature": )" + signature + R"(, "types": [
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
inline void RunSql(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
    char* error = nullptr;
    int rc = sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << " in " << sql;
    sqlite3_free(error);
}

inline void WriteKey(const std::string& key, const std::string& value) {
    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    ASSERT_TRUE(conn);
    ASSERT_EQ(DBStore::WriteKeyValue(key, value, conn), 0);
}

// The stored text of a key, "<unset>" when the key was never written.
inline std::string StoredKey(const std::string& key) {
    std::string value = "<unset>";
    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    if (!conn) return "<no store>";
    auto copy = [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "<null>";
        return 0;
    };
    std::string escaped;
    for (char c : key) escaped += c == '\'' ? std::string("''") : std::string(1, c);
    DBStore::ExecuteV2(conn, "SELECT Value FROM KVTable WHERE Key = '" + escaped + "';", copy, &value, 3000);
    return value;
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
