#include "schema/entry_schema_checks.h"

#include "schema/compiled_schema.h"
#include "schema/schema_walk.h"
#include "tarn/platform/json_validator.h"
#include "tarn/platform/pattern.h"

namespace TarnSchemaEntry {
namespace {

using TarnSchemaWalk::Member;

// The meta-schema, parsed once; its compiled form is kept.
const rapidjson::Value& MetaSchema() {
    static rapidjson::Document meta;
    static const bool ready = [] {
        TarnJson::Parse(meta, Draft4MetaSchemaText());
        TarnSchemaValidation::RegisterStableSchema(&meta);
        return true;
    }();
    (void)ready;
    return meta;
}

using TarnSchemaWalk::Step;
using TarnSchemaWalk::StepPath;

std::string Where(const std::string& pointer) { return "at '" + (pointer.empty() ? "/" : pointer) + "'"; }
std::string Where(const StepPath* path) { return Where(TarnSchemaWalk::PointerOf(path)); }

bool RegexCompiles(const rapidjson::Value& text) {
    if (!text.IsString()) return true;  // the meta-schema reports the type
    return TarnPlatform::CompilePattern(text.GetString(), text.GetStringLength()) != nullptr;
}

// Regular expressions and markers of every subschema.
std::string NodeProblem(const rapidjson::Value& node, const StepPath* path) {
    if (const rapidjson::Value* pattern = Member(node, "pattern"); pattern && !RegexCompiles(*pattern))
        return "pattern '" + std::string(pattern->GetString()) + "' " + Where(path) +
               " is not a regular expression the validator supports";
    if (const rapidjson::Value* patterns = Member(node, "patternProperties"); patterns && patterns->IsObject())
        for (auto p = patterns->MemberBegin(); p != patterns->MemberEnd(); ++p)
            if (!RegexCompiles(p->name))
                return "patternProperties key '" + std::string(p->name.GetString()) + "' " + Where(path) +
                       " is not a regular expression the validator supports";
    for (const char* marker : {TarnSchemaWalk::MARK_VITAL, TarnSchemaWalk::MARK_CACHED})
        if (const rapidjson::Value* m = Member(node, marker); m && !TarnSchemaWalk::IsTrue(m))
            return std::string("marker \"") + marker + "\" " + Where(path) +
                   " must be true (leave it out for the user layer)";
    if (const rapidjson::Value* m = Member(node, TarnSchemaWalk::MARK_INSTANCE_ID); m && !m->IsBool())
        return std::string("marker \"instanceId\" ") + Where(path) + " must be a boolean";
    std::string problem;
    TarnSchemaWalk::ForEachSubschema(node, [&](const rapidjson::Value& sub, const Step& step) {
        const StepPath here{path, &step};
        if (problem.empty()) problem = NodeProblem(sub, &here);
    });
    return problem;
}

// The layer split reads "items"/"type" of every array it meets, so each
// array node on its path (through "properties" and object "items") must
// have an "items" object with a "type".
std::string SplitPathProblem(const rapidjson::Value& node, const StepPath* path) {
    if (!node.IsObject() || TarnSchemaWalk::IsInstanceIdNode(node)) return {};
    const rapidjson::Value* items = Member(node, "items");
    if (items || TarnSchemaWalk::TypeIncludes(node, "array")) {
        if (!items || !items->IsObject() || !Member(*items, "type"))
            return "array node " + Where(path) + " needs an \"items\" object with a \"type\"";
        if (TarnSchemaWalk::StringEquals(Member(*items, "type"), "object")) {
            const Step step{"items", Step::kSelf, {}, 0};
            const StepPath here{path, &step};
            std::string problem = SplitPathProblem(*items, &here);
            if (!problem.empty()) return problem;
        }
    }
    if (const rapidjson::Value* props = Member(node, "properties"); props && props->IsObject())
        for (auto p = props->MemberBegin(); p != props->MemberEnd(); ++p) {
            const Step step{"properties", Step::kMember, {p->name.GetString(), p->name.GetStringLength()}, 0};
            const StepPath here{path, &step};
            std::string problem = SplitPathProblem(p->value, &here);
            if (!problem.empty()) return problem;
        }
    return {};
}

} // namespace

std::string FindSchemaProblem(const rapidjson::Value& schema) {
    std::string problem = TarnSchemaValidation::FindCompileProblem(schema);
    if (!problem.empty()) return problem;

    rapidjson::Document result;
    JsonValidator::Validate(MetaSchema(), schema, result, {JsonValidator::CHECK_SCHEMA, JsonValidator::ALL_ERRORS}, "");
    if (!result.Empty()) {
        std::string text = "not a draft-4 schema: " + Where(result[0]["field"].GetString()) + " " +
                           result[0]["error"].GetString();
        if (result.Size() > 1) text += " (and " + std::to_string(result.Size() - 1) + " more)";
        return text;
    }
    problem = NodeProblem(schema, nullptr);
    if (problem.empty()) problem = SplitPathProblem(schema, nullptr);
    return problem;
}

} // namespace TarnSchemaEntry
