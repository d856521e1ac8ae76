#include "schema/json_equality.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace TarnSchemaValidation {
namespace {

bool IsInteger(const rapidjson::Value& v) { return v.IsInt64() || v.IsUint64(); }

size_t Mix(size_t seed, size_t h) { return seed ^ (h + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2)); }

std::string_view Text(const rapidjson::Value& v) { return {v.GetString(), v.GetStringLength()}; }

} // namespace

int CompareNumbers(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (IsInteger(a) && IsInteger(b)) {
        if (a.IsInt64() && b.IsInt64()) return a.GetInt64() < b.GetInt64() ? -1 : a.GetInt64() > b.GetInt64();
        if (a.IsUint64() && b.IsUint64()) return a.GetUint64() < b.GetUint64() ? -1 : a.GetUint64() > b.GetUint64();
        return a.IsInt64() ? -1 : 1;  // one is negative, the other above the int64 range
    }
    const double x = a.GetDouble(), y = b.GetDouble();
    return x < y ? -1 : x > y;
}

bool JsonEqual(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.IsNumber() && b.IsNumber()) return CompareNumbers(a, b) == 0;
    if (a.GetType() != b.GetType()) return false;
    switch (a.GetType()) {
    case rapidjson::kStringType: return Text(a) == Text(b);
    case rapidjson::kArrayType:
        if (a.Size() != b.Size()) return false;
        for (rapidjson::SizeType i = 0; i < a.Size(); ++i)
            if (!JsonEqual(a[i], b[i])) return false;
        return true;
    case rapidjson::kObjectType:
        if (a.MemberCount() != b.MemberCount()) return false;
        for (auto m = a.MemberBegin(); m != a.MemberEnd(); ++m) {
            auto other = b.FindMember(m->name);
            if (other == b.MemberEnd() || !JsonEqual(m->value, other->value)) return false;
        }
        return true;
    default: return true;  // null, true, false: the type says it all
    }
}

size_t JsonHash(const rapidjson::Value& v) {
    switch (v.GetType()) {
    case rapidjson::kNumberType: {
        const double d = v.GetDouble();  // equal numbers have equal doubles
        return std::hash<double>()(d == 0 ? 0.0 : d);
    }
    case rapidjson::kStringType: return std::hash<std::string_view>()(Text(v));
    case rapidjson::kArrayType: {
        size_t h = 0x51;
        for (const auto& e : v.GetArray()) h = Mix(h, JsonHash(e));
        return h;
    }
    case rapidjson::kObjectType: {
        size_t h = 0x77;  // members in any order: summed
        for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) h += Mix(JsonHash(m->name), JsonHash(m->value));
        return h;
    }
    default: return static_cast<size_t>(v.GetType());
    }
}

JsonValueIndex::JsonValueIndex(const rapidjson::Value& array) {
    m_entries.reserve(array.Size());
    for (rapidjson::SizeType i = 0; i < array.Size(); ++i) m_entries.push_back({JsonHash(array[i]), i, &array[i]});
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.position < b.position;
    });
}

bool JsonValueIndex::Contains(const rapidjson::Value& value) const {
    const size_t hash = JsonHash(value);
    auto at = std::lower_bound(m_entries.begin(), m_entries.end(), hash,
                               [](const Entry& e, size_t h) { return e.hash < h; });
    for (; at != m_entries.end() && at->hash == hash; ++at)
        if (JsonEqual(*at->value, value)) return true;
    return false;
}

size_t JsonValueIndex::FirstRepeat() const {
    size_t first = m_entries.size();
    // Within a run of one hash, by position: the first element equal to an
    // earlier one of the run is that run's first repeat.
    for (size_t start = 0, end; start < m_entries.size(); start = end) {
        for (end = start + 1; end < m_entries.size() && m_entries[end].hash == m_entries[start].hash;) ++end;
        for (size_t i = start + 1; i < end && m_entries[i].position < first; ++i) {
            bool repeats = false;
            for (size_t j = start; j < i && !repeats; ++j) repeats = JsonEqual(*m_entries[j].value, *m_entries[i].value);
            if (repeats) {
                first = m_entries[i].position;
                break;
            }
        }
    }
    return first;
}

} // namespace TarnSchemaValidation
