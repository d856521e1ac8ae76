// Walking a JSON schema: the positions that hold subschemas, JSON pointer
// texts and the layer markers.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "tarn/rapidjson.h"

namespace TarnSchemaWalk {

// Layer markers of schema nodes.
inline constexpr char MARK_INSTANCE_ID[] = "instanceId";
inline constexpr char MARK_VITAL[] = "vital";
inline constexpr char MARK_CACHED[] = "cached";

// The first member of an object so named, or null (also when value is not
// an object). The name's length is taken once and compared before its
// bytes: schema walks look up many keywords in every node.
template <typename V>
auto Member(V& value, const char* name) -> decltype(&value.MemberBegin()->value) {
    if (!value.IsObject()) return nullptr;
    const size_t length = std::strlen(name);
    for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m)
        if (m->name.GetStringLength() == length && std::memcmp(m->name.GetString(), name, length) == 0)
            return &m->value;
    return nullptr;
}

inline bool IsTrue(const rapidjson::Value* v) { return v && v->IsBool() && v->GetBool(); }

// Node carries "instanceId": true.
inline bool IsInstanceIdNode(const rapidjson::Value& node) { return IsTrue(Member(node, MARK_INSTANCE_ID)); }

inline bool HasLayerMarker(const rapidjson::Value& node) {
    return Member(node, MARK_VITAL) || Member(node, MARK_CACHED);
}

inline bool StringEquals(const rapidjson::Value* v, const char* text) {
    return v && v->IsString() && std::strcmp(v->GetString(), text) == 0;
}

// Whether the node's "type" names the type (as a string or in an array).
bool TypeIncludes(const rapidjson::Value& node, const char* type);

// One reference token of a JSON pointer, escaped ("~" as "~0", "/" as "~1").
std::string EscapeToken(const std::string& token);
inline std::string Child(const std::string& pointer, const std::string& token) {
    return pointer + "/" + EscapeToken(token);
}
inline std::string Child(const std::string& pointer, size_t index) {
    return pointer + "/" + std::to_string(index);
}

// The URI fragment ("#/...") of a JSON pointer text, as "$ref" wants it.
std::string UriFragment(const std::string& pointer);
// The value at a JSON pointer text, or null.
const rapidjson::Value* At(const rapidjson::Value& root, const std::string& pointer);

// Where a subschema sits in its node: under a keyword, itself ("/not"), as
// one of its members ("/properties/a") or one of its elements ("/items/0").
// Text() makes the pointer suffix, which most walks need only for a message.
struct Step {
    enum Kind { kSelf, kMember, kElement };
    std::string_view keyword;
    Kind kind = kSelf;
    std::string_view name;  // of a member
    size_t index = 0;       // of an element
    std::string Text() const;
};

// The steps from the root to a subschema (null: the root itself), for walks
// that need its pointer only for a message.
struct StepPath {
    const StepPath* parent;
    const Step* step;
};
std::string PointerOf(const StepPath* path);

// Calls visit(child, step) for every subschema of node: the members of
// "properties", "patternProperties", "definitions" and the schema-valued
// ones of "dependencies"; "additionalProperties", "additionalItems" and
// "not" when they are objects; "items" (object or each element of the
// array); each element of "allOf", "anyOf", "oneOf".
template <typename V, typename F>
void ForEachSubschema(V& node, F&& visit) {
    if (!node.IsObject()) return;
    for (auto m = node.MemberBegin(); m != node.MemberEnd(); ++m) {
        const std::string_view key(m->name.GetString(), m->name.GetStringLength());
        auto& value = m->value;
        if (key == "properties" || key == "patternProperties" || key == "definitions" || key == "dependencies") {
            if (!value.IsObject()) continue;
            for (auto s = value.MemberBegin(); s != value.MemberEnd(); ++s)
                if (s->value.IsObject())
                    visit(s->value, Step{key, Step::kMember, {s->name.GetString(), s->name.GetStringLength()}});
        } else if (key == "additionalProperties" || key == "additionalItems" || key == "not") {
            if (value.IsObject()) visit(value, Step{key, Step::kSelf, {}, 0});
        } else if (key == "items" && value.IsObject()) {
            visit(value, Step{key, Step::kSelf, {}, 0});
        } else if (key == "items" || key == "allOf" || key == "anyOf" || key == "oneOf") {
            if (!value.IsArray()) continue;
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
                if (value[i].IsObject()) visit(value[i], Step{key, Step::kElement, {}, i});
        }
    }
}

// Nesting depth of a value (a scalar is 1), given up once it passes limit.
size_t Depth(const rapidjson::Value& value, size_t limit);

} // namespace TarnSchemaWalk
