// Entry points of the schema store component.
#include <utility>

#include "schema/schema_store_impl.h"
#include "tarn/exceptions.h"

namespace TarnSchemaStore {

SchemaObject::~SchemaObject() = default;
SchemaObjectCache::~SchemaObjectCache() = default;
SchemaStore::~SchemaStore() = default;

// A cache that cannot tell takes every component and group for known; an
// unknown key is then reported instead.
bool SchemaObjectCache::HasComponent(const std::string&) { return true; }
bool SchemaObjectCache::HasGroup(const std::string&, const std::string&) { return true; }

void SchemaStore::BeginRead() {}
void SchemaStore::EndRead() {}

std::shared_ptr<SchemaStore> SchemaStore::GetStore() {
    return std::make_shared<DatabaseSchemaStore>(TarnSchemaDatabase::Database::Open());
}

std::shared_ptr<SchemaObjectCache> SchemaStore::GetCache() {
    return std::make_shared<StoreSchemaObjectCache>(
        std::make_shared<DatabaseSchemaStore>(TarnSchemaDatabase::Database::Open()));
}

const std::shared_ptr<SchemaObject>& StoreSchemaObjectCache::GetSchemaObject(const SchemaObjectId& id) {
    auto it = m_objects.find(id);
    if (it == m_objects.end()) it = m_objects.emplace(id, m_store->GetSchemaObject(id)).first;
    return it->second;  // element references stay valid as the map grows
}

std::shared_ptr<SchemaObject> GetSchema(const std::string& component, const std::string& group,
                                        const std::string& name, const std::shared_ptr<SchemaStore>& store) {
    return store->GetSchemaObject(SchemaObjectId(component, group, name));
}

namespace {

DatabaseSchemaStore& Own(const std::shared_ptr<SchemaStore>& store) {
    auto* own = dynamic_cast<DatabaseSchemaStore*>(store.get());
    if (!own) throw TarnConfigStore::ConfigStoreException("SetSchema needs a store from SchemaStore::GetStore()");
    return *own;
}

} // namespace

int SetSchema(const std::string& fileId, const std::string& component, const std::string& group,
              const std::string& name, const std::string& schemaText, const std::shared_ptr<SchemaStore>& store,
              bool hasSmartnic) {
    return Own(store).Register(fileId, component, group, name, schemaText, nullptr, hasSmartnic);
}

int SetSchema(const std::string& fileId, const std::string& component, const std::string& group,
              const std::string& name, const std::string& schemaText, const rapidjson::Value& entry,
              const std::shared_ptr<SchemaStore>& store, bool hasSmartnic) {
    return Own(store).Register(fileId, component, group, name, schemaText, &entry, hasSmartnic);
}

} // namespace TarnSchemaStore
