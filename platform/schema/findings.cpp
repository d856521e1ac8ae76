#include "schema/findings.h"

#include <string_view>
#include <unordered_set>
#include <utility>

#include "formats.h"
#include "schema/compiled_schema.h"
#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

using TarnSchemaWalk::Member;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The keyword's value in the node as compact text ("?" when absent).
std::string KeywordValue(const rapidjson::Value& node, const char* keyword) {
    const rapidjson::Value* v = Member(node, keyword);
    return v ? Excerpt(*v) : "?";
}

std::string Plural(const std::string& count, const char* word) {
    return count + " " + word + (count == "1" ? "" : "s");
}

std::string Found(const rapidjson::Value* actual) {
    return actual ? ", found " + Excerpt(*actual) : std::string();
}

std::string ExpectedTypes(const rapidjson::Value& node) {
    const rapidjson::Value* t = Member(node, "type");
    if (!t) return "?";
    if (t->IsString()) return t->GetString();
    std::string out;
    if (t->IsArray())
        for (const auto& e : t->GetArray()) {
            if (!e.IsString()) continue;
            if (!out.empty()) out += " or ";
            out += e.GetString();
        }
    return out.empty() ? "?" : out;
}

std::string DependencyText(const rapidjson::Value& node, const rapidjson::Value* actual) {
    const rapidjson::Value* deps = Member(node, "dependencies");
    if (deps && deps->IsObject() && actual && actual->IsObject()) {
        for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d) {
            if (!actual->HasMember(d->name)) continue;
            const std::string source(d->name.GetString(), d->name.GetStringLength());
            if (d->value.IsArray()) {
                for (const auto& target : d->value.GetArray())
                    if (target.IsString() && !actual->HasMember(target))
                        return "member " + Quoted(source) + " requires member " + Quoted(target.GetString());
            }
        }
        for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d)
            if (actual->HasMember(d->name) && d->value.IsObject())
                return "with member " + Quoted(std::string(d->name.GetString(), d->name.GetStringLength())) +
                       " the object must match the schema under dependencies";
    }
    return "a member's dependency is not satisfied";
}

std::string CountOf(const rapidjson::Value& node, const char* keyword) {
    const rapidjson::Value* v = Member(node, keyword);
    return v && v->IsArray() ? std::to_string(v->Size()) : "?";
}

} // namespace

void Findings::Add(std::string pointer, std::string text) {
    if (!WantsMore()) return;
    m_items.push_back({std::move(pointer), std::move(text)});
}

const char* TypeName(const rapidjson::Value& value) {
    switch (value.GetType()) {
    case rapidjson::kNullType: return "null";
    case rapidjson::kFalseType:
    case rapidjson::kTrueType: return "boolean";
    case rapidjson::kObjectType: return "object";
    case rapidjson::kArrayType: return "array";
    case rapidjson::kStringType: return "string";
    case rapidjson::kNumberType: return IsIntegerNumber(value) ? "integer" : "number";
    }
    return "value";
}

std::string Excerpt(const rapidjson::Value& value, size_t limit) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (!value.Accept(writer)) return "(unprintable)";
    std::string text(buffer.GetString(), buffer.GetSize());
    if (text.size() > limit) text = text.substr(0, limit) + "...";
    return text;
}

std::string LastToken(const std::string& pointer) {
    size_t slash = pointer.rfind('/');
    std::string token = slash == std::string::npos ? pointer : pointer.substr(slash + 1);
    std::string out;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '~' && i + 1 < token.size() && (token[i + 1] == '0' || token[i + 1] == '1')) {
            out += token[i + 1] == '0' ? '~' : '/';
            ++i;
        } else {
            out += token[i];
        }
    }
    return out;
}

std::vector<std::string> MissingRequired(const rapidjson::Value& node, const rapidjson::Value& value) {
    std::vector<std::string> missing;
    const rapidjson::Value* required = Member(node, "required");
    if (!required || !required->IsArray() || !value.IsObject()) return missing;
    std::unordered_set<std::string_view> present;  // one pass over the members, not one per name
    for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m)
        present.emplace(m->name.GetString(), m->name.GetStringLength());
    for (const auto& name : required->GetArray())
        if (name.IsString() && !present.count({name.GetString(), name.GetStringLength()}))
            missing.emplace_back(name.GetString(), name.GetStringLength());
    return missing;
}

std::string Describe(const std::string& keyword, const rapidjson::Value& node, const rapidjson::Value* actual,
                     const std::string& member) {
    std::string text;
    if (keyword == "type") {
        text = "expected " + ExpectedTypes(node) + (actual ? std::string(", found ") + TypeName(*actual) : "");
    } else if (keyword == "enum") {
        text = "expected one of " + KeywordValue(node, "enum") + Found(actual);
    } else if (keyword == "minimum") {
        bool exclusive = TarnSchemaWalk::IsTrue(Member(node, "exclusiveMinimum"));
        text = std::string("expected a number ") + (exclusive ? "> " : ">= ") + KeywordValue(node, "minimum") +
               Found(actual);
    } else if (keyword == "maximum") {
        bool exclusive = TarnSchemaWalk::IsTrue(Member(node, "exclusiveMaximum"));
        text = std::string("expected a number ") + (exclusive ? "< " : "<= ") + KeywordValue(node, "maximum") +
               Found(actual);
    } else if (keyword == "multipleOf") {
        text = "expected a multiple of " + KeywordValue(node, "multipleOf") + Found(actual);
    } else if (keyword == "minLength" || keyword == "maxLength") {
        text = std::string("expected ") + (keyword == "minLength" ? "at least " : "at most ") +
               Plural(KeywordValue(node, keyword.c_str()), "character") +
               (actual ? ", found " + Excerpt(*actual) : "");
    } else if (keyword == "format") {
        const rapidjson::Value* format = Member(node, "format");
        text = "expected " + TarnPlatform::FormatDescription(format->GetString()) + Found(actual);
    } else if (keyword == "pattern") {
        text = "expected a string matching " + KeywordValue(node, "pattern") + Found(actual);
    } else if (keyword == "minItems" || keyword == "maxItems") {
        text = std::string("expected ") + (keyword == "minItems" ? "at least " : "at most ") +
               Plural(KeywordValue(node, keyword.c_str()), "element") +
               (actual && actual->IsArray() ? ", found " + std::to_string(actual->Size()) : "");
    } else if (keyword == "uniqueItems") {
        text = "expected unique elements, found a repeated one";
    } else if (keyword == "items") {
        text = "expected at most " + Plural(CountOf(node, "items"), "element") + " (additionalItems is false)";
    } else if (keyword == "minProperties" || keyword == "maxProperties") {
        text = std::string("expected ") + (keyword == "minProperties" ? "at least " : "at most ") +
               Plural(KeywordValue(node, keyword.c_str()), "member") +
               (actual && actual->IsObject() ? ", found " + std::to_string(actual->MemberCount()) : "");
    } else if (keyword == "required") {
        text = "missing member " + Quoted(member);
    } else if (keyword == "additionalProperties") {
        const rapidjson::Value* kind = Member(node, "x-memberKind");
        text = kind && kind->IsString() ? std::string("unknown ") + kind->GetString() + " " + Quoted(member)
                                        : "member " + Quoted(member) + " is not allowed";
    } else if (keyword == "patternProperties") {
        text = "member " + Quoted(member) + " does not match the schemas of the patterns it matches";
    } else if (keyword == "dependencies") {
        text = DependencyText(node, actual);
    } else if (keyword == "allOf") {
        text = "expected to match all " + CountOf(node, "allOf") + " schemas";
    } else if (keyword == "anyOf") {
        text = "expected to match at least one of " + CountOf(node, "anyOf") + " schemas";
    } else if (keyword == "oneOf") {
        text = "expected to match exactly one of " + CountOf(node, "oneOf") + " schemas";
    } else if (keyword == "not") {
        const rapidjson::Value* sub = Member(node, "not");
        text = sub && sub->IsObject() && sub->MemberCount() == 0 ? "no value is allowed here"
                                                                  : "expected not to match the schema under not";
    } else {
        text = "the value does not satisfy it";
    }
    const rapidjson::Value* title = Member(node, "title");
    if (title && title->IsString() && title->GetStringLength() > 0) text += std::string(" (") + title->GetString() + ")";
    return keyword + ": " + text;
}

} // namespace TarnSchemaValidation
