// Desired documents as a management tool hands them in: validated, then
// stored whether valid or not. The validation's verdict and its listed
// errors must agree, and a refused store must leave DesiredUserConfig and
// KVTable as they were. Input: the document.
#include <string>

#include "fuzz/desired_schemas.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/rapidjson_parse.h"

// What a refused document must not change; hex keeps NUL bytes comparable.
constexpr char kStored[] = "SELECT hex(Component), hex(ConfigGroup), hex(Name), hex(Identifier), hex(Value), "
                           "BootAction FROM DesiredUserConfig ORDER BY 1, 2, 3, 4; "
                           "SELECT hex(Key), hex(Value) FROM KVTable ORDER BY 1;";

namespace {

std::shared_ptr<DBStore::StoreConnection> conn;
std::shared_ptr<TarnSchemaStore::SchemaObjectCache> cache;

} // namespace

// The store is made once, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    conn = TarnFuzz::SetupDesiredSchemas();
    cache = TarnSchemaStore::SchemaStore::GetCache();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rapidjson::Document document;
    if (!TarnJson::Parse(document, reinterpret_cast<const char*>(data), size)) return -1;
    try {
        const bool valid = TarnConfigStore::ValidateDesiredDocument(document, cache);
        if (valid != TarnConfigStore::ListDesiredDocumentErrors(document, cache).empty()) __builtin_trap();
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
    const std::string before = TarnFuzz::Rows(conn, kStored);
    try {
        TarnConfigStore::SetDesiredUserConfig(document);
    } catch (const TarnConfigStore::ConfigStoreException&) {
        if (TarnFuzz::Rows(conn, kStored) != before) __builtin_trap();  // a refused document changed the store
    }
    TarnFuzz::EmptyLogs();
    return 0;
}
