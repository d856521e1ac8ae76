#include "schema/layer_rules.h"

#include <string>

#include "schema/schema_walk.h"

namespace TarnSchemaValidation {
namespace {

using TarnSchemaWalk::Child;
using TarnSchemaWalk::MARK_CACHED;
using TarnSchemaWalk::MARK_VITAL;

std::string Name(const rapidjson::Value& name) { return std::string(name.GetString(), name.GetStringLength()); }

// The location of a value, spelled out only when an error needs it.
struct Path {
    const Path* parent = nullptr;
    const rapidjson::Value* member = nullptr;  // null for an array element
    rapidjson::SizeType index = 0;

    Path Into(const rapidjson::Value& name) const { return Path{this, &name, 0}; }
    Path Into(rapidjson::SizeType i) const { return Path{this, nullptr, i}; }
    std::string Text() const {
        if (!parent) return {};
        return member ? Child(parent->Text(), Name(*member)) : Child(parent->Text(), index);
    }
};

void UserLayer(const LayerNode& node, const rapidjson::Value& value, const Path& path, Findings& findings) {
    if (!findings.WantsMore() || !node.isObject || node.instanceId) return;
    if (node.vital || node.cached) {
        const char* layer =
            node.vital && node.cached ? "vital and cached layers" : node.vital ? "vital layer" : "cached layer";
        findings.Add(path.Text(), std::string(node.vital ? MARK_VITAL : MARK_CACHED) + ": the member belongs to the " +
                                      layer + "; a user value cannot set it");
        return;
    }
    if (value.IsObject()) {
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m)
            if (const LayerNode* sub = node.Property(m->name)) UserLayer(*sub, m->value, path.Into(m->name), findings);
    } else if (value.IsArray()) {
        if (node.items && node.items->typeObject)
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
                UserLayer(*node.items, value[i], path.Into(i), findings);
    }
}

// The split descends into a node unless it keeps the value whole for every
// layer: an identifier node, or one marked for both non-user layers.
void Splittable(const LayerNode& node, const rapidjson::Value& value, const Path& path, Findings& findings) {
    if (!findings.WantsMore()) return;
    if (!node.isObject) {
        findings.Add(path.Text(), "properties: no schema node describes this value; it cannot be split into layers");
        return;
    }
    if (node.instanceId || (node.vital && node.cached)) return;
    if (value.IsObject() && value.MemberCount() > 0) {
        if (!node.propertiesObject) {
            findings.Add(path.Text(), "properties: the object has members but its schema node describes none; it "
                                      "cannot be split into layers");
            return;
        }
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
            const LayerNode* sub = node.Property(m->name);
            const Path at = path.Into(m->name);
            if (!sub)
                findings.Add(at.Text(), "properties: member '" + Name(m->name) +
                                            "' is not described; the value cannot be split into layers");
            else
                Splittable(*sub, m->value, at, findings);
        }
    } else if (value.IsArray() && value.Size() > 0) {
        if (!node.items || !node.items->hasType) {
            findings.Add(path.Text(), "items: the array's schema node has no \"items\" node with a \"type\"; it "
                                      "cannot be split into layers");
            return;
        }
        if (node.items->typeObject)
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
                Splittable(*node.items, value[i], path.Into(i), findings);
    }
}

// Why an identifier cannot stand in a statement text, or the empty text.
// SQLite reads a statement text only up to a NUL byte, so the store refuses
// such a statement as a whole.
std::string IdentifierProblem(const rapidjson::Value& id) {
    const std::string expected = "expected a non-empty string without apostrophes";
    if (!id.IsString() || id.GetStringLength() == 0) return expected;
    const std::string text(id.GetString(), id.GetStringLength());
    if (text.find('\'') != std::string::npos) return expected;
    if (text.find('\0') != std::string::npos) return "a NUL byte inside, which a stored identifier cannot hold";
    return "";
}

void IdentifierText(const LayerNode& node, const rapidjson::Value& value, const Path& path, Findings& findings) {
    if (!findings.WantsMore() || !node.isObject) return;
    if (value.IsObject()) {
        for (auto m = value.MemberBegin(); m != value.MemberEnd(); ++m) {
            const LayerNode* sub = node.Property(m->name);
            if (!sub) continue;
            const Path at = path.Into(m->name);
            if (sub->instanceId) {
                const std::string problem = IdentifierProblem(m->value);
                if (!problem.empty()) findings.Add(at.Text(), "instanceId: " + problem + ", found " + Excerpt(m->value));
            } else {
                IdentifierText(*sub, m->value, at, findings);
            }
        }
    } else if (value.IsArray()) {
        if (node.items && node.items->typeObject)
            for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
                IdentifierText(*node.items, value[i], path.Into(i), findings);
    }
}

} // namespace

void CheckUserLayer(const LayerNode& schema, const rapidjson::Value& value, Findings& findings) {
    UserLayer(schema, value, Path{}, findings);
}

void CheckSplittable(const LayerNode& schema, const rapidjson::Value& value, Findings& findings) {
    Splittable(schema, value, Path{}, findings);
}

void CheckIdentifierText(const LayerNode& schema, const rapidjson::Value& value, Findings& findings) {
    IdentifierText(schema, value, Path{}, findings);
}

} // namespace TarnSchemaValidation
