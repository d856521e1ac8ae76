#include "tarn/db_connection.h"

#include "tarn/exceptions.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {

std::shared_ptr<DBStore::StoreConnection> GetDBConnection(DBStore::Type type, bool required) {
    std::shared_ptr<DBStore::StoreConnection> conn = DBStore::GetConnection(type);
    if (!conn && required) throw ConfigStoreException("Failed to connect to database");
    return conn;
}

std::string ReadKeyValueOrThrow(const std::string& key, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    std::string value;
    if (DBStore::ReadKeyValue(key, &value, conn) != 0)
        throw ConfigStoreException(("Failed to read value for key " + key).c_str());
    return value;
}

void ExecuteOrThrow(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& sql,
                    const char* failure) {
    if (DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000) != 0) throw ConfigStoreException(failure);
}

std::string AttachSchemaStoreStatement() {
    if (TarnPlatform::HostPathsAsWritten()) return ATTACH_SCHEMA_STORE;
    return "ATTACH DATABASE " + TarnPlatform::SqlQuote(TarnPlatform::HostPath(SCHEMA_STORE_PATH)) + " AS ss;";
}

} // namespace TarnConfigStore
