// The "types" section: base, array, struct and enum types.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "kno/json_fields.h"
#include "kno/loader_parts.h"

namespace TarnPlatform::Kno {
namespace {

using Json::Fail;
using rapidjson::Value;

// Values are encoded and decoded by recursion over their type, and a
// decoded value is written back into the tree file, which must parse again.
constexpr unsigned TYPE_MAX_NESTING = 64;

// Nesting of a type (1 for base and enum), from that of the types it is
// built of, which are loaded before it.
unsigned Nesting(const KNOType& type, const std::unordered_map<const KNOType*, unsigned>& known) {
    unsigned inner = 0;
    if (type.elementType) inner = known.at(type.elementType);
    for (uint32_t i = 0; i < type.numMembers; ++i) inner = std::max(inner, known.at(type.members[i].type));
    return inner + 1;
}

// A base type's display text must hold exactly one printf conversion of an
// integer ("%s" only for 1-byte character elements), since it is handed to
// printf with the value.
void CheckDisplay(const std::string& display, uint32_t size, const std::string& where) {
    int conversions = 0;
    for (size_t i = 0; i < display.size(); ++i) {
        if (display[i] != '%') continue;
        if (++i < display.size() && display[i] == '%') continue;
        while (i < display.size() && std::strchr("-+ #0", display[i])) ++i;
        while (i < display.size() && std::isdigit(static_cast<unsigned char>(display[i]))) ++i;
        while (i < display.size() && std::strchr("hlzj", display[i])) ++i;
        if (i >= display.size() || !std::strchr("diouxXcs", display[i])) {
            Fail(where, "display '" + display + "' is not a printf format of one integer");
        }
        if (display[i] == 's' && size != 1) Fail(where, "display '%s' is only for 1-byte character types");
        ++conversions;
    }
    if (conversions != 1) Fail(where, "display '" + display + "' must hold exactly one conversion");
}

const KNOType& TypeNamed(const Definitions& defs, const std::string& name, const std::string& where) {
    auto it = defs.typesByName.find(name);
    if (it == defs.typesByName.end()) {
        Fail(where, "unknown type '" + name + "' (a type must be defined before it is used)");
    }
    return *it->second;
}

void LoadBase(const Value& entry, KNOType& type, Definitions& defs, const std::string& where) {
    Json::CheckMembers(entry, {"name", "kind", "size", "display", "description"}, where);
    type.size = static_cast<uint32_t>(Json::Unsigned(entry, "size", where, 8, true));
    if (type.size != 1 && type.size != 2 && type.size != 4 && type.size != 8) Fail(where, "size must be 1, 2, 4 or 8");
    std::string display = Json::String(entry, "display", where, false, type.size == 8 ? "%lu" : "%u");
    CheckDisplay(display, type.size, where);
    type.display = defs.Intern(display);
}

void LoadArray(const Value& entry, KNOType& type, Definitions& defs, const std::string& where) {
    Json::CheckMembers(entry, {"name", "kind", "element", "count", "size", "description"}, where);
    const KNOType& element = TypeNamed(defs, Json::String(entry, "element", where, true), where);
    type.elementType = &element;
    bool hasCount = Json::Find(entry, "count"), hasSize = Json::Find(entry, "size");
    if (hasCount == hasSize) Fail(where, "give either 'count' or 'size'");
    uint64_t limit = std::numeric_limits<uint32_t>::max();
    if (hasCount) {
        uint64_t count = Json::Unsigned(entry, "count", where, limit / element.size, true);
        type.size = static_cast<uint32_t>(count * element.size);
    } else {
        type.size = static_cast<uint32_t>(Json::Unsigned(entry, "size", where, limit, true));
        if (type.size % element.size) {
            Fail(where, "size " + std::to_string(type.size) + " is not a multiple of the element size " +
                            std::to_string(element.size));
        }
    }
    if (type.size == 0) Fail(where, "an array needs at least one element");
    type.display = defs.Intern("");
}

void LoadStruct(const Value& entry, KNOType& type, Definitions& defs, const std::string& where) {
    Json::CheckMembers(entry, {"name", "kind", "members", "size", "display", "description"}, where);
    const Value* members = Json::Array(entry, "members", where);
    if (!members || members->Empty()) Fail(where, "a struct needs 'members'");
    std::vector<KNOStructMember> list;
    uint32_t next = 0;
    for (rapidjson::SizeType i = 0; i < members->Size(); ++i) {
        std::string at = where + " member " + std::to_string(i);
        const Value& m = Json::RequireObject((*members)[i], at);
        Json::CheckMembers(m, {"name", "type", "offset", "description"}, at);
        std::string name = Json::String(m, "name", at, true);
        at = where + " member '" + name + "'";
        if (name.empty()) Fail(at, "name is empty");
        for (const auto& other : list) {
            if (name == other.name) Fail(at, "member name used twice");
        }
        KNOStructMember member{};
        member.name = defs.Intern(name);
        member.type = &TypeNamed(defs, Json::String(m, "type", at, true), at);
        member.offset = static_cast<uint32_t>(Json::Unsigned(m, "offset", at, 0xFFFFFFF, false, next));
        member.description = defs.Intern(Json::String(m, "description", at, false, name));
        next = member.offset + member.type->size;
        list.push_back(member);
    }
    // Members may leave gaps but never share bytes.
    std::vector<const KNOStructMember*> byOffset;
    for (const auto& m : list) byOffset.push_back(&m);
    std::sort(byOffset.begin(), byOffset.end(), [](auto* a, auto* b) { return a->offset < b->offset; });
    uint32_t end = 0;
    for (size_t i = 0; i < byOffset.size(); ++i) {
        if (i && byOffset[i]->offset < end) {
            Fail(where, std::string("members '") + byOffset[i - 1]->name + "' and '" + byOffset[i]->name + "' overlap");
        }
        end = byOffset[i]->offset + byOffset[i]->type->size;
    }
    type.size = static_cast<uint32_t>(Json::Unsigned(entry, "size", where, 0xFFFFFFF, false, end));
    if (type.size < end) Fail(where, "size " + std::to_string(type.size) + " is smaller than its members (" +
                                         std::to_string(end) + " bytes)");
    type.display = defs.Intern(Json::String(entry, "display", where, false, type.name));
    type.numMembers = static_cast<uint32_t>(list.size());
    type.members = defs.memberLists.emplace_back(std::move(list)).data();
}

void LoadEnum(const Value& entry, KNOType& type, Definitions& defs, const std::string& where) {
    Json::CheckMembers(entry, {"name", "kind", "size", "values", "bitmask", "description"}, where);
    type.size = static_cast<uint32_t>(Json::Unsigned(entry, "size", where, 4, false, 4));
    if (type.size != 1 && type.size != 2 && type.size != 4) Fail(where, "size must be 1, 2 or 4");
    type.isBitmask = Json::Bool(entry, "bitmask", where, false);
    const Value* values = Json::Array(entry, "values", where);
    if (!values || values->Empty()) Fail(where, "an enum needs 'values'");
    uint64_t max = type.size == 4 ? 0xFFFFFFFFu : (uint64_t(1) << (8 * type.size)) - 1;
    std::vector<KNOEnumValue> list;
    for (rapidjson::SizeType i = 0; i < values->Size(); ++i) {
        std::string at = where + " value " + std::to_string(i);
        const Value& v = Json::RequireObject((*values)[i], at);
        Json::CheckMembers(v, {"name", "value", "description"}, at);
        std::string name = Json::String(v, "name", at, true);
        if (name.empty()) Fail(at, "name is empty");
        for (const auto& other : list) {
            if (name == other.name) Fail(at, "value name '" + name + "' used twice");
        }
        KNOEnumValue value{};
        value.name = defs.Intern(name);
        value.value = static_cast<uint32_t>(Json::Unsigned(v, "value", at, max, true));
        value.description = defs.Intern(Json::String(v, "description", at, false, name));
        list.push_back(value);
    }
    type.display = defs.Intern("");
    type.numValues = static_cast<uint32_t>(list.size());
    type.values = defs.valueLists.emplace_back(std::move(list)).data();
}

} // namespace

void LoadTypes(const Value* types, Definitions& defs) {
    if (!types) return;
    defs.types.reserve(types->Size());  // no reallocation: records are pointed at
    std::unordered_map<const KNOType*, unsigned> nesting;
    for (rapidjson::SizeType i = 0; i < types->Size(); ++i) {
        std::string where = "types[" + std::to_string(i) + "]";
        const Value& entry = Json::RequireObject((*types)[i], where);
        std::string name = Json::String(entry, "name", where, true);
        if (name.empty()) Fail(where, "name is empty");
        where = "type '" + name + "'";
        if (defs.typesByName.count(name)) Fail(where, "defined twice");
        std::string kind = Json::String(entry, "kind", where, true);

        KNOType type{};
        type.name = defs.Intern(name);
        if (kind == "base") {
            type.kind = KNO_TYPE_BASE;
            LoadBase(entry, type, defs, where);
        } else if (kind == "array") {
            type.kind = KNO_TYPE_ARRAY;
            LoadArray(entry, type, defs, where);
        } else if (kind == "struct") {
            type.kind = KNO_TYPE_STRUCT;
            LoadStruct(entry, type, defs, where);
        } else if (kind == "enum") {
            type.kind = KNO_TYPE_ENUM;
            LoadEnum(entry, type, defs, where);
        } else {
            Fail(where, "unknown kind '" + kind + "' (base, array, struct or enum)");
        }
        const unsigned depth = Nesting(type, nesting);
        if (depth > TYPE_MAX_NESTING) Fail(where, "nests deeper than " + std::to_string(TYPE_MAX_NESTING) + " levels");
        defs.types.push_back(type);
        nesting[&defs.types.back()] = depth;
        defs.typesByName[name] = &defs.types.back();
    }
}

} // namespace TarnPlatform::Kno
