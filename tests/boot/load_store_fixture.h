// A host ready for a store load: a kernel-info tree with the boot nodes and
// the system-alert node, a store whose previous boot recorded the same boot
// file system (so a load is a normal boot), and registered schemas.
#pragma once

#include <algorithm>
#include <filesystem>

#include <gmock/gmock.h>

#include "boot/boot_tree.h"
#include "tarn/boot.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/schema_store.h"

namespace LoadStoreTest {

using BootTreeTest::kUuid;
using BootTreeTest::RunSql;
using BootTreeTest::StoredKey;
using BootTreeTest::WriteKey;
using TarnTest::Texts;
inline constexpr char kModuleDir[] = "/usr/lib/halden/configmanager/upgrade/lib";

inline void WriteTree(const std::string& cmdLine, bool withAlertNode = true) {
    BootTreeTest::BootInfo info;
    info.cmdLine = cmdLine;
    info.withAlert = withAlertNode;
    BootTreeTest::WriteBootTree(info);
}

inline std::string Store() { return TarnTest::Rooted(TarnConfigStore::CONFIG_STORE_PATH); }

// Component, group, name, user, desired and success of every Config row.
inline std::vector<std::string> ConfigRows() {
    return TarnTest::Query(Store(), "SELECT Component||'/'||ConfigGroup||'/'||Name, UserValue, DesiredValue, Success "
                                    "FROM Config ORDER BY 1;");
}

inline bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class LoadStoreHost : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("TARN_EXAMPLE_UPGRADE");
        WriteTree("runweasel");
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        WriteKey("BOOT_FS_UUID", kUuid);
        Register("network", "dns", "servers", R"("dspIntegrated": true, "schema": {"type": "object"})");
        Register("system", "runtime", "uptime", R"("noRestore": true, "schema": {"type": "object"})");
        Register("sample", "ntp", "files", R"("file": {"enabled": true, "category": "config", "path": "/etc/sample/ntp.conf"})");
        RunSql(Store(), R"(INSERT INTO Config(Component, ConfigGroup, Name, UserValue, DesiredValue, Success) VALUES
            ('network', 'dns', 'servers', '{"a":1}', '{"a":2}', 1),
            ('system', 'runtime', 'uptime', NULL, '{"s":5}', 0),
            ('legacy', 'tuning', 'knobs', '{"fast":true}', NULL, 1);)");
    }
    void TearDown() override {
        unsetenv("TARN_EXAMPLE_UPGRADE");
        KNO_Reset();
    }

    static void Register(const std::string& c, const std::string& g, const std::string& k, const std::string& more) {
        const std::string entry = R"({"component": ")" + c + R"(", "group": ")" + g + R"(", "key": ")" + k +
                                  R"(", "version": "1.0", )" + more + "}";
        TarnSchemaStore::SetSchema("loadtest", c, g, k, entry, TarnSchemaStore::SchemaStore::GetStore(),
                                   more.find("\"smartnic\"") != std::string::npos);
    }

    // The image database's profile, listing the installed crates.
    static void WriteImageProfile(const std::vector<std::string>& crateIds) {
        std::string xml = "<imageprofile><cratelist>";
        for (const std::string& id : crateIds) xml += "<crate><crate-id>" + id + "</crate-id></crate>";
        TarnTest::WriteFile(TarnTest::Rooted("/var/db/tarnimg/profiles/p.xml"), xml + "</cratelist></imageprofile>");
    }

    // Makes this boot an upgrade: the previous boot ran another boot file
    // system, so the boot also registers schema files (the fixture's file is
    // registered already and not read again).
    static void MakeUpgradeBoot() {
        WriteImageProfile({});
        TarnTest::WriteFile(TarnTest::Rooted("/usr/lib/halden/configmanager/schemas/loadtest.json"), "");
        std::filesystem::create_directories(TarnTest::Rooted("/etc/halden/default-config"));
        WriteKey("BOOT_FS_UUID", "0ld-uu1d");
        std::filesystem::create_directories(TarnTest::Rooted(kModuleDir));
        std::filesystem::create_directories(TarnTest::Rooted("/tmp"));
    }
};

} // namespace LoadStoreTest
