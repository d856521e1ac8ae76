// The boot configuration document as the first boot of a new store applies
// it, in a transaction rolled back after each input: a processed document
// writes rows of registered objects only, and Config is as before after the
// rollback. Input: the document file.
#include <string>

#include "boot/boot_mode_work.h"
#include "fuzz/desired_schemas.h"
#include "tarn/exceptions.h"

namespace {

constexpr char kConfig[] = "SELECT hex(Component), hex(ConfigGroup), hex(Name), hex(Identifier), hex(UserValue), "
                           "Revision FROM Config ORDER BY 1, 2, 3, 4;";
constexpr char kUnregistered[] = "SELECT count(*) FROM Config WHERE (Component, ConfigGroup, Name) NOT IN "
                                 "(SELECT Component, ConfigGroup, Name FROM ss.ConfigSchema);";

std::shared_ptr<DBStore::StoreConnection> conn;
std::string before;

} // namespace

// The store is made once, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    conn = TarnFuzz::SetupDesiredSchemas();
    before = TarnFuzz::Rows(conn, kConfig);
    if (DBStore::ExecuteV2(conn, TarnConfigStore::AttachSchemaStoreStatement(), nullptr, nullptr, 3000) != 0)
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DBStore::BeginTransaction(conn) != 0) __builtin_trap();
    TarnFuzz::WriteRooted(TarnConfigStore::BOOT_CONFIGURATION_PATH, std::string(reinterpret_cast<const char*>(data), size));
    try {
        TarnConfigStore::ProcessBootDocument(conn);
        if (TarnFuzz::Rows(conn, kUnregistered) != "0|") __builtin_trap();  // an object without a schema was written
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
    DBStore::CancelTransaction(conn);
    if (TarnFuzz::Rows(conn, kConfig) != before) __builtin_trap();  // the rollback did not hold
    TarnFuzz::EmptyLogs();
    return 0;
}
