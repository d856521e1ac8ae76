#include "tarn/boot_state.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "store/schema_store_attachment.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

namespace {

// The objects the host's apply manages (DSPIntegrated), of the schema types
// it applies at boot, whose stored user value did not apply.
constexpr char SELECT_BOOT_TIME_RESTORE_FAILURES[] =
    "SELECT c.Name, c.Component, c.ConfigGroup, c.Identifier FROM Config c, ss.ConfigSchema as s where "
    "c.Name = s.Name and c.Component = s.Component and c.ConfigGroup = s.ConfigGroup and s.DSPIntegrated = 1 "
    "and c.Success = 0 and (s.SchemaType = 0 or s.SchemaType = 2) and c.UserValue is NOT NULL;";

// Fills a record by column name, so the order of the selected columns does
// not matter. Nothing may unwind through the database's C frames: should
// the vector fail to grow, the query is stopped and reported as failed.
int AppendFailure(void* context, int columns, char** values, char** names) {
    try {
        FailureRecord record;
        for (int i = 0; i < columns; ++i) {
            const char* value = values[i] ? values[i] : "";
            if (std::strcmp(names[i], "Component") == 0) record.component = value;
            else if (std::strcmp(names[i], "ConfigGroup") == 0) record.configGroup = value;
            else if (std::strcmp(names[i], "Name") == 0) record.name = value;
        }
        static_cast<std::vector<FailureRecord>*>(context)->push_back(std::move(record));
        return 0;
    } catch (...) {
        return 1;
    }
}

} // namespace

std::vector<FailureRecord> GetBootTimeRestoreFailures() {
    std::shared_ptr<DBStore::StoreConnection> conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    std::vector<FailureRecord> failures;
    SchemaStoreAttachment attachment(conn);
    if (DBStore::ExecuteV2(conn, SELECT_BOOT_TIME_RESTORE_FAILURES, &AppendFailure, &failures, 3000) != 0)
        throw ConfigStoreException("Failed to read from config store.");
    return failures;
}

} // namespace TarnConfigStore
