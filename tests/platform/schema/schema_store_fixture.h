// Schema entries and database reads shared by the schema store tests.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/exceptions.h"
#include "tarn/platform/schema_store.h"

namespace SchemaTest {

// A multi-instance object with every flag, layers at several depths and
// fixed instances.
inline const char kPortgroups[] = R"({
  "component": "netd", "group": "network", "key": "portgroups",
  "version": "2.1",
  "idField": "name",
  "kind": "fixed-instances",
  "fixedInstances": ["Management Network", "vMotion"],
  "mutableDefaultConfig": true, "dspIntegrated": true, "preserveNonUser": true, "noRestore": true,
  "schemaType": "extension",
  "datafiles": ["pg-cert", "pg-key"],
  "smartnic": {"schema": "tarn-shared"},
  "schema": {
    "type": "object",
    "properties": {
      "name": {"type": "string"},
      "vlan": {"type": "integer", "minimum": 0, "maximum": 4095},
      "mac": {"type": "string", "vital": true},
      "stats": {"type": "object", "cached": true, "properties": {"rx": {"type": "integer"}}},
      "uplinks": {"type": "array", "items": {"type": "object", "properties": {
        "nic": {"type": "string", "instanceId": true},
        "speed": {"type": "integer", "cached": true},
        "active": {"type": "boolean"}}}}
    },
    "required": ["vlan", "mac"]
  }
})";

inline const char kVswitch[] = R"({
  "component": "netd", "group": "network", "key": "vswitch", "version": "1.0",
  "schema": {"type": "object", "properties": {"mtu": {"type": "integer"}}}
})";

inline const char kGenerated[] = R"({
  "component": "netd", "group": "routes", "key": "route", "version": "1.0",
  "idField": "cs_generated_id", "mutableDefaultConfig": true,
  "schema": {"type": "object", "properties": {"gateway": {"type": "string"}}}
})";

inline std::string FilesEntry(const std::string& group, const std::string& category, const std::string& path) {
    return R"({"component": "netd", "group": ")" + group + R"(", "key": "files", "version": "1.0",
               "file": {"category": ")" + category + R"(", "path": ")" + path + R"("}})";
}

// Rows of a query on the schema store database, each column as text
// ("NULL" for null).
inline std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* raw = nullptr;
    sqlite3_open_v2(TarnTest::Rooted("/etc/halden/schemastore/schema-store-1").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    auto onRow = [](void* out, int n, char** values, char**) {
        std::vector<std::string> row;
        for (int i = 0; i < n; ++i) row.push_back(values[i] ? values[i] : "NULL");
        static_cast<std::vector<std::vector<std::string>>*>(out)->push_back(row);
        return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), onRow, &rows, &error) != SQLITE_OK) {
        ADD_FAILURE() << sql << ": " << (error ? error : "?");
        sqlite3_free(error);
    }
    return rows;
}

// Everything the store holds, for comparisons before and after.
inline std::vector<std::vector<std::string>> Snapshot() {
    std::vector<std::vector<std::string>> all;
    for (const char* table : {"ConfigSchema", "DataFileSchema", "SmartnicSchema", "SchemaObjectKind", "SchemaFile"}) {
        all.push_back({table});
        for (auto& row : Rows(std::string("SELECT * FROM ") + table + " ORDER BY 1;")) all.push_back(row);
    }
    return all;
}

// Registers an entry from the file through the store.
inline int Register(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, const std::string& fileId,
                    const std::string& entry) {
    rapidjson::Document doc;
    doc.Parse(entry.c_str());
    return TarnSchemaStore::SetSchema(fileId, doc["component"].GetString(), doc["group"].GetString(),
                                      doc["key"].GetString(), entry, store, doc.HasMember("smartnic"));
}

// The message SetSchema refuses an entry for the object with ("" when it
// is accepted).
inline std::string Refusal(const std::string& fileId, const std::string& component, const std::string& group,
                           const std::string& name, const std::string& entry) {
    try {
        TarnSchemaStore::SetSchema(fileId, component, group, name, entry, TarnSchemaStore::SchemaStore::GetStore(),
                                   entry.find("\"smartnic\"") != std::string::npos);
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        return e.what();
    }
    return "";
}

} // namespace SchemaTest
