#include "tarn/platform/json_validator.h"

#include <exception>

#include "schema/compiled_schema.h"
#include "schema/findings.h"
#include "schema/generated_ids.h"
#include "schema/keyword_check.h"
#include "schema/layer_rules.h"
#include "schema/schema_walk.h"

namespace JsonValidator {
namespace {

using namespace TarnSchemaValidation;

// Stands in for generated identifiers that are not there yet: a valid UUID,
// so a pattern on the identifier passes as the real one will.
std::string Placeholder() { return "00000000-0000-4000-8000-000000000000"; }

void Check(const rapidjson::Value& schema, const rapidjson::Value& value, const std::set<int>& codes,
           Findings& findings) {
    auto compiled = CompiledFor(schema);
    if (!compiled->problem.empty()) {
        findings.Add("", "schema: " + compiled->problem);
        return;
    }
    if (TarnSchemaWalk::Depth(value, MAX_NESTING) > MAX_NESTING) {
        findings.Add("", "value: nested deeper than " + std::to_string(MAX_NESTING) + " levels");
        return;
    }
    const LayerNode& layers = compiled->layers->Root();
    const rapidjson::Value* subject = &value;
    rapidjson::Document completed;
    if (codes.count(GENERATED_ID_OPTIONAL) && compiled->layers->GeneratesIds() &&
        TarnGeneratedIds::Missing(layers, value)) {
        completed.CopyFrom(value, completed.GetAllocator());
        TarnGeneratedIds::Fill(layers, completed, completed.GetAllocator(), &Placeholder);
        subject = &completed;
    }
    if (codes.count(CHECK_SCHEMA)) CheckKeywords(*compiled, *subject, findings);
    if (codes.count(USER_LAYER) && findings.WantsMore()) CheckUserLayer(layers, *subject, findings);
    if (codes.count(SPLITTABLE) && findings.WantsMore()) CheckSplittable(layers, *subject, findings);
    if (codes.count(IDENTIFIER_TEXT) && findings.WantsMore()) CheckIdentifierText(layers, *subject, findings);
}

} // namespace

bool Validate(const rapidjson::Value& schema, const rapidjson::Value& value, rapidjson::Document& result,
              const std::set<int>& codes, const std::string& path) {
    Findings findings(codes.count(ALL_ERRORS) > 0);
    try {
        Check(schema, value, codes, findings);
    } catch (const std::exception& e) {
        // A shape rapidjson's checks refuse midway: an error, not a crash.
        findings.Add("", std::string("schema: validation stopped: ") + e.what());
    }
    auto& allocator = result.GetAllocator();
    result.SetArray();
    for (const Finding& f : findings.Items()) {
        const std::string field = path + f.pointer;
        rapidjson::Value error(rapidjson::kObjectType);
        error.AddMember("field", rapidjson::Value(field.c_str(), static_cast<rapidjson::SizeType>(field.size()), allocator),
                        allocator);
        error.AddMember("error",
                        rapidjson::Value(f.text.c_str(), static_cast<rapidjson::SizeType>(f.text.size()), allocator),
                        allocator);
        result.PushBack(error, allocator);
    }
    return result.Empty();
}

} // namespace JsonValidator
