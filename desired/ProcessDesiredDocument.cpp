// The rows of a desired document: its values, and the defaults of the
// mutable-default objects it leaves out.
#include <string>

#include "desired/desired_document.h"
#include "tarn/config_validation.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

using TarnSchemaStore::SchemaObjectId;

// A level of the document that must be an object; the document reached here
// unvalidated is refused by name rather than walked as something else.
rapidjson::Value& Level(rapidjson::Value& value, const std::string& path) {
    if (!value.IsObject()) throw ConfigStoreException(("Desired document: " + path + " is not an object").c_str());
    return value;
}

// Copies the object's default rows, except those of its fixed instances,
// which belong to the host and stay as they are.
void CopyDefaults(const std::shared_ptr<DBStore::StoreConnection>& conn,
                  const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
                  const TarnSchemaStore::SchemaObjectIdSet& fixedKind, const SchemaObjectId& id) {
    using TarnPlatform::SqlQuote;
    CSLogger::Log(2, "Processing mutableDefaultConfig schemas id = %s", id.toString().c_str());
    std::string sql =
        "insert into desireduserconfig(component, configgroup, name, identifier, version, value, vitalvalue, "
        "cachedvalue) select component, configgroup, name, identifier, version, value, vitalvalue, cachedvalue "
        "from defaultconfig where component=" + SqlQuote(id.GetComponent()) + " and configgroup = " +
        SqlQuote(id.GetGroup()) + " and name=" + SqlQuote(id.GetName());
    std::string fixed;
    if (fixedKind.count(id)) {
        const std::shared_ptr<TarnSchemaStore::SchemaObject> object = cache->GetSchemaObject(id);
        if (object && object->IsNonSingleton() && object->GetIdField() != TarnSchemaStore::GENERATED_ID_FIELD)
            for (const std::string& identifier : object->GetIdentifierList())
                fixed += (fixed.empty() ? "" : ",") + SqlQuote(identifier);
    }
    sql += fixed.empty() ? ";" : " AND identifier NOT IN (" + fixed + ");";
    if (DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000) != 0)
        throw ConfigStoreException("Failed to insert default configuration to desired config table");
}

} // namespace

void ProcessDesiredDocument(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn) {
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    const auto store = TarnSchemaStore::SchemaStore::GetStore();
    TarnSchemaStore::SchemaObjectIdSet pending = store->GetMutableDefaultConfigIds(false);

    auto profile = Level(document, "the root").FindMember("profile");
    if (profile != document.MemberEnd()) {
        for (auto& c : Level(profile->value, "/profile").GetObject()) {
            const std::string component = MemberName(c.name);
            for (auto& g : Level(c.value, "/profile/" + component).GetObject()) {
                const std::string group = MemberName(g.name);
                for (auto& k : Level(g.value, "/profile/" + component + "/" + group).GetObject()) {
                    const std::string key = MemberName(k.name);
                    const SchemaObjectId id(component, group, key);
                    pending.erase(id);
                    const std::shared_ptr<TarnSchemaStore::SchemaObject> object = cache->GetSchemaObject(id);
                    if (!object)
                        throw ConfigStoreException(("No schema registered for " + id.toString()).c_str());
                    const std::string version = object->GetVersion();
                    rapidjson::Value& v = k.value;
                    if (v.IsArray()) {
                        for (rapidjson::Value& element : v.GetArray())
                            WriteDesiredConfigValue(document.GetAllocator(), conn, version, component, group, key,
                                                    object, element);
                    } else if (v.IsObject()) {
                        WriteDesiredConfigValue(document.GetAllocator(), conn, version, component, group, key,
                                                object, v);
                    } else if (v.IsString() && MemberName(v) == DELETE_DEFAULT_VALUE) {
                        CSLogger::Log(2, "Default configuration for comp:%s, group:%s key:%s will be deleted.",
                                      component.c_str(), group.c_str(), key.c_str());
                    }
                }
            }
        }
    }

    const TarnSchemaStore::SchemaObjectIdSet fixedKind =
        store->GetSchemaObjectIdsByKind(TarnSchemaStore::KIND_FIXED_INSTANCES);
    for (const SchemaObjectId& id : pending) CopyDefaults(conn, cache, fixedKind, id);
}

} // namespace TarnConfigStore
