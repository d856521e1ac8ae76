#include "schema/schema_match.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "formats.h"
#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

thread_local uint64_t tNodeChecks = 0;

std::string_view Text(const rapidjson::Value& v) { return {v.GetString(), v.GetStringLength()}; }

uint64_t CodePoints(const rapidjson::Value& s) {
    uint64_t count = 0;
    for (rapidjson::SizeType i = 0; i < s.GetStringLength(); ++i)
        count += (static_cast<unsigned char>(s.GetString()[i]) & 0xC0) != 0x80;
    return count;
}

bool MultipleOf(const rapidjson::Value& v, const rapidjson::Value& m) {
    if ((v.IsInt64() || v.IsUint64()) && m.IsUint64() && m.GetUint64() > 0) {
        const uint64_t magnitude = v.IsUint64() ? v.GetUint64() : 0 - static_cast<uint64_t>(v.GetInt64());
        return magnitude % m.GetUint64() == 0;
    }
    if (m.GetDouble() <= 0) return true;  // the meta-schema refuses it; it says nothing
    const double q = v.GetDouble() / m.GetDouble();
    if (!std::isfinite(q)) return false;
    // A quotient within rounding of a whole number: 0.0075 / 0.0001 is 74.99999999999999.
    return std::fabs(q - std::nearbyint(q)) <= 1e-9 * std::max(1.0, std::fabs(q));
}

// Object members looked up by name: scanned when few, else indexed once.
class MemberNames {
public:
    explicit MemberNames(const rapidjson::Value& object) : m_object(object) {}
    bool Has(std::string_view name) {
        if (m_object.MemberCount() <= 16) {
            for (auto m = m_object.MemberBegin(); m != m_object.MemberEnd(); ++m)
                if (Text(m->name) == name) return true;
            return false;
        }
        if (m_index.empty())
            for (auto m = m_object.MemberBegin(); m != m_object.MemberEnd(); ++m) m_index.insert(Text(m->name));
        return m_index.count(name) > 0;
    }

private:
    const rapidjson::Value& m_object;
    std::unordered_set<std::string_view> m_index;
};

class Matcher {
public:
    // f, when given, receives the first failure; without it only the
    // verdict counts and the verdicts of shared nodes are kept.
    bool Check(const SchemaNode& start, const rapidjson::Value& v, Outcome* f) {
        const SchemaNode& n = start.ref ? *start.ref : start;
        if (f || !n.shared) return Own(n, v, f);
        auto [slot, added] = m_verdicts.try_emplace(Key{&n, &v}, false);
        if (added) slot->second = Own(n, v, nullptr);  // the slot stays valid: no rehash moves nodes
        return slot->second;
    }

private:
    struct Key {
        const SchemaNode* node;
        const rapidjson::Value* value;
        bool operator==(const Key& o) const { return node == o.node && value == o.value; }
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            return std::hash<const void*>()(k.node) * 31 + std::hash<const void*>()(k.value);
        }
    };

    static bool Fail(const SchemaNode& n, const char* keyword, Outcome* f) {
        if (f) {
            f->valid = false;
            f->node = &n;
            f->keyword = keyword;
            f->valuePointer.clear();
        }
        return false;
    }

    // A member's or element's failure, told from the value holding it.
    template <typename Token>
    static bool Below(const Token& token, Outcome* f) {
        if (f) f->valuePointer.insert(0, TarnSchemaWalk::Child("", token));
        return false;
    }

    bool Own(const SchemaNode& n, const rapidjson::Value& v, Outcome* f) {
        ++tNodeChecks;
        if (!(n.types & TypeBits(v))) return Fail(n, "type", f);
        if (v.IsNumber() && !Number(n, v, f)) return false;
        if (v.IsString() && !String(n, v, f)) return false;
        if (v.IsArray() && !Array(n, v, f)) return false;
        if (v.IsObject() && !Object(n, v, f)) return false;
        if (n.enumValues && !n.enumValues->Contains(v)) return Fail(n, "enum", f);
        for (const SchemaNode* s : n.allOf)
            if (!Check(*s, v, nullptr)) return Fail(n, "allOf", f);
        if (!n.anyOf.empty() &&
            std::none_of(n.anyOf.begin(), n.anyOf.end(), [&](const SchemaNode* s) { return Check(*s, v, nullptr); }))
            return Fail(n, "anyOf", f);
        if (!n.oneOf.empty()) {
            int matched = 0;
            for (const SchemaNode* s : n.oneOf)
                if (Check(*s, v, nullptr) && ++matched > 1) break;
            if (matched != 1) return Fail(n, "oneOf", f);
        }
        if (n.notSchema && Check(*n.notSchema, v, nullptr)) return Fail(n, "not", f);
        return true;
    }

    static bool Number(const SchemaNode& n, const rapidjson::Value& v, Outcome* f) {
        if (n.minimum) {
            const int c = CompareNumbers(v, *n.minimum);
            if (c < 0 || (c == 0 && n.exclusiveMinimum)) return Fail(n, "minimum", f);
        }
        if (n.maximum) {
            const int c = CompareNumbers(v, *n.maximum);
            if (c > 0 || (c == 0 && n.exclusiveMaximum)) return Fail(n, "maximum", f);
        }
        if (n.multipleOf && !MultipleOf(v, *n.multipleOf)) return Fail(n, "multipleOf", f);
        return true;
    }

    static bool String(const SchemaNode& n, const rapidjson::Value& v, Outcome* f) {
        if (n.minLength > 0 || n.maxLength != SchemaNode::kUnbounded) {
            const uint64_t length = CodePoints(v);
            if (length < n.minLength) return Fail(n, "minLength", f);
            if (length > n.maxLength) return Fail(n, "maxLength", f);
        }
        if (!n.format.empty() && !TarnPlatform::FormatHolds(n.format, v.GetString(), v.GetStringLength()))
            return Fail(n, "format", f);
        if (n.pattern && !TarnPlatform::PatternSearch(*n.pattern, v.GetString(), v.GetStringLength()))
            return Fail(n, "pattern", f);
        return true;
    }

    bool Array(const SchemaNode& n, const rapidjson::Value& v, Outcome* f) {
        const size_t firstRepeat = n.uniqueItems ? JsonValueIndex(v).FirstRepeat() : v.Size();
        for (rapidjson::SizeType i = 0; i < v.Size(); ++i) {
            const SchemaNode* item = n.items;
            if (n.tupleItems) {
                if (i < n.tuple.size())
                    item = n.tuple[i];
                else if (n.noAdditionalItems)
                    return Fail(n, "items", f) || Below(i, f);
                else
                    item = n.additionalItems;
            }
            if (item && !Check(*item, v[i], f)) return Below(i, f);
            if (i == firstRepeat) return Fail(n, "uniqueItems", f);
        }
        if (v.Size() < n.minItems) return Fail(n, "minItems", f);
        if (v.Size() > n.maxItems) return Fail(n, "maxItems", f);
        return true;
    }

    bool Object(const SchemaNode& n, const rapidjson::Value& v, Outcome* f) {
        for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) {
            const std::string_view name = Text(m->name);
            bool described = false;
            if (auto p = n.properties.find(name); p != n.properties.end()) {
                described = true;
                if (!Check(*p->second, m->value, f)) return Below(std::string(name), f);
            }
            for (const auto& [pattern, schema] : n.patternProperties)
                if (TarnPlatform::PatternSearch(*pattern, name.data(), name.size())) {
                    described = true;
                    if (!Check(*schema, m->value, f)) return Below(std::string(name), f);
                }
            if (described) continue;
            if (n.noAdditionalProperties) return Fail(n, "additionalProperties", f) || Below(std::string(name), f);
            if (n.additionalProperties && !Check(*n.additionalProperties, m->value, f)) return Below(std::string(name), f);
        }
        MemberNames names(v);
        for (std::string_view r : n.required)
            if (!names.Has(r)) return Fail(n, "required", f);
        if (v.MemberCount() < n.minProperties) return Fail(n, "minProperties", f);
        if (v.MemberCount() > n.maxProperties) return Fail(n, "maxProperties", f);
        for (const SchemaNode::Dependency& d : n.dependencies) {
            if (!names.Has(d.member)) continue;
            for (std::string_view m : d.members)
                if (!names.Has(m)) return Fail(n, "dependencies", f);
            if (d.schema && !Check(*d.schema, v, nullptr)) return Fail(n, "dependencies", f);
        }
        return true;
    }

    std::unordered_map<Key, bool, KeyHash> m_verdicts;
};

} // namespace

Outcome Match(const SchemaNode& node, const rapidjson::Value& value) {
    Outcome o;
    Matcher().Check(node, value, &o);
    return o;
}

bool Matches(const SchemaNode& node, const rapidjson::Value& value) { return Matcher().Check(node, value, nullptr); }

uint64_t NodeChecks() { return tNodeChecks; }

} // namespace TarnSchemaValidation
