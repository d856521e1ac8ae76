#include "tarn/boot_plan.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "boot/generate_desired_configuration.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/store_tables.h"

namespace TarnConfigStore {
namespace {

using Connection = std::shared_ptr<DBStore::StoreConnection>;

void Run(const Connection& conn, const std::string& sql, const char* failure) {
    if (DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000) != 0) throw ConfigStoreException(failure);
}

// Detaches the schema store when the plan ends, after the rollback.
struct AttachedSchemaStore {
    explicit AttachedSchemaStore(Connection c) : conn(std::move(c)) {
        Run(conn, AttachSchemaStoreStatement(), "Failed to attach schema store");
    }
    ~AttachedSchemaStore() { DBStore::ExecuteV2(conn, DETACH_SCHEMA_STORE, nullptr, nullptr, 3000); }
    Connection conn;
};

// Whatever happens inside, nothing of it is committed.
struct RolledBackTransaction {
    explicit RolledBackTransaction(Connection c) : conn(std::move(c)) {
        if (DBStore::BeginTransaction(conn) != 0) throw ConfigStoreException("Failed to begin plan transaction");
    }
    ~RolledBackTransaction() { DBStore::CancelTransaction(conn); }
    Connection conn;
};

// The readings before and after the step's work, in a transaction that is
// rolled back when they are taken.
std::vector<ConfigRowChange> Preview(BOOTMODE mode, const Connection& conn) {
    const AttachedSchemaStore attached(conn);
    const RolledBackTransaction transaction(conn);
    const std::vector<ConfigLayerRow> before = ReadConfigLayers(conn);
    RunDesiredConfigurationWork(mode, conn);
    return DiffConfigLayers(before, ReadConfigLayers(conn));
}

} // namespace

BootPlan PlanNextBoot() {
    BootPlan plan{GetBootMode(), {}};
    const Connection conn = GetDBConnection(DBStore::CONFIG_STORE, true);
    try {
        plan.changes = Preview(plan.bootMode, conn);
    } catch (const std::exception& e) {
        throw ConfigStoreException(
            (std::string("The next boot's desired configuration step fails: ") + e.what()).c_str());
    }
    return plan;
}

} // namespace TarnConfigStore
