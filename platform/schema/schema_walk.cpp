#include "schema/schema_walk.h"

#include <algorithm>

namespace TarnSchemaWalk {

bool TypeIncludes(const rapidjson::Value& node, const char* type) {
    const rapidjson::Value* t = Member(node, "type");
    if (!t) return false;
    if (t->IsString()) return std::strcmp(t->GetString(), type) == 0;
    if (t->IsArray())
        for (const auto& e : t->GetArray())
            if (e.IsString() && std::strcmp(e.GetString(), type) == 0) return true;
    return false;
}

std::string EscapeToken(const std::string& token) {
    std::string out;
    out.reserve(token.size());
    for (char c : token) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

std::string Step::Text() const {
    std::string text = "/" + std::string(keyword);
    if (kind == kMember) return Child(text, std::string(name));
    if (kind == kElement) return Child(text, index);
    return text;
}

std::string PointerOf(const StepPath* path) {
    std::string pointer;
    for (; path; path = path->parent) pointer.insert(0, path->step->Text());
    return pointer;
}

std::string UriFragment(const std::string& pointer) {
    rapidjson::Pointer p(pointer.c_str(), pointer.size());
    rapidjson::StringBuffer buffer;
    p.StringifyUriFragment(buffer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

const rapidjson::Value* At(const rapidjson::Value& root, const std::string& pointer) {
    rapidjson::Pointer p(pointer.c_str(), pointer.size());
    return p.IsValid() ? p.Get(root) : nullptr;
}

namespace {
// Recursion stops one level past the limit, so its depth stays bounded.
// Scalars are counted without a call: most members are scalars.
size_t DepthBelow(const rapidjson::Value& value, size_t depth, size_t limit) {
    if (depth > limit) return depth;
    size_t deepest = depth;
    auto below = [&](const rapidjson::Value& child) {
        const bool container = child.IsObject() || child.IsArray();
        deepest = std::max(deepest, container ? DepthBelow(child, depth + 1, limit) : depth + 1);
    };
    if (value.IsObject()) {
        for (auto m = value.MemberBegin(); m != value.MemberEnd() && deepest <= limit; ++m) below(m->value);
    } else if (value.IsArray()) {
        for (auto e = value.Begin(); e != value.End() && deepest <= limit; ++e) below(*e);
    }
    return deepest;
}
} // namespace

size_t Depth(const rapidjson::Value& value, size_t limit) { return DepthBelow(value, 1, limit); }

} // namespace TarnSchemaWalk
