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

std::string UriFragment(const std::string& pointer) {
    rapidjson::Pointer p(pointer.c_str(), pointer.size());
    rapidjson::StringBuffer buffer;
    p.StringifyUriFragment(buffer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

bool PointerOfRef(const rapidjson::Value& ref, std::string& pointer) {
    if (!ref.IsString() || ref.GetStringLength() == 0 || ref.GetString()[0] != '#') return false;
    rapidjson::Pointer p(ref.GetString(), ref.GetStringLength());
    if (!p.IsValid()) return false;
    pointer = PointerText(p);
    return true;
}

const rapidjson::Value* At(const rapidjson::Value& root, const std::string& pointer) {
    rapidjson::Pointer p(pointer.c_str(), pointer.size());
    return p.IsValid() ? p.Get(root) : nullptr;
}

namespace {
// Recursion stops one level past the limit, so its depth stays bounded.
size_t DepthBelow(const rapidjson::Value& value, size_t depth, size_t limit) {
    if (depth > limit) return depth;
    size_t deepest = depth;
    if (value.IsObject()) {
        for (auto m = value.MemberBegin(); m != value.MemberEnd() && deepest <= limit; ++m)
            deepest = std::max(deepest, DepthBelow(m->value, depth + 1, limit));
    } else if (value.IsArray()) {
        for (auto e = value.Begin(); e != value.End() && deepest <= limit; ++e)
            deepest = std::max(deepest, DepthBelow(*e, depth + 1, limit));
    }
    return deepest;
}
} // namespace

size_t Depth(const rapidjson::Value& value, size_t limit) { return DepthBelow(value, 1, limit); }

} // namespace TarnSchemaWalk
