#include "schema/keyword_check.h"

#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "schema/schema_match.h"
#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

using TarnSchemaWalk::At;
using TarnSchemaWalk::Child;
using TarnSchemaWalk::Member;

// The top member of copy under which node sits, or empty when it is not
// inside copy.
std::string_view TopKeyword(const rapidjson::Value& copy, const rapidjson::Value* node) {
    for (auto m = copy.MemberBegin(); m != copy.MemberEnd(); ++m) {
        std::vector<const rapidjson::Value*> pending{&m->value};
        while (!pending.empty()) {
            const rapidjson::Value* v = pending.back();
            pending.pop_back();
            if (v == node) return {m->name.GetString(), m->name.GetStringLength()};
            if (v->IsObject())
                for (auto c = v->MemberBegin(); c != v->MemberEnd(); ++c) pending.push_back(&c->value);
            else if (v->IsArray())
                for (auto e = v->Begin(); e != v->End(); ++e) pending.push_back(e);
        }
    }
    return {};
}

class Collector {
public:
    Collector(const SchemaGraph& graph, Findings& findings) : m_graph(graph), m_findings(findings) {}

    // Adds the first error of value against the node.
    void First(const SchemaNode& node, const rapidjson::Value& value, const std::string& valuePointer) {
        Outcome o = Match(node, value);
        if (!o.valid) Report(*o.node->source, o, value, valuePointer, true);
    }

    // Adds every error of value, known to be invalid against the node, that
    // can be told apart: the members and elements are validated against
    // their own nodes (and the branches of "allOf" separately), then the
    // node's own keywords against a copy of the node whose member and
    // element schemas accept anything; each keyword that fails there is
    // reported and taken out, and the copy validated again. A node reached
    // again for the same value (through another reference) adds nothing new.
    void Collect(const SchemaNode& start, const rapidjson::Value& value, const std::string& valuePointer) {
        const SchemaNode& node = start.ref ? *start.ref : start;
        if (!m_collected.insert({&node, &value}).second) return;
        if (!node.source->IsObject()) {
            First(node, value, valuePointer);
            return;
        }
        const size_t before = m_findings.Count();
        CollectParts(node, value, valuePointer);
        CollectOwnKeywords(node, value, valuePointer);
        if (m_findings.Count() == before) First(node, value, valuePointer);
    }

private:
    static constexpr int kMaxRounds = 64;

    void CollectParts(const SchemaNode& node, const rapidjson::Value& value, const std::string& valuePointer) {
        auto part = [&](const SchemaNode* sub, const rapidjson::Value& v, const std::string& at) {
            if (sub && sub->source->IsObject() && !Matches(*sub, v)) Collect(*sub, v, at);
        };
        if (value.IsObject() && !node.properties.empty())
            for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
                const std::string_view name(m->name.GetString(), m->name.GetStringLength());
                if (auto sub = node.properties.find(name); sub != node.properties.end())
                    part(sub->second, m->value, Child(valuePointer, std::string(name)));
            }
        if (value.IsArray())
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i) {
                if (node.tupleItems && i >= node.tuple.size()) break;
                part(node.tupleItems ? node.tuple[i] : node.items, value[i], Child(valuePointer, i));
            }
        for (const SchemaNode* branch : node.allOf) part(branch, value, valuePointer);
    }

    void CollectOwnKeywords(const SchemaNode& node, const rapidjson::Value& value, const std::string& valuePointer) {
        rapidjson::Document shallow;
        auto& allocator = shallow.GetAllocator();
        shallow.CopyFrom(*node.source, allocator);
        if (rapidjson::Value* props = Member(shallow, "properties"); props && props->IsObject())
            for (auto m = props->MemberBegin(); m != props->MemberEnd(); ++m) m->value.SetObject();
        if (rapidjson::Value* items = Member(shallow, "items")) {
            if (items->IsObject()) items->SetObject();
            if (items->IsArray())
                for (auto e = items->Begin(); e != items->End(); ++e) e->SetObject();
        }
        shallow.RemoveMember("allOf");

        for (int round = 0; round < kMaxRounds; ++round) {
            const SchemaGraph part(shallow, m_graph);
            Outcome o = Match(part.Root(), value);
            if (o.valid) return;
            const rapidjson::Value& failed = *o.node->source;
            const std::string where = valuePointer + o.valuePointer;
            const rapidjson::Value* actual = At(value, o.valuePointer);
            if (&failed != &shallow) {
                // Inside a subschema the copy kept (patternProperties,
                // additionalProperties, additionalItems), possibly behind a
                // reference: report, and quiet the keyword that led there.
                Report(failed, o, value, valuePointer, false);
                const std::string_view top = TopKeyword(shallow, &failed);
                bool changed;
                if (!top.empty()) {
                    changed = Quiet(shallow, std::string(top));
                } else {  // a member's or element's value: every schema that describes one
                    const bool patterns = Quiet(shallow, "patternProperties");
                    const bool additional = Quiet(shallow, "additionalProperties");
                    changed = Quiet(shallow, "additionalItems") || patterns || additional;
                }
                if (!changed) return;
                continue;
            }
            if (o.keyword == "required") {
                for (const std::string& name : MissingRequired(shallow, actual ? *actual : value))
                    m_findings.Add(where, Describe("required", shallow, actual, name));
                shallow.RemoveMember("required");
                continue;
            }
            if (o.keyword == "additionalProperties") {
                const std::string name = LastToken(o.valuePointer);
                m_findings.Add(where, Describe(o.keyword, shallow, actual, name));
                rapidjson::Value* props = Member(shallow, "properties");
                if (!props || !props->IsObject()) {
                    shallow.RemoveMember("properties");
                    shallow.AddMember("properties", rapidjson::Value(rapidjson::kObjectType), allocator);
                    props = Member(shallow, "properties");
                }
                props->AddMember(rapidjson::Value(name.c_str(), static_cast<rapidjson::SizeType>(name.size()), allocator),
                                 rapidjson::Value(rapidjson::kObjectType), allocator);
                continue;
            }
            m_findings.Add(where, Describe(o.keyword, shallow, actual, LastToken(o.valuePointer)));
            if (o.keyword == "type") return;  // nothing else says more about a value of the wrong type
            if (!Quiet(shallow, o.keyword == "items" ? "additionalItems" : o.keyword)) return;
        }
    }

    // Makes a keyword of the copy accept anything; false when it did already.
    // Member schemas become empty rather than go, so a member matched by a
    // pattern does not turn into an additional one.
    static bool Quiet(rapidjson::Value& shallow, const std::string& keyword) {
        rapidjson::Value* v = Member(shallow, keyword.c_str());
        if (!v) return false;
        bool changed = false;
        if (keyword == "patternProperties" && v->IsObject()) {
            for (auto p = v->MemberBegin(); p != v->MemberEnd(); ++p) {
                changed = changed || !p->value.IsObject() || p->value.MemberCount() > 0;
                p->value.SetObject();
            }
            return changed;
        }
        if ((keyword == "additionalProperties" || keyword == "additionalItems") && v->IsObject()) {
            changed = v->MemberCount() > 0;
            v->SetObject();
            return changed;
        }
        return shallow.RemoveMember(keyword.c_str());
    }

    void Report(const rapidjson::Value& node, const Outcome& o, const rapidjson::Value& value,
                const std::string& valuePointer, bool firstMissingOnly) {
        const rapidjson::Value* actual = At(value, o.valuePointer);
        const std::string where = valuePointer + o.valuePointer;
        if (o.keyword == "required" && actual) {
            std::vector<std::string> missing = MissingRequired(node, *actual);
            if (firstMissingOnly && missing.size() > 1) missing.resize(1);
            for (const std::string& name : missing) m_findings.Add(where, Describe(o.keyword, node, actual, name));
            if (!missing.empty()) return;
        }
        m_findings.Add(where, Describe(o.keyword, node, actual, LastToken(o.valuePointer)));
    }

    struct Seen {
        size_t operator()(const std::pair<const SchemaNode*, const rapidjson::Value*>& k) const {
            return std::hash<const void*>()(k.first) * 31 + std::hash<const void*>()(k.second);
        }
    };

    const SchemaGraph& m_graph;
    Findings& m_findings;
    std::unordered_set<std::pair<const SchemaNode*, const rapidjson::Value*>, Seen> m_collected;
};

} // namespace

void CheckKeywords(const CompiledSchema& compiled, const rapidjson::Value& value, Findings& findings) {
    const SchemaNode& root = compiled.graph->Root();
    if (Matches(root, value)) return;
    Collector collector(*compiled.graph, findings);
    if (findings.All())
        collector.Collect(root, value, "");
    else
        collector.First(root, value, "");
}

} // namespace TarnSchemaValidation
