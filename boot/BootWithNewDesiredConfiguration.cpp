// Boot mode 1: the stored desired configuration becomes the user configuration.
#include <string>
#include <utility>

#include "boot/boot_mode_work.h"
#include "store/config_work_copy.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

// The marking statement is kMarkValues, a space, kMarkedRows and the
// protected instances.
constexpr char kMarkValues[] =
    "update config set uservalue = CASE WHEN uservalue is NOT NULL and s.preserveNonUser=0 THEN 'mark for "
    "deletion' ELSE NULL END, DesiredValue=NULL";
constexpr char kMarkedRows[] =
    "from ss.ConfigSchema as s where s.component=config.component and s.configgroup=config.configgroup and "
    "s.name=config.name and s.DSPIntegrated=1 AND (config.component, config.configgroup, config.name, "
    "config.identifier) NOT IN ";
constexpr char kInsertNew[] =
    "insert or ignore into config(component, configgroup, name , identifier, uservalue, vitalvalue, cachedvalue) "
    "select component, configgroup, name, identifier, value, vitalvalue, cachedvalue from desireduserconfig;";
constexpr char kCleanupDesired[] = "Delete from DesiredUserConfig";
constexpr char kDeleteMarked[] = "DELETE FROM config where uservalue='mark for deletion';";

// Each layer takes the layer of the first matching desired row when that is
// not NULL, else keeps its value. The matching rows are the row for every
// instance (empty identifier) and the instance's own; when both exist the
// one for every instance is first, the order in which the key's index
// delivers them. Two probes of that key per instance, whatever the number of
// desired rows of its object; every Config row is still updated once.
// moreSet ends the SET clause.
std::string MergeStatement(const std::string& moreSet) {
    std::string set, pick;
    // Config's column and DesiredUserConfig's of each layer.
    const std::pair<std::string, std::string> layers[] = {
        {"uservalue", "value"}, {"vitalvalue", "vitalvalue"}, {"cachedvalue", "cachedvalue"}};
    for (const auto& [column, layer] : layers) {
        set += (set.empty() ? "" : ", ") + column + "=coalesce(m." + layer + ", config." + column + ")";
        pick += ", case when a.rowid is null then o." + layer + " else a." + layer + " end as " + layer;
    }
    return "update config set " + set + moreSet + " from (select c.rowid as id" + pick +
           " from config as c left join desireduserconfig as a on a.component=c.component and "
           "a.configgroup=c.configgroup and a.name=c.name and a.identifier='' left join desireduserconfig as o on "
           "o.component=c.component and o.configgroup=c.configgroup and o.name=c.name and "
           "o.identifier=c.identifier) as m where config.rowid=m.id;";
}

// The host's fixed instances, which the marking leaves alone, as the list
// in parentheses that ends the marking statement.
std::string ProtectedInstances() {
    using TarnPlatform::SqlQuote;
    const auto store = TarnSchemaStore::SchemaStore::GetStore();
    std::string list;
    for (const auto& id : store->GetSchemaObjectIdsByKind(TarnSchemaStore::KIND_FIXED_INSTANCES)) {
        const auto object = store->GetSchemaObject(id);
        if (!object || !object->IsNonSingleton() || object->GetIdField() == TarnSchemaStore::GENERATED_ID_FIELD)
            continue;
        for (const std::string& identifier : object->GetIdentifierList())
            list += (list.empty() ? "(" : ",(") + SqlQuote(id.GetComponent()) + "," + SqlQuote(id.GetGroup()) + "," +
                    SqlQuote(id.GetName()) + "," + SqlQuote(identifier) + ")";
    }
    return "(" + list + ");";
}

} // namespace

void BootWithNewDesiredConfiguration(const std::shared_ptr<DBStore::StoreConnection>& conn,
                                     const ConfigWorkCopy* copy) {
    CSLogger::Log(2, "Boot with new desired configuration.");
    const std::string marked = " " + (kMarkedRows + ProtectedInstances());
    CSLogger::Log(2, "Delete existing user configuration query = %s", (kMarkValues + marked).c_str());
    // The marking and the merge update rows of Config: on the copy, they do
    // what the triggers would have too.
    const std::string triggersWork = copy ? copy->TriggersWork("config") : "";
    ExecuteOrThrow(conn, kMarkValues + triggersWork + marked, "Failed to mark user configuration for delete");
    ExecuteOrThrow(conn, kInsertNew, "Failed to insert desired configuration to config table");
    ExecuteOrThrow(conn, MergeStatement(triggersWork), "Failed to update config table");
    ExecuteOrThrow(conn, kCleanupDesired, "Failed to cleanup desired configuration");
    ExecuteOrThrow(conn, kDeleteMarked, "Failed to cleanup previous user configuration");
}

} // namespace TarnConfigStore
