// The store the desired-configuration targets work on: a configuration store
// with schema objects of each shape a document can name, default rows and
// configuration rows.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/private_root.h"
#include "tarn/db_connection.h"
#include "tarn/platform/schema_store.h"

namespace TarnFuzz {

// Instances with an identifier member, a singleton, generated identifiers,
// fixed instances with defaults, and an object no user may set; all of
// component "fz".
inline constexpr const char* kDesiredEntries[][3] = {
    {"net", "switches", R"("idField": "name", "mutableDefaultConfig": true, "dspIntegrated": true, "schema": {"type":
      "object", "properties": {"name": {"type": "string"}, "id": {"type": "string", "vital": true}}})"},
    {"net", "dns", R"("schema": {"type": "object", "properties": {"s": {"type": "array", "items": {"type": "string"}}}})"},
    {"net", "routes", R"("idField": "cs_generated_id", "schema": {"type": "object", "properties": {"n": {}}})"},
    {"net", "nics", R"("idField": "dev", "kind": "fixed-instances", "fixedInstances": ["n0", "n'1"],
      "mutableDefaultConfig": true, "schema": {"type": "object", "properties": {"dev": {"type": "string"}}})"},
    {"rt", "uptime", R"("kind": "internal", "schema": {"type": "object"})"},
};

// Makes the store once; the connection stays open for the run.
inline std::shared_ptr<DBStore::StoreConnection> SetupDesiredSchemas() {
    PrivateRoot();
    if (DBStore::CreateDatabases() != 0) std::abort();
    const auto store = TarnSchemaStore::SchemaStore::GetStore();
    for (const auto& e : kDesiredEntries) {
        const std::string entry = std::string(R"({"component": "fz", "group": ")") + e[0] + R"(", "key": ")" + e[1] +
                                  R"(", "version": "1", )" + e[2] + "}";
        TarnSchemaStore::SetSchema("fuzz", "fz", e[0], e[1], entry, store, false);
    }
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    // Defaults to copy or leave, instances to replace, keep or delete.
    if (DBStore::ExecuteV2(conn,
                           "INSERT INTO DefaultConfig(Component, ConfigGroup, Name, Identifier, Value) VALUES "
                           "('fz', 'net', 'switches', 's0', '{}'), ('fz', 'net', 'nics', 'n0', '{}'), "
                           "('fz', 'net', 'nics', 'n''1', '{}'), ('fz', 'net', 'nics', 'n2', '{}'); "
                           "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, VitalValue, "
                           "Revision) VALUES ('fz', 'net', 'switches', 's0', '{}', '{}', 4), "
                           "('fz', 'net', 'nics', 'n0', '{}', NULL, 1);",
                           nullptr, nullptr, 3000) != 0)
        std::abort();
    return conn;
}

// The rows of the statements, each column followed by "|"; the run stops
// when they cannot be read.
inline std::string Rows(const std::shared_ptr<DBStore::StoreConnection>& conn, const char* sql) {
    std::string rows;
    auto append = [](void* ctx, int n, char** values, char**) {
        for (int i = 0; i < n; ++i) *static_cast<std::string*>(ctx) += std::string(values[i] ? values[i] : "-") + "|";
        return 0;
    };
    if (DBStore::ExecuteV2(conn, sql, append, &rows, 3000) != 0) __builtin_trap();
    return rows;
}

} // namespace TarnFuzz
