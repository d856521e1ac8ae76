// The boot configuration document as the first boot of a new store applies
// it, inside a transaction that is rolled back after each input. A document
// that fails as a whole must leave Config as it was; one that is processed
// writes rows of registered objects only. Input: the document file.
#include <string>

#include "boot/boot_mode_work.h"
#include "fuzz/desired_schemas.h"
#include "tarn/exceptions.h"
#include "tarn/store_tables.h"

namespace {

std::string Rows(const std::shared_ptr<DBStore::StoreConnection>& conn, const char* sql) {
    std::string rows;
    if (DBStore::ExecuteV2(conn, sql, &TarnFuzz::AppendRow, &rows, 3000) != 0) __builtin_trap();
    return rows;
}

constexpr char kConfig[] = "SELECT hex(Component), hex(ConfigGroup), hex(Name), hex(Identifier), hex(UserValue), "
                           "Revision FROM Config ORDER BY 1, 2, 3, 4;";
constexpr char kUnregistered[] = "SELECT count(*) FROM Config WHERE (Component, ConfigGroup, Name) NOT IN "
                                 "(SELECT Component, ConfigGroup, Name FROM ss.ConfigSchema);";

std::shared_ptr<DBStore::StoreConnection> Setup() {
    auto conn = TarnFuzz::SetupDesiredSchemas();
    // Rows for the document to replace, keep or delete.
    if (DBStore::ExecuteV2(conn,
                           "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, VitalValue, "
                           "Revision) VALUES ('fz', 'net', 'switches', 's0', '{}', '{\"id\":\"v\"}', 4), "
                           "('fz', 'net', 'nics', 'n0', '{}', NULL, 1);",
                           nullptr, nullptr, 3000) != 0 ||
        DBStore::ExecuteV2(conn, TarnConfigStore::AttachSchemaStoreStatement(), nullptr, nullptr, 3000) != 0)
        std::abort();
    return conn;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<DBStore::StoreConnection> conn = Setup();
    TarnFuzz::WriteRooted(TarnConfigStore::BOOT_CONFIGURATION_PATH, std::string(reinterpret_cast<const char*>(data), size));
    const std::string before = Rows(conn, kConfig);
    if (DBStore::BeginTransaction(conn) != 0) __builtin_trap();
    try {
        TarnConfigStore::ProcessBootDocument(conn);
        if (Rows(conn, kUnregistered) != "0|") __builtin_trap();  // an object without a schema was written
        DBStore::CancelTransaction(conn);
    } catch (const TarnConfigStore::ConfigStoreException&) {
        DBStore::CancelTransaction(conn);
    }
    if (Rows(conn, kConfig) != before) __builtin_trap();  // the rollback did not hold
    TarnFuzz::EmptyLogs();
    return 0;
}
