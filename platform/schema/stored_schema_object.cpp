#include <utility>

#include "schema/compiled_schema.h"
#include "schema/schema_store_impl.h"

namespace TarnSchemaStore {

// The object's schemas never change, so their compiled forms are kept for
// the object's lifetime.
StoredSchemaObject::StoredSchemaObject(TarnSchemaEntry::SchemaEntry entry) : m_entry(std::move(entry)) {
    TarnSchemaValidation::RegisterStableSchema(m_entry.schema.get());
}

StoredSchemaObject::~StoredSchemaObject() {
    TarnSchemaValidation::UnregisterStableSchema(m_entry.schema.get());
    if (m_userSchema) TarnSchemaValidation::UnregisterStableSchema(m_userSchema.get());
}

// Only desired values are checked against it; defaults and the layer split
// never ask.
const rapidjson::Value& StoredSchemaObject::GetUserSchema() const {
    std::call_once(m_userOnce, [this] {
        std::shared_ptr<rapidjson::Document> user = TarnSchemaEntry::SmallDocument();
        TarnSchemaEntry::DeriveUserSchema(*m_entry.schema, m_entry.kind, *user);
        TarnSchemaValidation::RegisterStableSchema(user.get());
        m_userSchema = std::move(user);
    });
    return *m_userSchema;
}

int StoredSchemaObject::GetFileEnabled(uint8_t& enabled) const {
    if (!m_entry.file) return 1;
    enabled = m_entry.file->enabled ? 1 : 0;
    return 0;
}

int StoredSchemaObject::GetFileCategory(std::string& category) const {
    if (!m_entry.file) return 1;
    category = m_entry.file->category;
    return 0;
}

int StoredSchemaObject::GetFilePath(std::string& path) const {
    if (!m_entry.file) return 1;
    path = m_entry.file->path;
    return 0;
}

} // namespace TarnSchemaStore
