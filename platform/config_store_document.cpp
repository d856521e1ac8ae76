#include "tarn/platform/config_store_document.h"

namespace ConfigStoreDocument {

bool ValueExists(const rapidjson::Value& value, const std::string& name) {
    return value.IsObject() && value.HasMember(name);
}

} // namespace ConfigStoreDocument
