// The schema store attached to a configuration-store connection as ss for
// the life of one object, for statements that read schema flags.
#pragma once

#include <memory>
#include <utility>

#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/db_store.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {

// Detaches on every way out; a failure to detach is logged and changes
// nothing else. Throws ConfigStoreException "Failed to attach schema store".
class SchemaStoreAttachment {
public:
    explicit SchemaStoreAttachment(std::shared_ptr<DBStore::StoreConnection> conn) : m_conn(std::move(conn)) {
        if (DBStore::ExecuteV2(m_conn, AttachSchemaStoreStatement(), nullptr, nullptr, 3000) != 0)
            throw ConfigStoreException("Failed to attach schema store");
    }
    ~SchemaStoreAttachment() {
        if (DBStore::ExecuteV2(m_conn, DETACH_SCHEMA_STORE, nullptr, nullptr, 3000) != 0)
            CSLogger::Log(0, "Failed to detach schema store");
    }
    SchemaStoreAttachment(const SchemaStoreAttachment&) = delete;
    SchemaStoreAttachment& operator=(const SchemaStoreAttachment&) = delete;

private:
    std::shared_ptr<DBStore::StoreConnection> m_conn;
};

} // namespace TarnConfigStore
