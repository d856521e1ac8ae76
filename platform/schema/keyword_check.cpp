#include "schema/keyword_check.h"

#include <cstddef>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

using TarnSchemaWalk::At;
using TarnSchemaWalk::Child;
using TarnSchemaWalk::Member;
using TarnSchemaWalk::PointerText;

// rapidjson's verdict on one value.
struct Outcome {
    bool valid = true;
    std::string schemaPointer;  // of the failing schema, in the compiled document
    std::string keyword;
    std::string valuePointer;  // of the failing value, within the validated value
};

// rapidjson's validator takes its state (nested validators, arrays of
// flags) from the state allocator; with the heap's it made a dozen
// allocations and frees for each value. Taken from a pool, the state of a
// run needs no heap allocation until it outgrows a buffer kept per thread,
// and what it takes is given back at once when the run ends; a pool gives
// nothing back before, so a run holds state in proportion to the value.
using PooledValidator = rapidjson::GenericSchemaValidator<SchemaDocument,
                                                          rapidjson::BaseReaderHandler<rapidjson::UTF8<>>,
                                                          rapidjson::MemoryPoolAllocator<>>;

Outcome Run(const SchemaDocument& document, const rapidjson::Value& value) {
    // Runs never nest, so one buffer serves each in turn; aligned, as the
    // pool keeps its chunk header at its start.
    alignas(std::max_align_t) thread_local char buffer[16 * 1024];
    rapidjson::MemoryPoolAllocator<> pool(buffer, sizeof buffer);
    PooledValidator validator(document, &pool);
    value.Accept(validator);
    Outcome o;
    o.valid = validator.IsValid();
    if (!o.valid) {
        o.schemaPointer = PointerText(validator.GetInvalidSchemaPointer());
        const char* keyword = validator.GetInvalidSchemaKeyword();
        o.keyword = keyword ? keyword : "";
        o.valuePointer = PointerText(validator.GetInvalidDocumentPointer());
    }
    return o;
}

bool UnderPointer(const std::string& pointer, const std::string& prefix, std::string& rest) {
    if (prefix.empty()) {
        rest = pointer;
        return true;
    }
    if (pointer.compare(0, prefix.size(), prefix) != 0) return false;
    if (pointer.size() > prefix.size() && pointer[prefix.size()] != '/') return false;
    rest = pointer.substr(prefix.size());
    return true;
}

std::string FirstToken(const std::string& pointer) {
    if (pointer.empty()) return {};
    size_t end = pointer.find('/', 1);
    return LastToken(pointer.substr(0, end));
}

// Prefixes every local "$ref" of every object in v (rapidjson treats any
// object with a string "$ref" as a reference) with the pointer prefix, for v
// to be compiled as a member of a wrapper document.
void MoveRefsUnder(rapidjson::Value& v, const std::string& prefix, rapidjson::Document::AllocatorType& allocator) {
    std::vector<rapidjson::Value*> pending{&v};
    while (!pending.empty()) {
        rapidjson::Value* cur = pending.back();
        pending.pop_back();
        if (cur->IsObject()) {
            for (auto m = cur->MemberBegin(); m != cur->MemberEnd(); ++m) {
                if (m->name == "$ref" && m->value.IsString() && m->value.GetStringLength() > 0 &&
                    m->value.GetString()[0] == '#') {
                    std::string text = "#" + prefix + std::string(m->value.GetString() + 1, m->value.GetStringLength() - 1);
                    m->value.SetString(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator);
                } else {
                    pending.push_back(&m->value);
                }
            }
        } else if (cur->IsArray()) {
            for (auto e = cur->Begin(); e != cur->End(); ++e) pending.push_back(e);
        }
    }
}

// A compiled part of the schema: one node, or a changed copy of a node
// ("shallow", see Collect). A schema with "$ref"s compiles only whole, so
// its parts are compiled in a wrapper {"$ref": target, "definitions": {"x":
// whole, "s": shallow node}}, with every reference moved under "x". (Under
// "definitions" the parts are schemas, which CompileWithRapidjson looks at.)
struct Part {
    rapidjson::Document wrapper;
    std::unique_ptr<SchemaDocument> owned;
    const SchemaDocument* document = nullptr;
    const rapidjson::Value* shallow = nullptr;
    std::string shallowPrefix;
    const rapidjson::Value* whole = nullptr;
    std::string wholePrefix;

    struct Located {
        const rapidjson::Value* node = nullptr;
        bool inShallow = false;
        std::string rest;  // pointer below the shallow node
    };

    // The schema node that a reported schema pointer names.
    Located Locate(const std::string& schemaPointer) const {
        Located l;
        std::string rest;
        if (shallow && UnderPointer(schemaPointer, shallowPrefix, rest)) {
            l.node = At(*shallow, rest);
            l.inShallow = true;
            l.rest = rest;
        } else if (whole && UnderPointer(schemaPointer, wholePrefix, rest)) {
            l.node = At(*whole, rest);
        }
        return l;
    }

    void Compile(const rapidjson::Value& source) {
        owned = CompileWithRapidjson(source, rewritten);
        document = owned.get();
    }
    rapidjson::Document rewritten;
};

class Collector {
public:
    Collector(const rapidjson::Value& root, const CompiledSchema& compiled, Findings& findings)
        : m_root(root), m_compiled(compiled), m_findings(findings) {}

    bool Valid(const std::string& nodePointer, const rapidjson::Value& value) {
        return Run(*Node(nodePointer).document, value).valid;
    }

    // Adds the first error of value against the node.
    void First(const std::string& nodePointer, const rapidjson::Value& value, const std::string& valuePointer) {
        const Part& part = Node(nodePointer);
        Outcome o = Run(*part.document, value);
        if (o.valid) return;
        Report(part.Locate(o.schemaPointer).node, o, value, valuePointer, true);
    }

    // Adds every error of value, known to be invalid against the node, that
    // can be told apart: the members and elements are validated against
    // their own nodes (and the branches of "allOf" separately), then the
    // node's own keywords against a copy of the node whose member and
    // element schemas accept anything; each keyword that fails there is
    // reported and taken out, and the copy validated again.
    void Collect(const std::string& nodePointer, const rapidjson::Value& value, const std::string& valuePointer) {
        std::string resolved = nodePointer;
        const rapidjson::Value* node = Resolve(resolved);
        if (!node || !node->IsObject()) {
            First(nodePointer, value, valuePointer);
            return;
        }
        const size_t before = m_findings.Count();
        CollectParts(resolved, *node, value, valuePointer);
        CollectOwnKeywords(*node, value, valuePointer);
        if (m_findings.Count() == before) First(nodePointer, value, valuePointer);
    }

private:
    static constexpr int kMaxRefHops = 32;
    static constexpr int kMaxRounds = 64;

    // Follows the node's chain of local references; pointer becomes the
    // pointer of the node returned.
    const rapidjson::Value* Resolve(std::string& pointer) const {
        const rapidjson::Value* node = At(m_root, pointer);
        for (int hops = 0; node && hops < kMaxRefHops; ++hops) {
            const rapidjson::Value* ref = Member(*node, "$ref");
            std::string target;
            if (!ref) return node;
            if (!TarnSchemaWalk::PointerOfRef(*ref, target)) return nullptr;
            node = At(m_root, target);
            pointer = target;
        }
        return node && !Member(*node, "$ref") ? node : nullptr;
    }

    void CollectParts(const std::string& pointer, const rapidjson::Value& node, const rapidjson::Value& value,
                      const std::string& valuePointer) {
        const rapidjson::Value* props = Member(node, "properties");
        if (value.IsObject() && props && props->IsObject()) {
            for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
                auto sub = props->FindMember(m->name);
                if (sub == props->MemberEnd() || !sub->value.IsObject()) continue;
                const std::string name(m->name.GetString(), m->name.GetStringLength());
                const std::string child = Child(pointer + "/properties", name);
                if (!Valid(child, m->value)) Collect(child, m->value, Child(valuePointer, name));
            }
        }
        const rapidjson::Value* items = Member(node, "items");
        if (value.IsArray() && items && items->IsObject()) {
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
                if (!Valid(pointer + "/items", value[i])) Collect(pointer + "/items", value[i], Child(valuePointer, i));
        } else if (value.IsArray() && items && items->IsArray()) {
            for (rapidjson::SizeType i = 0; i < value.Size() && i < items->Size(); ++i) {
                const std::string child = Child(pointer + "/items", i);
                if ((*items)[i].IsObject() && !Valid(child, value[i])) Collect(child, value[i], Child(valuePointer, i));
            }
        }
        const rapidjson::Value* allOf = Member(node, "allOf");
        if (allOf && allOf->IsArray()) {
            for (rapidjson::SizeType i = 0; i < allOf->Size(); ++i) {
                const std::string child = Child(pointer + "/allOf", i);
                if ((*allOf)[i].IsObject() && !Valid(child, value)) Collect(child, value, valuePointer);
            }
        }
    }

    void CollectOwnKeywords(const rapidjson::Value& node, const rapidjson::Value& value,
                            const std::string& valuePointer) {
        rapidjson::Document shallow;
        shallow.CopyFrom(node, shallow.GetAllocator());
        auto& allocator = shallow.GetAllocator();
        if (rapidjson::Value* props = Member(shallow, "properties"); props && props->IsObject())
            for (auto m = props->MemberBegin(); m != props->MemberEnd(); ++m) m->value.SetObject();
        if (rapidjson::Value* items = Member(shallow, "items")) {
            if (items->IsObject()) items->SetObject();
            if (items->IsArray())
                for (auto e = items->Begin(); e != items->End(); ++e) e->SetObject();
        }
        shallow.RemoveMember("allOf");

        for (int round = 0; round < kMaxRounds; ++round) {
            auto part = Shallow(shallow);
            Outcome o = Run(*part->document, value);
            if (o.valid) return;
            Part::Located at = part->Locate(o.schemaPointer);
            if (ClosedByRewrite(at, o)) {  // see CompileWithRapidjson
                o.keyword = "additionalProperties";
                at.node = &shallow;
                at.inShallow = true;
                at.rest.clear();
            }
            const std::string where = valuePointer + o.valuePointer;
            const rapidjson::Value* actual = At(value, o.valuePointer);
            // rapidjson reports a keyword of the node from a stand-in schema
            // without a pointer when patterns match a member; it is the node's.
            const bool atNode = (at.inShallow && at.rest.empty()) || (!at.node && Member(shallow, o.keyword.c_str()));
            if (!atNode) {
                // Inside a subschema the copy kept (patternProperties,
                // additionalProperties, dependencies, ...), possibly behind a
                // reference: report, and quiet the keyword that led there.
                Report(at.node, o, value, valuePointer, false);
                bool changed;
                if (at.inShallow)
                    changed = Quiet(shallow, FirstToken(at.rest));
                else if (!o.valuePointer.empty()) {  // a member's value: the member schemas, both
                    const bool patterns = Quiet(shallow, "patternProperties");
                    changed = Quiet(shallow, "additionalProperties") || patterns;
                }
                else
                    changed = Quiet(shallow, "dependencies");
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
            const std::string told = ToldKeyword(o.keyword, shallow, actual);
            if (!Quiet(shallow, told == "items" ? "additionalItems" : told)) return;
        }
    }

    // A member refused by an "additionalProperties": false that was compiled
    // as {"not": {}}.
    static bool ClosedByRewrite(const Part::Located& at, const Outcome& o) {
        return o.keyword == "not" && at.node && at.node->IsFalse() && !o.valuePointer.empty();
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
        if (keyword == "additionalProperties" && v->IsObject()) {
            changed = v->MemberCount() > 0;
            v->SetObject();
            return changed;
        }
        return shallow.RemoveMember(keyword.c_str());
    }

    void Report(const rapidjson::Value* node, const Outcome& o, const rapidjson::Value& value,
                const std::string& valuePointer, bool firstMissingOnly) {
        static const rapidjson::Value kNoNode(rapidjson::kObjectType);
        const rapidjson::Value& n = node ? *node : kNoNode;
        const rapidjson::Value* actual = At(value, o.valuePointer);
        const std::string where = valuePointer + o.valuePointer;
        if (o.keyword == "required" && actual) {
            std::vector<std::string> missing = MissingRequired(n, *actual);
            if (firstMissingOnly && missing.size() > 1) missing.resize(1);
            for (const std::string& name : missing) m_findings.Add(where, Describe(o.keyword, n, actual, name));
            if (!missing.empty()) return;
        }
        m_findings.Add(where, Describe(o.keyword, n, actual, LastToken(o.valuePointer)));
    }

    Part& Node(const std::string& pointer) {
        auto& slot = m_parts[pointer];
        if (slot) return *slot;
        slot = std::make_unique<Part>();
        Part& part = *slot;
        if (pointer.empty()) {
            part.document = m_compiled.document.get();
            part.whole = &m_root;
        } else if (!m_compiled.hasRefs) {
            const rapidjson::Value* node = At(m_root, pointer);
            static const rapidjson::Value kAnything(rapidjson::kObjectType);
            part.whole = node ? node : &kAnything;
            part.Compile(*part.whole);
        } else {
            auto& allocator = part.wrapper.GetAllocator();
            part.wrapper.SetObject();
            const std::string target = "#" + std::string(kWhole) + TarnSchemaWalk::UriFragment(pointer).substr(1);
            part.wrapper.AddMember("$ref", rapidjson::Value(target.c_str(), allocator), allocator);
            AddParts(part.wrapper, nullptr);
            part.whole = &m_root;
            part.wholePrefix = kWhole;
            part.Compile(part.wrapper);
        }
        return part;
    }

    std::unique_ptr<Part> Shallow(const rapidjson::Value& shallow) {
        auto part = std::make_unique<Part>();
        auto& allocator = part->wrapper.GetAllocator();
        if (!m_compiled.hasRefs) {
            part->wrapper.CopyFrom(shallow, allocator);
            part->shallow = &part->wrapper;
        } else {
            part->wrapper.SetObject();
            const std::string target = "#" + std::string(kShallow);
            part->wrapper.AddMember("$ref", rapidjson::Value(target.c_str(), allocator), allocator);
            part->shallow = AddParts(part->wrapper, &shallow);
            part->shallowPrefix = kShallow;
            part->whole = &m_root;
            part->wholePrefix = kWhole;
        }
        part->Compile(part->wrapper);
        return part;
    }

    // Adds {"definitions": {"x": whole, "s": shallow}} to the wrapper, the
    // references of both moved under "x"; returns the copy of shallow.
    const rapidjson::Value* AddParts(rapidjson::Document& wrapper, const rapidjson::Value* shallow) {
        auto& allocator = wrapper.GetAllocator();
        rapidjson::Value parts(rapidjson::kObjectType);
        rapidjson::Value whole(m_root, allocator);
        MoveRefsUnder(whole, kWhole, allocator);
        parts.AddMember("x", whole, allocator);
        if (shallow) {
            rapidjson::Value copy(*shallow, allocator);
            MoveRefsUnder(copy, kWhole, allocator);
            parts.AddMember("s", copy, allocator);
        }
        wrapper.AddMember("definitions", parts, allocator);
        return shallow ? &wrapper["definitions"]["s"] : nullptr;
    }

    static constexpr char kWhole[] = "/definitions/x";
    static constexpr char kShallow[] = "/definitions/s";

    const rapidjson::Value& m_root;
    const CompiledSchema& m_compiled;
    Findings& m_findings;
    std::map<std::string, std::unique_ptr<Part>> m_parts;
};

} // namespace

void CheckKeywords(const rapidjson::Value& schema, const CompiledSchema& compiled, const rapidjson::Value& value,
                   Findings& findings) {
    if (Run(*compiled.document, value).valid) return;
    Collector collector(schema, compiled, findings);
    if (findings.All())
        collector.Collect("", value, "");
    else
        collector.First("", value, "");
}

} // namespace TarnSchemaValidation
