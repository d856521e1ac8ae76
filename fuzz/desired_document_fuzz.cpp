// Desired documents as a management tool hands them in: validated, then
// stored whether valid or not. The validation's verdict and its listed
// errors must agree, and a refused store must leave DesiredUserConfig and
// KVTable as they were. Input: the document.
#include <string>

#include "fuzz/private_root.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/rapidjson_parse.h"

namespace {

// Objects of each shape a desired document can name: instances with an
// identifier member, a singleton, generated identifiers, fixed instances
// with defaults, and an object no user may set.
constexpr const char* kEntries[][4] = {
    {"net", "switches", R"("idField": "name", "mutableDefaultConfig": true, "dspIntegrated": true,
      "schema": {"type": "object", "properties": {"name": {"type": "string"}, "mtu": {"type": "integer"},
      "id": {"type": "string", "vital": true}}})"},
    {"net", "dns", R"("schema": {"type": "object", "properties": {"servers": {"type": "array",
      "items": {"type": "string"}}}})"},
    {"net", "routes", R"("idField": "cs_generated_id", "schema": {"type": "object",
      "properties": {"network": {"type": "string"}}})"},
    {"net", "nics", R"("idField": "dev", "kind": "fixed-instances", "fixedInstances": ["n0", "n'1"],
      "mutableDefaultConfig": true, "schema": {"type": "object", "properties": {"dev": {"type": "string"}}})"},
    {"rt", "uptime", R"("kind": "internal", "schema": {"type": "object"})"},
};

std::shared_ptr<DBStore::StoreConnection> Setup() {
    TarnFuzz::PrivateRoot();
    if (DBStore::CreateDatabases() != 0) std::abort();
    const auto store = TarnSchemaStore::SchemaStore::GetStore();
    for (const auto& e : kEntries) {
        const std::string entry = std::string(R"({"component": "fz", "group": ")") + e[0] + R"(", "key": ")" + e[1] +
                                  R"(", "version": "1", )" + e[2] + "}";
        TarnSchemaStore::SetSchema("fuzz", "fz", e[0], e[1], entry, store, false);
    }
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    DBStore::ExecuteV2(conn,
                       "INSERT INTO DefaultConfig(Component, ConfigGroup, Name, Identifier, Value) VALUES "
                       "('fz', 'net', 'switches', 's0', '{\"name\":\"s0\"}'), ('fz', 'net', 'nics', 'n0', '{}'), "
                       "('fz', 'net', 'nics', 'n''1', '{}'), ('fz', 'net', 'nics', 'n2', '{}');",
                       nullptr, nullptr, 3000);
    return conn;
}

int Append(void* ctx, int n, char** values, char**) {
    for (int i = 0; i < n; ++i) *static_cast<std::string*>(ctx) += std::string(values[i] ? values[i] : "-") + "|";
    return 0;
}

// What a refused document must not change; hex keeps NUL bytes comparable.
std::string Snapshot(const std::shared_ptr<DBStore::StoreConnection>& conn) {
    std::string rows;
    if (DBStore::ExecuteV2(conn,
                           "SELECT hex(Component), hex(ConfigGroup), hex(Name), hex(Identifier), hex(Value), BootAction "
                           "FROM DesiredUserConfig ORDER BY 1, 2, 3, 4; SELECT hex(Key), hex(Value) FROM KVTable "
                           "ORDER BY 1;",
                           &Append, &rows, 3000) != 0)
        __builtin_trap();
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<DBStore::StoreConnection> conn = Setup();
    static const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    rapidjson::Document document;
    if (!TarnJson::Parse(document, reinterpret_cast<const char*>(data), size)) return -1;
    try {
        const bool valid = TarnConfigStore::ValidateDesiredDocument(document, cache);
        if (valid != TarnConfigStore::ListDesiredDocumentErrors(document, cache).empty()) __builtin_trap();
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
    const std::string before = Snapshot(conn);
    try {
        TarnConfigStore::SetDesiredUserConfig(document);
    } catch (const TarnConfigStore::ConfigStoreException&) {
        if (Snapshot(conn) != before) __builtin_trap();  // a refused document changed the store
    }
    TarnFuzz::EmptyLogs();
    return 0;
}
