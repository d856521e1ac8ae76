#include "schema/compiled_schema.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema/schema_refs.h"
#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

using TarnSchemaWalk::Member;
using TarnSchemaWalk::RefResolver;

// Every object of the document, subschema or not; false once there are
// more than limit.
bool CollectObjects(const rapidjson::Value& root, std::vector<const rapidjson::Value*>& out, size_t limit) {
    std::vector<const rapidjson::Value*> pending{&root};
    while (!pending.empty()) {
        const rapidjson::Value* v = pending.back();
        pending.pop_back();
        if (v->IsObject()) {
            if (out.size() == limit) return false;
            out.push_back(v);
            for (auto m = v->MemberBegin(); m != v->MemberEnd(); ++m) pending.push_back(&m->value);
        } else if (v->IsArray()) {
            for (auto e = v->Begin(); e != v->End(); ++e) pending.push_back(e);
        }
    }
    return true;
}

// A "$ref" that cannot be used: a remote one, or one whose chain of
// references comes back to itself. Each object's chain is followed once.
std::string RefProblem(const std::vector<const rapidjson::Value*>& objects, RefResolver& refs) {
    enum { kOnPath = 1, kDone = 2 };
    std::unordered_map<const rapidjson::Value*, int> state;
    std::vector<const rapidjson::Value*> path;
    for (const rapidjson::Value* start : objects) {
        const rapidjson::Value* ref = Member(*start, "$ref");
        if (!ref || !ref->IsString() || ref->GetStringLength() == 0) continue;
        const std::string text(ref->GetString(), ref->GetStringLength());
        if (text[0] != '#') return "remote $ref '" + text + "' is not supported";
        path.clear();
        for (const rapidjson::Value* node = start; node;) {
            int& s = state[node];
            if (s == kDone) break;
            if (s == kOnPath) return "$ref '" + text + "' leads into a cycle of references";
            s = kOnPath;
            path.push_back(node);
            const rapidjson::Value* r = Member(*node, "$ref");
            node = r ? refs.Target(*r) : nullptr;
        }
        for (const rapidjson::Value* p : path) state[p] = kDone;
    }
    return {};
}

using TarnSchemaWalk::StepPath;

std::string At(const std::string& pointer) { return "at '" + (pointer.empty() ? "/" : pointer) + "'"; }
std::string At(const StepPath* path) { return At(TarnSchemaWalk::PointerOf(path)); }

// A subschema slot that holds no schema: a local "$ref" whose target is
// missing or not an object, or a "not", combinator element, tuple item,
// pattern schema or dependency that is not what the keyword takes.
std::string EmptySlot(RefResolver& refs, const rapidjson::Value& node, const StepPath* path) {
    if (const rapidjson::Value* ref = Member(node, "$ref"); ref && ref->IsString()) {
        const rapidjson::Value* t = refs.Target(*ref);
        if (!t || !t->IsObject())
            return "$ref '" + std::string(ref->GetString()) + "' " + At(path) + " leads nowhere in the schema";
    }
    if (const rapidjson::Value* n = Member(node, "not"); n && !n->IsObject())
        return "\"not\" " + At(path) + " must be a schema object";
    for (const char* keyword : {"allOf", "anyOf", "oneOf", "items"})
        if (const rapidjson::Value* list = Member(node, keyword); list && list->IsArray())
            for (const auto& e : list->GetArray())
                if (!e.IsObject()) return std::string("\"") + keyword + "\" " + At(path) + " must hold schema objects";
    if (const rapidjson::Value* patterns = Member(node, "patternProperties");
        patterns && (!patterns->IsObject() || std::any_of(patterns->MemberBegin(), patterns->MemberEnd(),
                                                          [](const auto& p) { return !p.value.IsObject(); })))
        return "\"patternProperties\" " + At(path) + " must hold schema objects";
    if (const rapidjson::Value* deps = Member(node, "dependencies"); deps && deps->IsObject())
        for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d)
            if (d->value.IsArray() &&
                !std::all_of(d->value.Begin(), d->value.End(), [](const rapidjson::Value& e) { return e.IsString(); }))
                return "\"dependencies\" " + At(path) + " must list member names";
    std::string problem;
    TarnSchemaWalk::ForEachSubschema(node, [&](const rapidjson::Value& sub, const TarnSchemaWalk::Step& step) {
        const StepPath here{path, &step};
        if (problem.empty()) problem = EmptySlot(refs, sub, &here);
    });
    return problem;
}

// The first name of an object's members given twice, or none; small
// objects, most of a schema, are compared pair by pair without sorting.
std::optional<std::string_view> TwiceNamed(const rapidjson::Value& v) {
    auto text = [](const rapidjson::Value& name) { return std::string_view(name.GetString(), name.GetStringLength()); };
    constexpr rapidjson::SizeType kCompareAll = 16;
    if (v.MemberCount() <= kCompareAll) {
        for (auto a = v.MemberBegin(); a != v.MemberEnd(); ++a)
            for (auto b = a + 1; b != v.MemberEnd(); ++b)
                if (text(a->name) == text(b->name)) return text(a->name);
        return std::nullopt;
    }
    std::vector<std::string_view> names;
    names.reserve(v.MemberCount());
    for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) names.push_back(text(m->name));
    std::sort(names.begin(), names.end());
    if (auto twice = std::adjacent_find(names.begin(), names.end()); twice != names.end()) return *twice;
    return std::nullopt;
}

// A member name given twice in one object, found depth first; pointer is
// set to the object's. A schema whose meaning depends on which of two names
// a reader takes is refused.
bool RepeatedName(const rapidjson::Value& v, std::string& name, std::string& pointer) {
    if (v.IsObject()) {
        if (auto twice = TwiceNamed(v)) {
            name = *twice;
            pointer.clear();
            return true;
        }
        for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m)
            if (RepeatedName(m->value, name, pointer)) {
                pointer = TarnSchemaWalk::Child("", std::string(m->name.GetString(), m->name.GetStringLength())) + pointer;
                return true;
            }
    } else if (v.IsArray()) {
        for (rapidjson::SizeType i = 0; i < v.Size(); ++i)
            if (RepeatedName(v[i], name, pointer)) {
                pointer = TarnSchemaWalk::Child("", i) + pointer;
                return true;
            }
    }
    return false;
}

// Subschemas that the validator applies to the same value as the node, with
// the depth they add: a reference stands for its target (0), the
// combinators and schema dependencies for themselves (1). Members and
// elements are other values.
std::vector<std::pair<const rapidjson::Value*, size_t>> SameValueSchemas(RefResolver& refs, const rapidjson::Value& node) {
    std::vector<std::pair<const rapidjson::Value*, size_t>> out;
    if (const rapidjson::Value* ref = Member(node, "$ref"); ref && ref->IsString()) {
        if (const rapidjson::Value* target = refs.Target(*ref)) out.emplace_back(target, 0);
        return out;  // its siblings do not count
    }
    for (const char* keyword : {"allOf", "anyOf", "oneOf"})
        if (const rapidjson::Value* list = Member(node, keyword); list && list->IsArray())
            for (const auto& s : list->GetArray())
                if (s.IsObject()) out.emplace_back(&s, 1);
    if (const rapidjson::Value* n = Member(node, "not"); n && n->IsObject()) out.emplace_back(n, 1);
    if (const rapidjson::Value* deps = Member(node, "dependencies"); deps && deps->IsObject())
        for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d)
            if (d->value.IsObject()) out.emplace_back(&d->value, 1);
    return out;
}

// Whether an object of the schema holds a keyword that applies other
// subschemas to the same value or names subschema slots of its own.
// One pass over its members: every object of every schema is asked, and
// its names were found unique before.
bool AppliesSubschemas(const rapidjson::Value* object) {
    for (auto m = object->MemberBegin(); m != object->MemberEnd(); ++m) {
        const std::string_view key(m->name.GetString(), m->name.GetStringLength());
        if (key == "$ref" || key == "allOf" || key == "anyOf" || key == "oneOf" || key == "not" ||
            key == "dependencies" || key == "patternProperties" || (key == "items" && m->value.IsArray()))
            return true;
    }
    return false;
}

constexpr size_t kForever = SIZE_MAX;

// The most subschemas that validation applies one inside the other to one
// value, from any node it reaches; kForever when a node comes back to
// itself without stepping to a member or an element. Each node is visited
// once (depth first, its depth known when it is left).
size_t AppliedDepth(const rapidjson::Value& root, RefResolver& refs) {
    std::vector<const rapidjson::Value*> nodes;
    std::unordered_map<const rapidjson::Value*, bool> known{{&root, true}};
    std::vector<const rapidjson::Value*> pending{&root};
    while (!pending.empty()) {
        const rapidjson::Value* n = pending.back();
        pending.pop_back();
        nodes.push_back(n);
        auto add = [&](const rapidjson::Value& child) {
            if (known.emplace(&child, true).second) pending.push_back(&child);
        };
        TarnSchemaWalk::ForEachSubschema(*n, [&](const rapidjson::Value& child, const TarnSchemaWalk::Step& step) {
            if (step.keyword != "definitions") add(child);  // reached through references only
        });
        if (const rapidjson::Value* target = refs.TargetOf(*n); target && target->IsObject()) add(*target);
    }
    constexpr size_t kOnPath = kForever - 1, kNew = kForever - 2;
    std::unordered_map<const rapidjson::Value*, size_t> depth;  // kNew, kOnPath or the depth found
    auto of = [&](const rapidjson::Value* n) -> size_t& { return depth.try_emplace(n, kNew).first->second; };
    struct Frame {
        const rapidjson::Value* node;
        std::vector<std::pair<const rapidjson::Value*, size_t>> next;
        size_t at;
        size_t deepest;
    };
    size_t deepest = 0;
    for (const rapidjson::Value* start : nodes) {
        if (of(start) != kNew) continue;
        std::vector<Frame> path{{start, SameValueSchemas(refs, *start), 0, 0}};
        of(start) = kOnPath;
        while (!path.empty()) {
            Frame& top = path.back();
            if (top.at == top.next.size()) {
                of(top.node) = top.deepest;
                deepest = std::max(deepest, top.deepest);
                const size_t done = top.deepest;
                path.pop_back();
                if (!path.empty()) {
                    Frame& parent = path.back();
                    parent.deepest = std::max(parent.deepest, done + parent.next[parent.at - 1].second);
                }
                continue;
            }
            const auto [child, weight] = top.next[top.at++];
            size_t& s = of(child);
            if (s == kOnPath) return kForever;
            if (s != kNew) {
                top.deepest = std::max(top.deepest, s + weight);
                continue;
            }
            s = kOnPath;
            path.push_back({child, SameValueSchemas(refs, *child), 0, 0});
        }
    }
    return deepest;
}

// What is kept of a registered schema, each part made when first asked for.
struct Kept {
    std::shared_ptr<const CompiledSchema> compiled;
    std::shared_ptr<const LayerIndex> layers;
};

std::mutex gStableMutex;
std::unordered_map<const rapidjson::Value*, Kept> gStable;

// The part of a registered schema's Kept, made outside the lock on first
// use (the first one stored wins); made anew for any other schema.
template <typename T, typename Make>
std::shared_ptr<const T> KeptOrMade(const rapidjson::Value& schema, std::shared_ptr<const T> Kept::*part, Make make) {
    bool registered = false;
    {
        std::lock_guard<std::mutex> lock(gStableMutex);
        auto it = gStable.find(&schema);
        registered = it != gStable.end();
        if (registered && it->second.*part) return it->second.*part;
    }
    std::shared_ptr<const T> made = make();  // unlocked: making one part may ask for another
    if (!registered) return made;
    std::lock_guard<std::mutex> lock(gStableMutex);
    auto it = gStable.find(&schema);
    if (it == gStable.end()) return made;  // unregistered meanwhile
    if (!(it->second.*part)) it->second.*part = made;
    return it->second.*part;
}

} // namespace

std::string FindCompileProblem(const rapidjson::Value& schema) {
    if (!schema.IsObject()) return "the schema is not an object";
    if (TarnSchemaWalk::Depth(schema, MAX_NESTING) > MAX_NESTING)
        return "the schema is nested deeper than " + std::to_string(MAX_NESTING) + " levels";
    std::vector<const rapidjson::Value*> objects;
    if (!CollectObjects(schema, objects, MAX_SCHEMA_NODES))
        return "the schema holds more than " + std::to_string(MAX_SCHEMA_NODES) + " objects";
    if (std::string name, pointer; RepeatedName(schema, name, pointer))
        return "the object " + At(pointer) + " names the member '" + name + "' twice";
    // A schema without references or combinators (most are) applies no
    // subschema to a value it checks, and has no slot that could be empty.
    if (std::none_of(objects.begin(), objects.end(), AppliesSubschemas)) return {};
    RefResolver refs(schema);
    if (std::string problem = RefProblem(objects, refs); !problem.empty()) return problem;
    if (std::string problem = EmptySlot(refs, schema, nullptr); !problem.empty()) return problem;
    const size_t depth = AppliedDepth(schema, refs);
    if (depth == kForever)
        return "the schema applies itself to the same value without end (through \"$ref\", \"allOf\", \"anyOf\", "
               "\"oneOf\", \"not\" or \"dependencies\")";
    if (depth > MAX_APPLIED_DEPTH)
        return "the schema applies " + std::to_string(depth) + " subschemas one inside the other to the same value " +
               "(through \"allOf\", \"anyOf\", \"oneOf\", \"not\" or \"dependencies\"); the limit is " +
               std::to_string(MAX_APPLIED_DEPTH);
    return {};
}

std::shared_ptr<const CompiledSchema> Compile(const rapidjson::Value& schema) {
    auto compiled = std::make_shared<CompiledSchema>();
    compiled->layers = LayersFor(schema);
    compiled->problem = FindCompileProblem(schema);
    if (compiled->problem.empty()) compiled->graph = std::make_unique<SchemaGraph>(schema);
    return compiled;
}

std::shared_ptr<const CompiledSchema> CompiledFor(const rapidjson::Value& schema) {
    return KeptOrMade(schema, &Kept::compiled, [&schema] { return Compile(schema); });
}

std::shared_ptr<const LayerIndex> LayersFor(const rapidjson::Value& schema) {
    return KeptOrMade(schema, &Kept::layers, [&schema] { return std::make_shared<const LayerIndex>(schema); });
}

void RegisterStableSchema(const rapidjson::Value* schema) {
    std::lock_guard<std::mutex> lock(gStableMutex);
    gStable[schema] = Kept{};
}

void UnregisterStableSchema(const rapidjson::Value* schema) {
    std::lock_guard<std::mutex> lock(gStableMutex);
    gStable.erase(schema);
}

} // namespace TarnSchemaValidation
