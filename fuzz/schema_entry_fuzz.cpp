// Schema entries as a crate's schema file brings them, and values validated
// against them. Input: the entry (JSON) on the first line, the value after
// it. Each entry is registered in an update that is then aborted, so no run
// sees another's entry.
#include "fuzz/private_root.h"
#include "tarn/config_validation.h"
#include "tarn/exceptions.h"
#include "tarn/platform/json_validator.h"
#include "tarn/platform/schema_store.h"

using namespace TarnSchemaStore;

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::shared_ptr<SchemaStore> store = SchemaStore::GetStore();
    auto [entry, valueText] = TarnFuzz::SplitAtNewline(data, size);
    rapidjson::Document value;
    value.Parse(valueText.c_str(), valueText.size());
    store->BeginUpdate();
    try {
        SetSchema("fuzz", "fz", "g", "k", entry, store, entry.find("\"smartnic\"") != std::string::npos);
        std::shared_ptr<SchemaObject> object = GetSchema("fz", "g", "k", store);
        if (!object) __builtin_trap();  // registered, yet not found
        if (!value.HasParseError()) {
            using TarnConfigStore::DEFAULT_VALIDATION_CODES, TarnConfigStore::USER_VALIDATION_CODES;
            for (const auto* codes : {&USER_VALIDATION_CODES, &DEFAULT_VALIDATION_CODES}) {
                rapidjson::Document result;
                JsonValidator::Validate(object->GetSchemaDocument(), value, result, *codes, "/fz/g/k");
                JsonValidator::Validate(object->GetUserSchema(), value, result, *codes, "");
            }
        }
    } catch (const TarnConfigStore::ConfigStoreException&) {
    }
    store->AbortUpdate();
    TarnFuzz::EmptyLogs();
    return 0;
}
