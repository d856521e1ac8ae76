#include <string>

#include "boot/boot_mode_work.h"
#include "desired/desired_document.h"
#include "tarn/exceptions.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

// The row as a whole is replaced: it keeps its creation time, automatic,
// vital and cached values, and its revision goes up by one (1 when new).
std::string ValuesClause(const std::string& id, const std::string& key, const std::string& group,
                         const std::string& component, const std::string& version) {
    using TarnPlatform::SqlQuote;
    const std::string where = " from config where identifier=" + SqlQuote(id) + " and name=" + SqlQuote(key) +
                              " and configgroup=" + SqlQuote(group) + " and component=" + SqlQuote(component) + ")";
    auto kept = [&](const char* column) { return std::string("coalesce((select ") + column + where + ", null), "; };
    return "(" + SqlQuote(id) + ", " + SqlQuote(key) + ", " + SqlQuote(group) + ", " + SqlQuote(component) + ", " +
           SqlQuote(version) + ", " + "coalesce((select CreationTime" + where + ", (datetime(CURRENT_TIMESTAMP))), " +
           "coalesce(( select Revision" + where + ",( 0 )) + 1, " + kept("AutoConfValue") + kept("VitalValue") +
           kept("CachedValue") + "?)";
}

} // namespace

void WriteBootDocumentObject(rapidjson::Document::AllocatorType& allocator,
                             const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& version,
                             const std::string& component, const std::string& group, const std::string& key,
                             const std::shared_ptr<TarnSchemaStore::SchemaObject>& schemaObject,
                             rapidjson::Value& value) {
    const std::string id = InstanceIdToWrite(allocator, schemaObject, value);
    const std::string sql =
        "insert or replace into config(identifier, name, configgroup, component, version, CreationTime, Revision, "
        "AutoConfValue, VitalValue, CachedValue, UserValue) values " + ValuesClause(id, key, group, component, version);
    std::string text;
    ConfigStoreDocument::SerializeValue(value, text);
    if (DBStore::Execute(conn, sql, {text}, {}, 3000) != 0) throw ConfigStoreException("Write user config failed");
}

} // namespace TarnConfigStore
