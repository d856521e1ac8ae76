#include "schema/schema_entry.h"

#include <algorithm>
#include <set>
#include <utility>

#include "schema/entry_schema_checks.h"
#include "schema/schema_walk.h"
#include "tarn/platform/schema_store.h"

namespace TarnSchemaEntry {
namespace {

using TarnSchemaWalk::Member;

const std::set<std::string> kEntryMembers = {
    "key",        "group",          "component",  "description",          "version",       "idField",
    "kind",       "fixedInstances", "schemaType", "mutableDefaultConfig", "dspIntegrated", "preserveNonUser",
    "noRestore",  "file",           "datafiles",  "schema",               "smartnic",
};

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

[[noreturn]] void Refuse(const std::string& why) { throw EntryError(why); }

std::string NonEmptyString(const rapidjson::Value& v, const std::string& what) {
    if (!v.IsString() || v.GetStringLength() == 0) Refuse(what + " must be a non-empty string");
    return std::string(v.GetString(), v.GetStringLength());
}

std::string RequiredString(const rapidjson::Value& entry, const char* name) {
    const rapidjson::Value* v = Member(entry, name);
    if (!v) Refuse("misses the member " + Quote(name));
    return NonEmptyString(*v, "member " + Quote(name));
}

bool OptionalBool(const rapidjson::Value& entry, const char* name) {
    const rapidjson::Value* v = Member(entry, name);
    if (!v) return false;
    if (!v->IsBool()) Refuse("member " + Quote(name) + " must be true or false");
    return v->GetBool();
}

std::vector<std::string> StringList(const rapidjson::Value& v, const std::string& what) {
    if (!v.IsArray()) Refuse(what + " must be an array of strings");
    std::vector<std::string> out;
    for (const auto& e : v.GetArray()) {
        std::string s = NonEmptyString(e, "each element of " + what);
        if (std::find(out.begin(), out.end(), s) != out.end()) Refuse(what + " lists '" + s + "' twice");
        out.push_back(std::move(s));
    }
    return out;
}

int Choice(const rapidjson::Value& entry, const char* name, std::initializer_list<std::pair<const char*, int>> choices,
           int fallback) {
    const rapidjson::Value* v = Member(entry, name);
    if (!v) return fallback;
    std::string names;
    for (const auto& c : choices) {
        if (TarnSchemaWalk::StringEquals(v, c.first)) return c.second;
        names += (names.empty() ? "" : ", ") + Quote(c.first);
    }
    Refuse("member " + Quote(name) + " must be one of " + names);
}

void CheckOnly(const rapidjson::Value& object, std::initializer_list<const char*> allowed, const std::string& what) {
    for (auto m = object.MemberBegin(); m != object.MemberEnd(); ++m) {
        const std::string name(m->name.GetString(), m->name.GetStringLength());
        if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return name == a; }))
            Refuse(what + " has the unknown member " + Quote(name));
    }
}

FileDeclaration ReadFile(const rapidjson::Value& v) {
    if (!v.IsObject()) Refuse("member \"file\" must be an object");
    CheckOnly(v, {"enabled", "category", "path"}, "member \"file\"");
    FileDeclaration file;
    file.enabled = Member(v, "enabled") ? OptionalBool(v, "enabled") : true;
    file.category = RequiredString(v, "category");
    if (file.category != "vital" && file.category != "cached" && file.category != "config")
        Refuse("file category must be \"vital\", \"cached\" or \"config\", not " + Quote(file.category));
    file.path = RequiredString(v, "path");
    if (file.path[0] != '/') Refuse("file path must be absolute, not " + Quote(file.path));
    return file;
}

void CheckIdentity(const rapidjson::Value& entry, const char* member, const std::string& expected) {
    std::string actual = RequiredString(entry, member);
    if (actual != expected) Refuse("member " + Quote(member) + " is " + Quote(actual) + ", not " + Quote(expected));
}

// The entry in owned, which becomes the entry's schema document: the
// entry's other members are read first, then its "schema" becomes the root.
SchemaEntry ReadEntry(const std::shared_ptr<rapidjson::Document>& owned, const std::string& component,
                      const std::string& group, const std::string& name, bool checkSchema) {
    rapidjson::Document& doc = *owned;
    if (!doc.IsObject()) Refuse("is not a JSON object");
    for (auto m = doc.MemberBegin(); m != doc.MemberEnd(); ++m) {
        const std::string member(m->name.GetString(), m->name.GetStringLength());
        if (!kEntryMembers.count(member)) Refuse("has the unknown member " + Quote(member));
    }

    SchemaEntry e;
    CheckIdentity(doc, "component", component);
    CheckIdentity(doc, "group", group);
    CheckIdentity(doc, "key", name);
    e.component = component;
    e.group = group;
    e.name = name;
    e.version = RequiredString(doc, "version");
    if (const rapidjson::Value* id = Member(doc, "idField")) e.idField = NonEmptyString(*id, "member \"idField\"");

    using namespace TarnSchemaStore;
    const bool isFiles = name == "files";
    e.kind = Choice(doc, "kind",
                    {{"config", KIND_CONFIG}, {"files", KIND_FILES}, {"internal", KIND_INTERNAL},
                     {"fixed-instances", KIND_FIXED_INSTANCES}},
                    isFiles ? KIND_FILES : KIND_CONFIG);
    if ((e.kind == KIND_FILES) != isFiles)
        Refuse("kind \"files\" belongs to the objects named \"files\", and they have no other kind");
    e.schemaType = Choice(doc, "schemaType",
                          {{"config", SCHEMA_TYPE_CONFIG}, {"state", SCHEMA_TYPE_STATE}, {"extension", SCHEMA_TYPE_EXTENSION}},
                          SCHEMA_TYPE_CONFIG);
    e.mutableDefaultConfig = OptionalBool(doc, "mutableDefaultConfig");
    e.dspIntegrated = OptionalBool(doc, "dspIntegrated");
    e.preserveNonUser = OptionalBool(doc, "preserveNonUser");
    e.noRestore = OptionalBool(doc, "noRestore");

    const rapidjson::Value* fixed = Member(doc, "fixedInstances");
    if (e.kind == KIND_FIXED_INSTANCES) {
        if (!fixed) Refuse("kind \"fixed-instances\" needs the member \"fixedInstances\"");
        if (e.idField.empty() || e.idField == GENERATED_ID_FIELD)
            Refuse("kind \"fixed-instances\" needs an \"idField\" whose identifiers are not generated");
        e.fixedInstances = StringList(*fixed, "member \"fixedInstances\"");
    } else if (fixed) {
        Refuse("member \"fixedInstances\" belongs to objects of kind \"fixed-instances\" only");
    }

    const rapidjson::Value* file = Member(doc, "file");
    if (e.kind == KIND_FILES) {
        if (!file) Refuse("objects named \"files\" need the member \"file\"");
        e.file = ReadFile(*file);
    } else if (file) {
        Refuse("member \"file\" belongs to objects named \"files\" only");
    }
    if (const rapidjson::Value* data = Member(doc, "datafiles")) e.dataFiles = StringList(*data, "member \"datafiles\"");
    if (const rapidjson::Value* smartnic = Member(doc, "smartnic")) {
        if (!smartnic->IsObject()) Refuse("member \"smartnic\" must be an object");
        CheckOnly(*smartnic, {"schema"}, "member \"smartnic\"");
        const rapidjson::Value* type = Member(*smartnic, "schema");
        if (!type) Refuse("member \"smartnic\" misses its member \"schema\"");
        e.smartnicValueType = NonEmptyString(*type, "member \"smartnic\".\"schema\"");
    }

    e.schema = owned;
    if (rapidjson::Value* schema = Member(doc, "schema")) {
        rapidjson::Value root(std::move(*schema));
        static_cast<rapidjson::Value&>(doc) = std::move(root);
    } else if (e.kind == KIND_FILES) {
        TarnJson::Parse(*e.schema, R"({"type": "object", "properties": {}})");
    } else {
        Refuse("misses the member \"schema\"");
    }
    if (checkSchema) {
        std::string problem = FindSchemaProblem(*e.schema);
        if (!problem.empty()) Refuse("schema: " + problem);
    }
    CompleteSchema(*e.schema, e.idField);
    return e;
}

} // namespace

std::shared_ptr<rapidjson::Document> SmallDocument() {
    constexpr size_t kChunkCapacity = 8 * 1024;
    struct Owned {
        rapidjson::MemoryPoolAllocator<> pool{kChunkCapacity};
        rapidjson::Document doc{&pool};
    };
    auto owned = std::make_shared<Owned>();
    return std::shared_ptr<rapidjson::Document>(owned, &owned->doc);
}

SchemaEntry ReadSchemaEntry(const std::string& text, const std::string& component, const std::string& group,
                            const std::string& name, bool checkSchema) {
    std::shared_ptr<rapidjson::Document> owned = SmallDocument();
    if (rapidjson::ParseResult parsed = TarnJson::Parse(*owned, text); !parsed)
        Refuse("is not valid JSON (error at offset " + std::to_string(parsed.Offset()) + ")");
    return ReadEntry(owned, component, group, name, checkSchema);
}

SchemaEntry ReadSchemaEntry(const rapidjson::Value& entry, const std::string& component, const std::string& group,
                            const std::string& name, bool checkSchema) {
    std::shared_ptr<rapidjson::Document> owned = SmallDocument();
    owned->CopyFrom(entry, owned->GetAllocator());
    return ReadEntry(owned, component, group, name, checkSchema);
}

} // namespace TarnSchemaEntry
