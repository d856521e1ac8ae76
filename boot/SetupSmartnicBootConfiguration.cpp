// Boot mode 3: the boot actions of the stored SmartNIC configuration.
#include "boot/boot_mode_work.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {
namespace {

struct Step {
    const char* sql;
    const char* failure;
};

// In this order: objects to delete or reset lose every instance; reset ones
// get their default rows back; SET rows are inserted (not over an existing
// instance of a shared object) and then set on existing instances; last,
// instances of shared multi-instance objects that nothing names go.
constexpr Step kSteps[] = {
    {"DELETE FROM Config WHERE (Component, ConfigGroup, Name) IN ( SELECT Component, ConfigGroup, Name FROM "
     "DesiredUserConfig WHERE BootAction IN ('DELETE', 'SET_DEFAULT') );",
     "Failed to process BootAction=DELETE"},
    {"INSERT INTO Config (Component, ConfigGroup, Name, Identifier, Version, UserValue, Vitalvalue, Cachedvalue) "
     "SELECT Component, ConfigGroup, Name, Identifier, Version, Value, Vitalvalue, Cachedvalue FROM DefaultConfig "
     "WHERE (Component, ConfigGroup, Name) IN ( SELECT Component, ConfigGroup, Name FROM DesiredUserConfig WHERE "
     "BootAction='SET_DEFAULT' );",
     "Failed to process BootAction=SET_DEFAULT"},
    {"INSERT INTO Config (Component, ConfigGroup, Name, Identifier, Version, UserValue) SELECT Component, "
     "ConfigGroup, Name, Identifier, Version, Value FROM DesiredUserConfig WHERE BootAction='SET' AND (Component, "
     "ConfigGroup, Name, Identifier) NOT IN ( SELECT Config.Component, Config.ConfigGroup, Config.Name, "
     "Config.Identifier FROM Config, ss.SmartnicSchema WHERE ss.SmartnicSchema.ValueType=\"tarn-shared\" AND "
     "ss.SmartnicSchema.Component=Config.Component AND ss.SmartnicSchema.ConfigGroup=Config.ConfigGroup AND "
     "ss.SmartnicSchema.Name=Config.Name );",
     "Failed to process BootAction=SET for new configs"},
    {"UPDATE Config SET UserValue=du.Value FROM ( SELECT Component, ConfigGroup, Name, Identifier, Value FROM "
     "DesiredUserConfig WHERE BootAction='SET' ) AS du WHERE Config.Component = du.Component AND "
     "Config.ConfigGroup = du.ConfigGroup AND Config.Name = du.Name AND Config.Identifier=du.Identifier;",
     "Failed to process BootAction=SET for existing configs"},
    {"DELETE FROM Config WHERE (Component, ConfigGroup, Name, Identifier) NOT IN ( SELECT Component, ConfigGroup, "
     "Name, Identifier FROM DesiredUserConfig WHERE BootAction='SET' ) AND (Component, ConfigGroup, Name) NOT IN ( "
     "SELECT Component, ConfigGroup, Name FROM DesiredUserConfig WHERE BootAction='SET_DEFAULT' ) AND (Component, "
     "ConfigGroup, Name) IN ( SELECT ss.ConfigSchema.Component, ss.ConfigSchema.ConfigGroup, ss.ConfigSchema.Name "
     "FROM ss.SmartnicSchema, ss.ConfigSchema WHERE ss.SmartnicSchema.ValueType=\"tarn-shared\" AND "
     "ss.ConfigSchema.Singleton=0 AND ss.SmartnicSchema.Component=ss.ConfigSchema.Component AND "
     "ss.SmartnicSchema.ConfigGroup=ss.ConfigSchema.ConfigGroup AND ss.SmartnicSchema.Name=ss.ConfigSchema.Name );",
     "Failed to process BootAction=SET for non-existing configs"},
};

} // namespace

void SetupSmartnicBootConfiguration(const std::shared_ptr<DBStore::StoreConnection>& conn) {
    CSLogger::Log(2, "Setting up smartnic boot configuration.");
    for (const Step& step : kSteps)
        if (DBStore::ExecuteV2(conn, step.sql, nullptr, nullptr, 3000) != 0) throw ConfigStoreException(step.failure);
    CSLogger::Log(2, "Smartnic boot configuration completed.");
}

} // namespace TarnConfigStore
