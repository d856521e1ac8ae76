#include "tarn/platform/config_store_document.h"

#include "schema/compiled_schema.h"
#include "schema/generated_ids.h"

namespace ConfigStoreDocument {

bool ValueExists(const rapidjson::Value& value, const std::string& name) {
    return value.IsObject() && value.HasMember(name);
}

void SerializeValue(const rapidjson::Value& value, std::string& out) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (!value.Accept(writer)) TarnConfigStore::ThrowInvalidJson();  // NaN or infinity
    out.assign(buffer.GetString(), buffer.GetSize());
}

void PopulateGeneratedInstanceId(const rapidjson::Value& schema, rapidjson::Value& value,
                                 rapidjson::Document::AllocatorType& allocator) {
    auto layers = TarnSchemaValidation::LayersFor(schema);
    if (layers->GeneratesIds()) TarnGeneratedIds::Fill(layers->Root(), value, allocator, &TarnGeneratedIds::NewId);
}

} // namespace ConfigStoreDocument
