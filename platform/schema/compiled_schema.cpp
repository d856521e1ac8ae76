#include "schema/compiled_schema.h"

#include "formats.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

using TarnSchemaWalk::Member;

// Every object of the document, the way rapidjson's compiler visits them:
// it treats any object with a string "$ref" as a reference.
void CollectObjects(const rapidjson::Value& root, std::vector<const rapidjson::Value*>& out) {
    std::vector<const rapidjson::Value*> pending{&root};
    while (!pending.empty()) {
        const rapidjson::Value* v = pending.back();
        pending.pop_back();
        if (v->IsObject()) {
            out.push_back(v);
            for (auto m = v->MemberBegin(); m != v->MemberEnd(); ++m) pending.push_back(&m->value);
        } else if (v->IsArray()) {
            for (auto e = v->Begin(); e != v->End(); ++e) pending.push_back(e);
        }
    }
}

// A "$ref" rapidjson cannot use: a remote one, or one whose chain of
// references comes back to itself (the compiler would follow it forever).
std::string RefProblem(const rapidjson::Value& root, const rapidjson::Value& start) {
    const rapidjson::Value* ref = Member(start, "$ref");
    if (!ref || !ref->IsString() || ref->GetStringLength() == 0) return {};
    const std::string text(ref->GetString(), ref->GetStringLength());
    if (text[0] != '#') return "remote $ref '" + text + "' is not supported";
    std::set<const rapidjson::Value*> seen{&start};
    const rapidjson::Value* node = &start;
    for (;;) {
        std::string pointer;
        const rapidjson::Value* r = Member(*node, "$ref");
        if (!r || !TarnSchemaWalk::PointerOfRef(*r, pointer)) return {};
        node = TarnSchemaWalk::At(root, pointer);
        if (!node) return {};
        if (!seen.insert(node).second) return "$ref '" + text + "' leads into a cycle of references";
    }
}

// The steps from the root to a node, made into a pointer only for a message.
struct Path {
    const Path* parent;
    const TarnSchemaWalk::Step* step;
};

std::string At(const std::string& pointer) { return "at '" + (pointer.empty() ? "/" : pointer) + "'"; }

std::string At(const Path* path) {
    std::string pointer;
    for (; path; path = path->parent) pointer.insert(0, path->step->Text());
    return At(pointer);
}

// Keywords that rapidjson's compiler reads without looking at their type:
// it counts the members of "patternProperties" whatever it is, and takes
// every element of a property dependency for a member name. Its own check
// then throws half way through a constructor that is not exception-safe,
// leaving the half-built schema behind. where() says where the node is.
template <typename Where>
std::string UncheckedKeyword(const rapidjson::Value& node, Where&& where) {
    if (const rapidjson::Value* patterns = Member(node, "patternProperties"); patterns && !patterns->IsObject())
        return "\"patternProperties\" " + where() + " must hold schema objects";
    if (const rapidjson::Value* deps = Member(node, "dependencies"); deps && deps->IsObject())
        for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d)
            if (d->value.IsArray() &&
                !std::all_of(d->value.Begin(), d->value.End(), [](const rapidjson::Value& e) { return e.IsString(); }))
                return "\"dependencies\" " + where() + " must list member names";
    return {};
}

// A subschema slot rapidjson would leave empty and then use when
// validating: a local "$ref" whose target is missing or not an object, or a
// "not", combinator element, tuple item or pattern schema that is not an
// object. Everything else of the wrong type it passes over.
std::string EmptySlot(const rapidjson::Value& root, const rapidjson::Value& node, const Path* path) {
    if (const rapidjson::Value* ref = Member(node, "$ref"); ref && ref->IsString()) {
        std::string target;
        const rapidjson::Value* t = TarnSchemaWalk::PointerOfRef(*ref, target) ? TarnSchemaWalk::At(root, target) : nullptr;
        if (!t || !t->IsObject())
            return "$ref '" + std::string(ref->GetString()) + "' " + At(path) + " leads nowhere in the schema";
    }
    if (const rapidjson::Value* n = Member(node, "not"); n && !n->IsObject())
        return "\"not\" " + At(path) + " must be a schema object";
    for (const char* keyword : {"allOf", "anyOf", "oneOf", "items"})
        if (const rapidjson::Value* list = Member(node, keyword); list && list->IsArray())
            for (const auto& e : list->GetArray())
                if (!e.IsObject()) return std::string("\"") + keyword + "\" " + At(path) + " must hold schema objects";
    if (std::string problem = UncheckedKeyword(node, [path] { return At(path); }); !problem.empty()) return problem;
    if (const rapidjson::Value* patterns = Member(node, "patternProperties");
        patterns && std::any_of(patterns->MemberBegin(), patterns->MemberEnd(),
                                [](const auto& p) { return !p.value.IsObject(); }))
        return "\"patternProperties\" " + At(path) + " must hold schema objects";
    std::string problem;
    TarnSchemaWalk::ForEachSubschema(node, [&](const rapidjson::Value& sub, const TarnSchemaWalk::Step& step) {
        const Path here{path, &step};
        if (problem.empty()) problem = EmptySlot(root, sub, &here);
    });
    return problem;
}

// A member name given twice in one object, found depth first; pointer is
// set to the object's. rapidjson's compiler takes the first of the names for
// a keyword's value but makes a subschema of each, and the error collector's
// copies of a node remove keywords one at a time, which brings a second
// "not" or "dependencies" to light that was never checked here: rapidjson
// then counts a validator it never makes and reads the unset slot. A schema
// whose meaning depends on which of two names a reader takes is refused.
bool RepeatedName(const rapidjson::Value& v, std::string& name, std::string& pointer) {
    if (v.IsObject()) {
        std::vector<std::string_view> names;
        names.reserve(v.MemberCount());
        for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m)
            names.emplace_back(m->name.GetString(), m->name.GetStringLength());
        std::sort(names.begin(), names.end());
        if (auto twice = std::adjacent_find(names.begin(), names.end()); twice != names.end()) {
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

const rapidjson::Value* RefTarget(const rapidjson::Value& root, const rapidjson::Value& node) {
    const rapidjson::Value* ref = Member(node, "$ref");
    std::string pointer;
    return ref && TarnSchemaWalk::PointerOfRef(*ref, pointer) ? TarnSchemaWalk::At(root, pointer) : nullptr;
}

// Subschemas that the validator applies to the same value as the node: a
// reference stands for its target, the combinators and schema dependencies
// for themselves. Members and elements are other values.
std::vector<const rapidjson::Value*> SameValueSchemas(const rapidjson::Value& root, const rapidjson::Value& node) {
    std::vector<const rapidjson::Value*> out;
    if (const rapidjson::Value* ref = Member(node, "$ref"); ref && ref->IsString()) {
        if (const rapidjson::Value* target = RefTarget(root, node)) out.push_back(target);
        return out;  // its siblings do not count
    }
    for (const char* keyword : {"allOf", "anyOf", "oneOf"})
        if (const rapidjson::Value* list = Member(node, keyword); list && list->IsArray())
            for (const auto& s : list->GetArray())
                if (s.IsObject()) out.push_back(&s);
    if (const rapidjson::Value* n = Member(node, "not"); n && n->IsObject()) out.push_back(n);
    if (const rapidjson::Value* deps = Member(node, "dependencies"); deps && deps->IsObject())
        for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d)
            if (d->value.IsObject()) out.push_back(&d->value);
    return out;
}

// Whether a schema that validation reaches comes back to itself without
// stepping to a member or an element: rapidjson would then start validators
// for the same value without end.
bool AppliesItselfForever(const rapidjson::Value& root) {
    std::vector<const rapidjson::Value*> nodes;
    std::unordered_set<const rapidjson::Value*> known{&root};
    std::vector<const rapidjson::Value*> pending{&root};
    while (!pending.empty()) {
        const rapidjson::Value* n = pending.back();
        pending.pop_back();
        nodes.push_back(n);
        auto add = [&](const rapidjson::Value& child) {
            if (known.insert(&child).second) pending.push_back(&child);
        };
        TarnSchemaWalk::ForEachSubschema(*n, [&](const rapidjson::Value& child, const TarnSchemaWalk::Step& step) {
            if (step.keyword != "definitions") add(child);  // reached through references only
        });
        if (const rapidjson::Value* target = RefTarget(root, *n); target && target->IsObject()) add(*target);
    }
    enum { kNew, kOnPath, kDone };
    std::unordered_map<const rapidjson::Value*, int> state;
    struct Frame {
        const rapidjson::Value* node;
        std::vector<const rapidjson::Value*> next;
        size_t at;
    };
    for (const rapidjson::Value* start : nodes) {
        if (state[start] != kNew) continue;
        std::vector<Frame> path{{start, SameValueSchemas(root, *start), 0}};
        state[start] = kOnPath;
        while (!path.empty()) {
            Frame& top = path.back();
            if (top.at == top.next.size()) {
                state[top.node] = kDone;
                path.pop_back();
                continue;
            }
            const rapidjson::Value* child = top.next[top.at++];
            int& s = state[child];
            if (s == kOnPath) return true;
            if (s == kDone) continue;
            s = kOnPath;
            path.push_back({child, SameValueSchemas(root, *child), 0});
        }
    }
    return false;
}

// What rapidjson 1.1 gets wrong in a schema node, and the equivalent it
// gets right (see CompileWithRapidjson).
bool ClosedBesidePatterns(const rapidjson::Value& node) {
    const rapidjson::Value* closed = Member(node, "additionalProperties");
    return Member(node, "patternProperties") && closed && closed->IsFalse();
}

// "dependencies" naming nothing it could check leaves rapidjson clearing
// a state of no bytes at a null address; the member means nothing anyway.
bool DependsOnNothing(const rapidjson::Value& node) {
    const rapidjson::Value* deps = Member(node, "dependencies");
    if (!deps || !deps->IsObject()) return false;
    for (auto d = deps->MemberBegin(); d != deps->MemberEnd(); ++d)
        if (d->value.IsArray() || d->value.IsObject()) return false;
    return true;
}

// rapidjson 1.1 does not check "format"; the node's pattern slot carries it
// (FormatPatternText), so it counts wherever the node is applied, inside
// "anyOf", "oneOf" and "not" as well.
const rapidjson::Value* CheckedFormat(const rapidjson::Value& node) {
    const rapidjson::Value* format = Member(node, "format");
    if (!format || !format->IsString() ||
        !TarnPlatform::IsCheckedFormat(std::string_view(format->GetString(), format->GetStringLength())))
        return nullptr;
    const rapidjson::Value* pattern = Member(node, "pattern");
    return !pattern || pattern->IsString() ? format : nullptr;
}

template <typename V, typename F>
void ForEachNodeToRewrite(V& node, F&& visit) {
    if (ClosedBesidePatterns(node) || DependsOnNothing(node) || CheckedFormat(node)) visit(node);
    TarnSchemaWalk::ForEachSubschema(node, [&](V& sub, const TarnSchemaWalk::Step&) { ForEachNodeToRewrite(sub, visit); });
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
    if (std::string name, pointer; RepeatedName(schema, name, pointer))
        return "the object " + At(pointer) + " names the member '" + name + "' twice";
    std::vector<const rapidjson::Value*> objects;
    CollectObjects(schema, objects);
    for (const rapidjson::Value* o : objects) {
        std::string problem = RefProblem(schema, *o);
        if (!problem.empty()) return problem;
    }
    if (std::string problem = EmptySlot(schema, schema, nullptr); !problem.empty()) return problem;
    // rapidjson compiles every object of the document, subschema or not.
    for (const rapidjson::Value* o : objects)
        if (std::string problem = UncheckedKeyword(*o, [] { return std::string("inside a member that is not a subschema"); });
            !problem.empty())
            return problem;
    if (AppliesItselfForever(schema))
        return "the schema applies itself to the same value without end (through \"$ref\", \"allOf\", \"anyOf\", "
               "\"oneOf\", \"not\" or \"dependencies\")";
    return {};
}

std::shared_ptr<const CompiledSchema> Compile(const rapidjson::Value& schema) {
    auto compiled = std::make_shared<CompiledSchema>();
    compiled->layers = LayersFor(schema);
    compiled->problem = FindCompileProblem(schema);
    if (!compiled->problem.empty()) return compiled;
    std::vector<const rapidjson::Value*> objects;
    CollectObjects(schema, objects);
    for (const rapidjson::Value* o : objects)
        if (const rapidjson::Value* ref = Member(*o, "$ref"); ref && ref->IsString()) compiled->hasRefs = true;
    try {
        compiled->document = CompileWithRapidjson(schema, compiled->rewritten);
    } catch (const std::exception& e) {
        compiled->problem = std::string("the schema cannot be compiled: ") + e.what();
    }
    return compiled;
}

std::unique_ptr<SchemaDocument> CompileWithRapidjson(const rapidjson::Value& source, rapidjson::Document& scratch) {
    bool affected = false;
    ForEachNodeToRewrite(source, [&](const rapidjson::Value&) { affected = true; });
    if (!affected) return std::make_unique<SchemaDocument>(source);
    auto& allocator = scratch.GetAllocator();
    scratch.CopyFrom(source, allocator);
    ForEachNodeToRewrite(static_cast<rapidjson::Value&>(scratch), [&](rapidjson::Value& node) {
        if (ClosedBesidePatterns(node))
            node["additionalProperties"].SetObject().AddMember("not", rapidjson::Value(rapidjson::kObjectType), allocator);
        if (DependsOnNothing(node)) node.RemoveMember("dependencies");
        if (const rapidjson::Value* format = CheckedFormat(node)) {
            const rapidjson::Value* own = Member(node, "pattern");
            const std::string text = TarnPlatform::FormatPatternText(
                std::string_view(format->GetString(), format->GetStringLength()),
                own ? std::string_view(own->GetString(), own->GetStringLength()) : std::string_view());
            node.RemoveMember("pattern");
            node.AddMember("pattern", rapidjson::Value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator),
                           allocator);
        }
    });
    return std::make_unique<SchemaDocument>(scratch);
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
