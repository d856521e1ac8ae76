#include "schema/schema_refs.h"

#include "schema/schema_walk.h"

namespace TarnSchemaWalk {
namespace {
// Below this many members a scan is cheaper than an index.
constexpr rapidjson::SizeType kScanned = 16;
} // namespace

const rapidjson::Value* RefResolver::Find(const rapidjson::Value& object, std::string_view name) {
    if (object.MemberCount() <= kScanned) {
        for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m)
            if (std::string_view(m->name.GetString(), m->name.GetStringLength()) == name) return &m->value;
        return nullptr;
    }
    auto [slot, added] = m_index.try_emplace(&object);
    if (added)
        for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m)
            slot->second.emplace(std::string_view(m->name.GetString(), m->name.GetStringLength()), &m->value);
    auto found = slot->second.find(name);
    return found == slot->second.end() ? nullptr : found->second;
}

const rapidjson::Value* RefResolver::Target(const rapidjson::Value& ref) {
    if (!ref.IsString() || ref.GetStringLength() == 0 || ref.GetString()[0] != '#') return nullptr;
    rapidjson::Pointer pointer(ref.GetString(), ref.GetStringLength());
    if (!pointer.IsValid()) return nullptr;
    const rapidjson::Value* at = &m_root;
    for (size_t i = 0; at && i < pointer.GetTokenCount(); ++i) {
        const rapidjson::Pointer::Token& token = pointer.GetTokens()[i];
        if (at->IsObject())
            at = Find(*at, std::string_view(token.name, token.length));
        else if (at->IsArray() && token.index != rapidjson::kPointerInvalidIndex && token.index < at->Size())
            at = &(*at)[token.index];
        else
            at = nullptr;
    }
    return at;
}

const rapidjson::Value* RefResolver::TargetOf(const rapidjson::Value& node) {
    const rapidjson::Value* ref = Member(node, "$ref");
    return ref ? Target(*ref) : nullptr;
}

} // namespace TarnSchemaWalk
