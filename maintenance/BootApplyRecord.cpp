#include "tarn/boot_state.h"

#include <memory>
#include <string>

#include "tarn/db_connection.h"
#include "tarn/error_codes.h"
#include "tarn/exceptions.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/db_store.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {

namespace {

constexpr char BOOT_APPLY_RECORD_RESET[] = "{\"isBootComplete\":false}";
constexpr char IS_BOOT_COMPLETE[] = "isBootComplete";
constexpr char BOOT_APPLY_RECORD[] = "bootApplyRecord";

} // namespace

void clearBootApplyRecord() {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    DBStore::WriteKeyValue(KEY_BOOT_APPLY_RESULT, BOOT_APPLY_RECORD_RESET, conn);
}

void setBootApplyRecord(std::string record) {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);

    rapidjson::Document document(rapidjson::kObjectType);
    rapidjson::Document::AllocatorType& allocator = document.GetAllocator();
    document.AddMember(rapidjson::StringRef(IS_BOOT_COMPLETE), true, allocator);
    // The caller's text is kept as a string, never parsed, and ends at its
    // first NUL as a C string would.
    document.AddMember(rapidjson::StringRef(BOOT_APPLY_RECORD), rapidjson::Value(record.c_str(), allocator),
                       allocator);

    std::string text;
    ConfigStoreDocument::SerializeValue(document, text);
    DBStore::WriteKeyValue(KEY_BOOT_APPLY_RESULT, text, conn);
}

rapidjson::Document getBootApplyRecord() {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    std::string text;
    if (DBStore::ReadKeyValue(KEY_BOOT_APPLY_RESULT, &text, conn) != 0)
        throw ConfigStoreException("Failed to read BOOT_APPLY_RESULT from database.");

    // The document owns its pool, so it can be handed back by value.
    rapidjson::Document document;
    // One value with only whitespace around it; a NUL inside the stored text
    // counts as trailing garbage.
    if (!TarnJson::Parse(document, text))
        ThrowException<InvalidArgumentException>(CS_JSON_STRING_PARSE_FAILED);
    return document;
}

} // namespace TarnConfigStore
