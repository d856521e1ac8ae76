#include <cstdint>

#include "tarn/platform/schema_store.h"

namespace TarnSchemaStore {

SchemaObjectId::SchemaObjectId(const std::string& component, const std::string& group, const std::string& name)
    : m_component(component), m_group(group), m_name(name) {}

std::string SchemaObjectId::toString() const { return m_component + "/" + m_group + "/" + m_name; }

bool SchemaObjectId::operator==(const SchemaObjectId& other) const {
    return m_component == other.m_component && m_group == other.m_group && m_name == other.m_name;
}

size_t SchemaObjectIdHash::operator()(const SchemaObjectId& id) const {
    constexpr uint64_t kMul = 0xc6a4a7935bd1e995ULL;
    uint64_t h = 0;
    for (char c : id.toString()) {
        // The byte as a signed value, sign-extended: bytes >= 0x80 mix in
        // as large 64-bit numbers.
        uint64_t k = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(c)));
        k *= kMul;
        k ^= k >> 47;
        k *= kMul;
        h ^= k;
        h *= kMul;
        h += 0xe6546b64ULL;
    }
    return static_cast<size_t>(h);
}

} // namespace TarnSchemaStore
