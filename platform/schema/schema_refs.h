// The local "$ref"s of one schema resolved against it. Each large object a
// pointer passes through has its members indexed by name once, so n
// references into one "definitions" of n members cost n lookups, not n
// scans of it.
#pragma once

#include <string_view>
#include <unordered_map>

#include "tarn/rapidjson.h"

namespace TarnSchemaWalk {

class RefResolver {
public:
    // The root must outlive the resolver and stay unchanged.
    explicit RefResolver(const rapidjson::Value& root) : m_root(root) {}
    RefResolver(const RefResolver&) = delete;
    RefResolver& operator=(const RefResolver&) = delete;

    // What the "$ref" value leads to in the root: null when it is not a
    // local reference ("#..."), not a valid pointer, or leads nowhere.
    const rapidjson::Value* Target(const rapidjson::Value& ref);
    // The target of the node's string "$ref", or null (also without one).
    const rapidjson::Value* TargetOf(const rapidjson::Value& node);

private:
    const rapidjson::Value* Find(const rapidjson::Value& object, std::string_view name);

    const rapidjson::Value& m_root;
    std::unordered_map<const rapidjson::Value*, std::unordered_map<std::string_view, const rapidjson::Value*>> m_index;
};

} // namespace TarnSchemaWalk
