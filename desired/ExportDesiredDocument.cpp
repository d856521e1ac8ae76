// The user configuration as a desired document: what storing it and booting
// would restate, so that such a boot changes nothing.
#include <string>
#include <vector>

#include "desired/desired_document.h"
#include "store/schema_store_attachment.h"
#include "tarn/config_validation.h"
#include "tarn/desired_config.h"

namespace TarnConfigStore {
namespace {

// Every object a desired document governs, with its stored user values.
// A boot with new desired configuration deletes the user values of a
// desired-state object that the document leaves out, and brings back the
// defaults of a mutable-default object it leaves out.
constexpr char kGovernedValues[] =
    "SELECT s.Component, s.ConfigGroup, s.Name, c.Identifier, c.UserValue FROM ss.ConfigSchema AS s "
    "LEFT JOIN Config AS c ON c.Component = s.Component AND c.ConfigGroup = s.ConfigGroup AND c.Name = s.Name "
    "AND c.UserValue IS NOT NULL WHERE s.DSPIntegrated = 1 OR s.MutableDefaultConfig = 1 "
    "ORDER BY s.Component, s.ConfigGroup, s.Name, c.Identifier;";

struct Row {
    std::string component, group, name, identifier;
    bool hasValue;  // false: the object has no user value at all
    std::string value;
};

int CollectRow(void* ctx, int, char** values, char**) {
    auto* rows = static_cast<std::vector<Row>*>(ctx);
    rows->push_back({values[0] ? values[0] : "", values[1] ? values[1] : "", values[2] ? values[2] : "",
                     values[3] ? values[3] : "", values[4] != nullptr, values[4] ? values[4] : ""});
    return 0;
}

// The member name of parent, added when it is not the last one: rows come
// ordered by object, so a level's members are added one after the other.
rapidjson::Value& Child(rapidjson::Value& parent, const std::string& name, rapidjson::Document::AllocatorType& alloc) {
    if (parent.MemberCount() == 0 || MemberName((parent.MemberEnd() - 1)->name) != name)
        parent.AddMember(rapidjson::Value(name.data(), static_cast<rapidjson::SizeType>(name.size()), alloc),
                         rapidjson::Value(rapidjson::kObjectType), alloc);
    return (parent.MemberEnd() - 1)->value;
}

// The stored value as it can stand in a document for its instance; empty
// reason when it can. A value without its identifier member gets it.
std::string Restatable(const TarnSchemaStore::SchemaObject& object, const Row& row, rapidjson::Document& value) {
    if (TarnJson::Parse(value, row.value).IsError() || !value.IsObject()) return "the user value is not a JSON object";
    const std::string field = object.GetIdField();
    if (field.empty()) return row.identifier.empty() ? "" : "a singleton's value stored as an instance";
    const auto member = value.FindMember(field.c_str());
    if (member == value.MemberEnd()) {
        value.AddMember(rapidjson::Value(field.c_str(), value.GetAllocator()),
                        rapidjson::Value(row.identifier.c_str(), value.GetAllocator()), value.GetAllocator());
        return "";
    }
    const bool same = member->value.IsString() && MemberName(member->value) == row.identifier;
    return same ? "" : "the value's " + field + " names another instance";
}

} // namespace

DesiredExport ExportDesiredDocument() {
    std::vector<Row> rows;
    {
        const auto conn = GetDBConnection(DBStore::CONFIG_STORE, true);
        const SchemaStoreAttachment attachment(conn);
        if (DBStore::ExecuteV2(conn, kGovernedValues, &CollectRow, &rows, 3000) != 0)
            throw ConfigStoreException("Failed to read the user configuration");
    }
    DesiredExport result;
    rapidjson::Document& doc = result.document;
    auto& alloc = doc.GetAllocator();
    doc.SetObject().AddMember("profile", rapidjson::Value(rapidjson::kObjectType), alloc);
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    for (size_t begin = 0, end; begin < rows.size(); begin = end) {
        const Row& first = rows[begin];
        for (end = begin + 1; end < rows.size() && rows[end].component == first.component &&
                              rows[end].group == first.group && rows[end].name == first.name;)
            ++end;
        const auto object = cache->GetSchemaObject({first.component, first.group, first.name});
        if (!object || object->GetKind() == TarnSchemaStore::KIND_INTERNAL) continue;
        rapidjson::Value values(rapidjson::kArrayType);
        for (size_t i = begin; i < end && first.hasValue; ++i) {
            rapidjson::Document value;
            const std::string reason = Restatable(*object, rows[i], value);
            if (reason.empty()) values.PushBack(rapidjson::Value(value, alloc), alloc);
            else result.notRestated.push_back(first.component + "/" + first.group + "/" + first.name + "[" +
                                              rows[i].identifier + "]: " + reason);
        }
        if (values.Empty() && !object->IsMutableDefaultConfig()) continue;
        rapidjson::Value& group = Child(Child(doc["profile"], first.component, alloc), first.group, alloc);
        rapidjson::Value key(first.name.data(), static_cast<rapidjson::SizeType>(first.name.size()), alloc);
        if (values.Empty()) group.AddMember(key, rapidjson::Value(DELETE_DEFAULT_VALUE, alloc), alloc);
        else if (object->IsNonSingleton()) group.AddMember(key, values, alloc);
        else group.AddMember(key, values[0], alloc);
    }
    return result;
}

} // namespace TarnConfigStore
