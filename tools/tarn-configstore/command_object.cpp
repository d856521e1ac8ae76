// get, set: one configuration object's layers, and writing its user value,
// named as component/group/name with [identifier] for one instance.
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include "tarn/boot_state.h"
#include "tarn/config_diff.h"
#include "tarn/config_object.h"
#include "tarn/db_connection.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/schema_store.h"
#include "write_check.h"

namespace TarnCli {
namespace {

// An OBJECT[ID] operand: three non-empty names, and the identifier of one
// instance when given.
struct ObjectName {
    std::string component, group, name;
    std::optional<std::string> identifier;
    TarnSchemaStore::SchemaObjectId Id() const { return {component, group, name}; }
    std::string Text() const { return Id().toString() + (identifier ? "[" + *identifier + "]" : ""); }
};

std::optional<ObjectName> ParseObjectName(const std::string& text) {
    ObjectName n;
    std::string path = text;
    if (const size_t open = text.find('['); open != std::string::npos) {
        if (text.back() != ']' || open + 2 >= text.size()) return std::nullopt;
        n.identifier = text.substr(open + 1, text.size() - open - 2);
        path.resize(open);
    }
    const size_t first = path.find('/'), second = path.find('/', first + 1);
    if (first == std::string::npos || second == std::string::npos || path.find('/', second + 1) != std::string::npos)
        return std::nullopt;
    n.component = path.substr(0, first);
    n.group = path.substr(first + 1, second - first - 1);
    n.name = path.substr(second + 1);
    if (n.component.empty() || n.group.empty() || n.name.empty()) return std::nullopt;
    return n;
}

int Refuse(const std::string& reason) {
    std::fprintf(stderr, "tarn-configstore: %s\n", reason.c_str());
    return 1;
}

// The registered object the operand names, with an identifier only for a
// multi-instance object; the empty pointer after saying why not.
std::shared_ptr<TarnSchemaStore::SchemaObject> Registered(const std::string& operand, ObjectName& n) {
    const std::optional<ObjectName> parsed = ParseObjectName(operand);
    if (!parsed) {
        Refuse("'" + operand + "' is not component/group/name or component/group/name[identifier]");
        return nullptr;
    }
    n = *parsed;
    auto object = TarnSchemaStore::SchemaStore::GetCache()->GetSchemaObject(n.Id());
    if (!object) Refuse("no configuration object " + n.Id().toString() + " is registered");
    else if (n.identifier && !object->IsNonSingleton()) Refuse(n.Id().toString() + " is a singleton: it has no instances");
    else return object;
    return nullptr;
}

// The rows of the object, as the store reads its layers; one instance's
// alone when identifier is given.
std::vector<TarnConfigStore::ConfigLayerRow> Rows(const ObjectName& n, const std::optional<std::string>& identifier) {
    return TarnConfigStore::ReadObjectLayers(TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true), n.component,
                                             n.group, n.name, identifier);
}

void WriteLayers(JsonOutput& w, const TarnConfigStore::ConfigLayerValues& layers) {
    w.StartObject();
    for (size_t i = 0; i < layers.size(); ++i) {
        w.Key(TarnConfigStore::CONFIG_LAYER_NAMES[i]);
        w.Layer(layers[i]);
    }
    w.EndObject();
}

// A value given for one instance carries that instance's identifier member.
bool NamesTheInstance(rapidjson::Document& value, const std::string& field, const std::string& identifier) {
    if (!value.IsObject()) return true;  // refused by the store's validation, with its other errors
    const auto member = value.FindMember(field.c_str());
    if (member == value.MemberEnd()) {
        value.AddMember(rapidjson::Value(field.c_str(), value.GetAllocator()),
                        rapidjson::Value(identifier.c_str(), value.GetAllocator()), value.GetAllocator());
        return true;
    }
    return member->value.IsString() &&
           std::string(member->value.GetString(), member->value.GetStringLength()) == identifier;
}

} // namespace

int RunGet(const Args& args) {
    const Args words = ParseArgs(args).operands;
    if (words.empty()) throw UsageError("missing argument: expected OBJECT[ID]");
    AtMost(words, 1);
    ObjectName n;
    const auto object = Registered(words[0], n);
    if (!object) return 1;
    // A singleton is its one row with the empty identifier.
    const bool one = n.identifier || !object->IsNonSingleton();
    const auto rows = Rows(n, one ? std::optional<std::string>(n.identifier.value_or("")) : std::nullopt);
    if (one && rows.empty())
        return Refuse(n.identifier ? n.Id().toString() + " has no instance '" + *n.identifier + "'"
                                   : n.Id().toString() + " has no value in the store");
    JsonOutput w;
    if (one) {
        WriteLayers(w, rows[0].layers);
    } else {
        w.StartObject();  // every instance by its identifier
        for (const auto& r : rows) {
            w.Key(r.identifier.c_str(), static_cast<rapidjson::SizeType>(r.identifier.size()));
            WriteLayers(w, r.layers);
        }
        w.EndObject();
    }
    w.Print();
    return 0;
}

int RunSet(const Args& args) {
    const Args w = ParseArgs(args).operands;
    if (w.size() < 2) throw UsageError("missing argument: expected OBJECT[ID] and its JSON value");
    AtMost(w, 2);
    ObjectName n;
    const auto object = Registered(w[0], n);
    if (!object) return 1;
    rapidjson::Document value;
    const rapidjson::ParseResult parsed = TarnJson::Parse(value, w[1]);
    if (parsed.IsError())
        return Refuse("the value is not one JSON value (at offset " + std::to_string(parsed.Offset()) + "); nothing stored");
    if (n.identifier && !NamesTheInstance(value, object->GetIdField(), *n.identifier))
        return Refuse("the value's " + object->GetIdField() + " is not '" + *n.identifier + "'; nothing stored");
    auto lock = LockStore();
    const WriteCheck check;
    try {
        n.identifier = TarnConfigStore::SetUserConfigObject(n.Id(), value);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string(e.what()) + "; nothing stored");  // one statement: all or nothing
    }
    if (n.identifier->empty()) n.identifier.reset();
    // Read back as get reads it: the value as the store keeps values.
    std::string expected;
    ConfigStoreDocument::SerializeValue(value, expected);
    const auto rows = Rows(n, n.identifier.value_or(""));
    check.Expect(!rows.empty() && rows[0].layers[0] == expected, "the user value of " + n.Text());
    std::printf("%s: user value set; the next boot restores the store from its backup, so run 'tarn-configstore "
                "backup' before it, or it starts without this change\n", n.Text().c_str());
    if (const int mode = static_cast<int>(TarnConfigStore::GetBootMode()); mode != 0)
        std::printf("the next boot applies the configuration pending for it (boot mode %d), which may replace this "
                    "value ('tarn-configstore plan' shows it)\n", mode);
    return 0;
}

} // namespace TarnCli
