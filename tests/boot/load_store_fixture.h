// A host ready for a store load: a kernel-info tree with the boot nodes and
// the system-alert node, a store whose previous boot recorded the same boot
// file system (so a load is a normal boot), and registered schemas.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/boot_tree.h"
#include "support/test_support.h"
#include "tarn/boot.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/schema_store.h"
#include "tarn/store_tables.h"

namespace LoadStoreTest {

using BootTreeTest::RunSql;
using BootTreeTest::StoredKey;
using BootTreeTest::WriteKey;

inline constexpr char kUuid[] = "5f3c9a2e-77a1-4c1e-9d0b-1f6e2a4b8c3d";
inline constexpr char kModuleDir[] = "/usr/lib/halden/configmanager/upgrade/lib";

inline void WriteTree(const std::string& cmdLine, bool withAlertNode = true) {
    const std::string alertNode =
        withAlertNode ? R"(, {"id": 5, "name": "sysAlert", "parent": 1, "leaf": true, "set": {"action": "alert"}})"
                      : "";
    KNO_Reset();
    TarnTest::WriteFile(KNO_LiveTreePath(), R"({"signature": {"buildDate": "2024-03-14 09:26:53"}, "types": [
      {"name": "char", "kind": "base", "size": 1, "display": "%s"},
      {"name": "CmdLineText", "kind": "array", "element": "char", "count": 4096},
      {"name": "MacText", "kind": "array", "element": "char", "count": 24},
      {"name": "UuidText", "kind": "array", "element": "char", "count": 40}],
    "nodes": [{"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0},
      {"id": 2, "name": "bootCmdLine", "parent": 1, "leaf": true, "get": "CmdLineText"},
      {"id": 3, "name": "bootMAC", "parent": 1, "leaf": true, "get": "MacText"},
      {"id": 4, "name": "bootFsUUID", "parent": 1, "leaf": true, "get": "UuidText"})" +
                                                 alertNode + R"(],
    "values": [{"node": 2, "value": )" + BootTreeTest::Quoted(cmdLine) +
                                                 R"(}, {"node": 4, "value": ")" + kUuid + R"("}]})");
}

inline std::string Store() { return TarnTest::Rooted(TarnConfigStore::CONFIG_STORE_PATH); }

// Component, group, name, user, desired and success of every Config row.
inline std::vector<std::string> ConfigRows() {
    std::vector<std::string> rows;
    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    if (!conn) return {"<no store>"};
    auto collect = [](void* out, int n, char** values, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
    };
    DBStore::ExecuteV2(conn,
                       "SELECT Component||'/'||ConfigGroup||'/'||Name, UserValue, DesiredValue, Success FROM Config "
                       "ORDER BY 1;",
                       collect, &rows, 3000);
    return rows;
}

inline std::vector<std::string> Texts(const std::vector<TarnPlatform::CapturedLine>& lines, int priority = -1) {
    std::vector<std::string> texts;
    for (const auto& l : lines)
        if (priority < 0 || l.priority == priority) texts.push_back(l.text);
    return texts;
}

inline bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

inline std::string ExampleModule() { return TARN_EXAMPLE_UPGRADE_MODULE; }

class LoadStoreHost : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("TARN_EXAMPLE_UPGRADE");
        WriteTree("runweasel");
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        WriteKey("BOOT_FS_UUID", kUuid);
        Register(R"({"component": "network", "group": "dns", "key": "servers", "version": "1.0",
                    "dspIntegrated": true, "schema": {"type": "object"}})");
        Register(R"({"component": "system", "group": "runtime", "key": "uptime", "version": "1.0",
                    "noRestore": true, "schema": {"type": "object"}})");
        Register(R"({"component": "sample", "group": "ntp", "key": "files", "version": "1.0",
                    "file": {"enabled": true, "category": "config", "path": "/etc/sample/ntp.conf"}})");
        RunSql(Store(), R"(INSERT INTO Config(Component, ConfigGroup, Name, UserValue, DesiredValue, Success) VALUES
            ('network', 'dns', 'servers', '{"a":1}', '{"a":2}', 1),
            ('system', 'runtime', 'uptime', NULL, '{"s":5}', 0),
            ('legacy', 'tuning', 'knobs', '{"fast":true}', NULL, 1);)");
    }
    void TearDown() override {
        unsetenv("TARN_EXAMPLE_UPGRADE");
        KNO_Reset();
    }

    static void Register(const std::string& entry) {
        rapidjson::Document doc;
        doc.Parse(entry);
        TarnSchemaStore::SetSchema("loadtest", doc["component"].GetString(), doc["group"].GetString(),
                                   doc["key"].GetString(), entry, TarnSchemaStore::SchemaStore::GetStore(), false);
    }

    // Makes this boot an upgrade: the previous boot ran another boot file system.
    static void MakeUpgradeBoot() {
        WriteKey("BOOT_FS_UUID", "0ld-uu1d");
        std::filesystem::create_directories(TarnTest::Rooted(kModuleDir));
        std::filesystem::create_directories(TarnTest::Rooted("/tmp"));
    }
};

} // namespace LoadStoreTest
