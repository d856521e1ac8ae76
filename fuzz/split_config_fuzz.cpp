// The check of a user value against its object's schema and its split into
// the user, vital and cached layers, the split compared with the pruned
// copies it stands for. Input: the schema (JSON) on the first line, the value
// after it.
#include <optional>
#include <string>
#include <unordered_map>

#include "fuzz/private_root.h"
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"
#include "tarn/platform/config_store_document.h"

using namespace TarnConfigStore;

namespace {

// The layers as each pruned copy of the value serializes; nullopt when the
// split is to throw.
std::optional<std::unordered_map<std::string, std::string>> PrunedCopies(const rapidjson::Value& value,
                                                                         const rapidjson::Value& schema) {
    std::unordered_map<std::string, std::string> layers;
    try {
        for (const char* layer : {LAYER_USER, LAYER_VITAL, LAYER_CACHED}) {
            rapidjson::Document copy;
            copy.CopyFrom(value, copy.GetAllocator());
            std::string text;
            if (ProcessConfig(copy, schema, layer)) ConfigStoreDocument::SerializeValue(copy, text);
            layers[layer] = text;
        }
    } catch (const ConfigStoreException&) {
        return std::nullopt;
    }
    return layers;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [schemaText, valueText] = TarnFuzz::SplitAtNewline(data, size);
    rapidjson::Document schema, value;
    if (schema.Parse(schemaText.c_str(), schemaText.size()).HasParseError() ||
        value.Parse(valueText.c_str(), valueText.size()).HasParseError())
        return -1;  // not worth keeping in the corpus
    try {
        ValidateUserObject(schema, value, "/fz/g/k", size % 2 == 0);
    } catch (const ConfigStoreException&) {
    }
    std::optional<std::unordered_map<std::string, std::string>> split;
    try {
        split = SplitConfig(value, schema);
    } catch (const ConfigStoreException&) {
    }
    if (split != PrunedCopies(value, schema)) __builtin_trap();
    TarnFuzz::EmptyLogs();
    return 0;
}
