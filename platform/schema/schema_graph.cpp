// Compiling a schema into its graph of nodes.
#include <vector>

#include "formats.h"
#include "schema/compiled_schema.h"
#include "schema/schema_refs.h"
#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

enum : unsigned { kNull = 1, kBoolean = 2, kObject = 4, kArray = 8, kString = 16, kNumber = 32, kInteger = 64 };

unsigned TypeNamed(std::string_view name) {
    static const std::pair<std::string_view, unsigned> kNames[] = {
        {"null", kNull},     {"boolean", kBoolean}, {"object", kObject},   {"array", kArray},
        {"string", kString}, {"number", kNumber},   {"integer", kInteger},
    };
    for (const auto& [text, bit] : kNames)
        if (text == name) return bit;
    return 0;
}

std::string_view Text(const rapidjson::Value& v) { return {v.GetString(), v.GetStringLength()}; }

// A count keyword ("minLength", ...); fallback when it is not one.
uint64_t Count(const rapidjson::Value& v, uint64_t fallback) {
    if (v.IsUint64()) return v.GetUint64();
    if (v.IsNumber() && v.GetDouble() >= 0) return v.GetDouble() < 1.8e19 ? static_cast<uint64_t>(v.GetDouble()) : fallback;
    return fallback;
}

TarnPlatform::PatternPtr PatternOf(const rapidjson::Value& text) {
    return text.IsString() ? TarnPlatform::CompilePattern(text.GetString(), text.GetStringLength()) : nullptr;
}

} // namespace

bool IsIntegerNumber(const rapidjson::Value& v) {
    if (v.IsInt64() || v.IsUint64()) return true;
    // Integer literals beyond 64 bits arrive as doubles; every double that
    // far out is whole. Within the range a double was written with a
    // fraction or an exponent, and draft 4 counts 1.0 as no integer.
    const double d = v.GetDouble();
    return d >= 0x1p64 || d < -0x1p63;
}

unsigned TypeBits(const rapidjson::Value& v) {
    switch (v.GetType()) {
    case rapidjson::kNullType: return kNull;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType: return kBoolean;
    case rapidjson::kObjectType: return kObject;
    case rapidjson::kArrayType: return kArray;
    case rapidjson::kStringType: return kString;
    case rapidjson::kNumberType: return IsIntegerNumber(v) ? kNumber | kInteger : kNumber;
    }
    return 0;
}

// Nodes are made empty when first named and filled from a work list, so
// compiling never recurses, however long a chain of references.
class SchemaGraph::Builder {
public:
    Builder(SchemaGraph& graph, const SchemaGraph* base)
        : m_graph(graph), m_base(base), m_refs(base ? base->m_source : graph.m_source) {}

    void Run() {
        m_graph.m_root = Get(m_graph.m_source);
        while (!m_pending.empty()) {
            SchemaNode* node = m_pending.back();
            m_pending.pop_back();
            Fill(*node);
        }
        CollapseRefs();
    }

private:
    const SchemaNode* Get(const rapidjson::Value& source) {
        if (m_base)
            if (const SchemaNode* known = m_base->NodeOf(&source)) return known;
        auto [slot, added] = m_graph.m_bySource.try_emplace(&source, nullptr);
        if (added) {
            SchemaNode& node = m_graph.m_nodes.emplace_back();
            node.source = &source;
            slot->second = &node;
            m_pending.push_back(&node);
        }
        return slot->second;
    }

    void Fill(SchemaNode& n) {
        const rapidjson::Value& s = *n.source;
        if (!s.IsObject()) return;
        if (const rapidjson::Value* ref = TarnSchemaWalk::Member(s, "$ref"); ref && ref->IsString()) {
            if (const rapidjson::Value* target = m_refs.Target(*ref); target && target->IsObject()) {
                n.ref = Get(*target);
                MarkShared(n.ref);
            }
            return;
        }
        for (auto m = s.MemberBegin(); m != s.MemberEnd(); ++m) Keyword(n, Text(m->name), m->value);
    }

    // One keyword (FindCompileProblem refuses names given twice).
    void Keyword(SchemaNode& n, std::string_view key, const rapidjson::Value& v) {
        if (key == "type") {
            if (v.IsString()) n.types = TypeNamed(Text(v));
            if (v.IsArray()) {
                n.types = 0;
                for (const auto& t : v.GetArray())
                    if (t.IsString()) n.types |= TypeNamed(Text(t));
            }
        } else if (key == "minimum" || key == "maximum" || key == "multipleOf") {
            if (v.IsNumber()) (key == "minimum" ? n.minimum : key == "maximum" ? n.maximum : n.multipleOf) = &v;
        } else if (key == "exclusiveMinimum" || key == "exclusiveMaximum") {
            (key == "exclusiveMinimum" ? n.exclusiveMinimum : n.exclusiveMaximum) = v.IsTrue();
        } else if (key == "minLength") { n.minLength = Count(v, 0);
        } else if (key == "maxLength") { n.maxLength = Count(v, SchemaNode::kUnbounded);
        } else if (key == "minItems") { n.minItems = Count(v, 0);
        } else if (key == "maxItems") { n.maxItems = Count(v, SchemaNode::kUnbounded);
        } else if (key == "minProperties") { n.minProperties = Count(v, 0);
        } else if (key == "maxProperties") { n.maxProperties = Count(v, SchemaNode::kUnbounded);
        } else if (key == "pattern") {
            n.pattern = PatternOf(v);
        } else if (key == "format") {
            if (v.IsString() && TarnPlatform::IsCheckedFormat(Text(v))) n.format = Text(v);
        } else if (key == "items") {
            if (v.IsObject()) n.items = Get(v);
            if (v.IsArray()) {
                n.tupleItems = true;
                for (const auto& e : v.GetArray()) n.tuple.push_back(Get(e));
            }
        } else if (key == "additionalItems") {
            n.noAdditionalItems = v.IsFalse();
            if (v.IsObject()) n.additionalItems = Get(v);
        } else if (key == "uniqueItems") {
            n.uniqueItems = v.IsTrue();
        } else if (key == "properties") {
            if (v.IsObject()) {
                n.properties.reserve(v.MemberCount());
                for (auto p = v.MemberBegin(); p != v.MemberEnd(); ++p) n.properties.emplace(Text(p->name), Get(p->value));
            }
        } else if (key == "patternProperties") {
            if (v.IsObject())
                for (auto p = v.MemberBegin(); p != v.MemberEnd(); ++p)
                    if (auto pattern = PatternOf(p->name)) n.patternProperties.emplace_back(std::move(pattern), Get(p->value));
        } else if (key == "additionalProperties") {
            n.noAdditionalProperties = v.IsFalse();
            if (v.IsObject()) n.additionalProperties = Get(v);
        } else if (key == "required") {
            if (v.IsArray())
                for (const auto& r : v.GetArray())
                    if (r.IsString()) n.required.push_back(Text(r));
        } else if (key == "dependencies") {
            if (v.IsObject())
                for (auto d = v.MemberBegin(); d != v.MemberEnd(); ++d) {
                    SchemaNode::Dependency dep;
                    dep.member = Text(d->name);
                    if (d->value.IsObject()) dep.schema = Get(d->value);
                    else if (d->value.IsArray())
                        for (const auto& m : d->value.GetArray())
                            if (m.IsString()) dep.members.push_back(Text(m));
                    n.dependencies.push_back(std::move(dep));
                }
        } else if (key == "enum") {
            if (v.IsArray()) n.enumValues = std::make_unique<JsonValueIndex>(v);
        } else if (key == "allOf" || key == "anyOf" || key == "oneOf") {
            auto& list = key == "allOf" ? n.allOf : key == "anyOf" ? n.anyOf : n.oneOf;
            if (v.IsArray())
                for (const auto& e : v.GetArray()) list.push_back(Get(e));
        } else if (key == "not") {
            if (v.IsObject()) n.notSchema = Get(v);
        }
    }

    // Every reference leads to a node without one: chains are followed once
    // here instead of at every validation.
    void CollapseRefs() {
        std::vector<SchemaNode*> path;
        for (SchemaNode& n : m_graph.m_nodes) {
            path.clear();
            SchemaNode* at = &n;
            while (at->ref && at->ref->ref) {
                path.push_back(at);
                at = const_cast<SchemaNode*>(at->ref);
            }
            if (!at->ref) continue;
            for (SchemaNode* p : path) p->ref = at->ref;
            MarkShared(at->ref);
        }
    }

    // Only the graph's own nodes: those of the base are shared by threads.
    void MarkShared(const SchemaNode* node) {
        auto own = m_graph.m_bySource.find(node->source);
        if (own != m_graph.m_bySource.end() && own->second == node) const_cast<SchemaNode*>(node)->shared = true;
    }

    SchemaGraph& m_graph;
    const SchemaGraph* m_base;
    TarnSchemaWalk::RefResolver m_refs;
    std::vector<SchemaNode*> m_pending;
};

SchemaGraph::SchemaGraph(const rapidjson::Value& root) : m_source(root) { Builder(*this, nullptr).Run(); }

SchemaGraph::SchemaGraph(const rapidjson::Value& detached, const SchemaGraph& base) : m_source(detached) {
    Builder(*this, &base).Run();
}

const SchemaNode* SchemaGraph::NodeOf(const rapidjson::Value* source) const {
    auto found = m_bySource.find(source);
    return found == m_bySource.end() ? nullptr : found->second;
}

} // namespace TarnSchemaValidation
