// The check of a user value against its object's schema and its split into
// the user, vital and cached layers. Input: the schema (JSON) on the first
// line, the value after it.
#include "fuzz/private_root.h"
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"

using namespace TarnConfigStore;

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [schemaText, valueText] = TarnFuzz::SplitAtNewline(data, size);
    rapidjson::Document schema, value;
    if (schema.Parse(schemaText.c_str(), schemaText.size()).HasParseError() ||
        value.Parse(valueText.c_str(), valueText.size()).HasParseError())
        return -1;  // not worth keeping in the corpus
    try {
        ValidateUserObject(schema, value, "/fz/g/k", size % 2 == 0);
        SplitConfig(value, schema);
        for (const char* layer : {LAYER_USER, LAYER_VITAL, LAYER_CACHED}) {
            rapidjson::Document copy;
            copy.CopyFrom(value, copy.GetAllocator());
            ProcessConfig(copy, schema, layer);
        }
    } catch (const ConfigStoreException&) {
    }
    TarnFuzz::EmptyLogs();
    return 0;
}
