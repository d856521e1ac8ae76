// The schema store: the registered schemas of the configuration objects,
// kept in the schema store database, and the lookups the store's operations
// make on them. The entry format that crates write is described in
// docs/schema-format.md; the decisions behind these operations in
// docs/schema-services.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace TarnSchemaStore {

// Identity of one schema object: component, group and name.
class TARN_PLATFORM_EXPORT SchemaObjectId {
public:
    SchemaObjectId(const std::string& component, const std::string& group, const std::string& name);

    // "component/group/name"
    std::string toString() const;
    bool operator==(const SchemaObjectId& other) const;
    bool operator!=(const SchemaObjectId& other) const { return !(*this == other); }

    const std::string& GetComponent() const { return m_component; }
    const std::string& GetGroup() const { return m_group; }
    const std::string& GetName() const { return m_name; }

private:
    std::string m_component;
    std::string m_group;
    std::string m_name;
};

// Multiply-xor hash over the bytes of toString(), each byte taken as a signed
// 8-bit value widened to 64 bits.
struct TARN_PLATFORM_EXPORT SchemaObjectIdHash {
    size_t operator()(const SchemaObjectId& id) const;
};

typedef std::unordered_set<SchemaObjectId, SchemaObjectIdHash> SchemaObjectIdSet;

// Kinds of schema objects (the entry's "kind").
enum SchemaKind : int {
    KIND_CONFIG = 1,           // ordinary configuration object
    KIND_FILES = 2,            // file declaration, the objects named "files"
    KIND_INTERNAL = 3,         // values written by the host only; no user value is accepted
    KIND_FIXED_INSTANCES = 5,  // instances listed by the entry are the host's own
};

// Values of the SchemaType column (the entry's "schemaType").
enum SchemaType : int {
    SCHEMA_TYPE_CONFIG = 0,     // configuration the boot applies
    SCHEMA_TYPE_STATE = 1,      // state the host reports; never applied at boot
    SCHEMA_TYPE_EXTENSION = 2,  // configuration a crate's extension applies at boot
};

// Identifier field of objects whose instance identifiers are generated.
inline constexpr char GENERATED_ID_FIELD[] = "cs_generated_id";

// One registered schema object.
class TARN_PLATFORM_EXPORT SchemaObject {
public:
    // The member that carries the instance identifier: empty for a singleton,
    // "cs_generated_id" when identifiers are generated.
    virtual std::string GetIdField() const = 0;
    // The schema a user value is checked against: the full schema without
    // the members of the vital and cached layers (see schema-services.md).
    virtual const rapidjson::Value& GetUserSchema() const = 0;
    // The full schema of a value, all layers, with the layer markers.
    virtual const rapidjson::Value& GetSchemaDocument() const = 0;
    virtual std::string GetVersion() const = 0;
    virtual bool IsMutableDefaultConfig() const = 0;
    virtual bool IsNonSingleton() const = 0;
    // File declaration of a "files" object; status 0 when the object has one,
    // 1 (output untouched) otherwise.
    virtual int GetFileEnabled(uint8_t& enabled) const = 0;
    virtual int GetFileCategory(std::string& category) const = 0;
    virtual int GetFilePath(std::string& path) const = 0;
    // Instance identifiers the entry lists (objects of the fixed-instances kind).
    virtual std::vector<std::string> GetIdentifierList() const = 0;

    virtual SchemaObjectId GetId() const = 0;
    virtual int GetKind() const = 0;

    virtual ~SchemaObject();
};

// Lookups of schema objects for one operation.
class TARN_PLATFORM_EXPORT SchemaObjectCache {
public:
    // The empty pointer when no such object is registered.
    virtual const std::shared_ptr<SchemaObject>& GetSchemaObject(const SchemaObjectId& id) = 0;
    // Whether any object is registered under the component (the group of the
    // component). Used to name what a desired document gets wrong.
    virtual bool HasComponent(const std::string& component);
    virtual bool HasGroup(const std::string& component, const std::string& group);

    virtual ~SchemaObjectCache();
};

class TARN_PLATFORM_EXPORT SchemaStore {
public:
    // The empty pointer when no such object is registered.
    virtual std::shared_ptr<SchemaObject> GetSchemaObject(const SchemaObjectId& id) = 0;
    // Objects registered under the name, ordered by component and group.
    virtual std::vector<std::shared_ptr<SchemaObject>> GetSchemaObjects(const std::string& name) = 0;
    // sharedOnly: only the objects shared with the SmartNIC side
    // (SmartnicSchema ValueType "tarn-shared"); false gives all.
    virtual SchemaObjectIdSet GetMutableDefaultConfigIds(bool sharedOnly) = 0;
    virtual SchemaObjectIdSet GetSchemaObjectIdsByKind(int kind) = 0;
    virtual SchemaObjectIdSet GetSchemaObjectIds(bool sharedOnly) = 0;
    // One transaction around the registration of one schema file: the
    // entries set between BeginUpdate and CommitUpdate become visible to
    // others together. AbortUpdate ends the update: CommitUpdate right after
    // it keeps the entries set before the abort (a schema file that stops at
    // a bad entry keeps those before it); any other call first drops them
    // all, as does the store's end. CommitUpdate and AbortUpdate without an
    // open update do nothing. Failures throw ConfigStoreException.
    virtual void BeginUpdate() = 0;
    virtual void CommitUpdate() = 0;
    virtual void AbortUpdate() = 0;
    // IDs of the schema files whose entries are registered.
    virtual std::unordered_set<std::string> GetSchemaFileIds() = 0;
    // Removes the files and every entry, SmartNIC row and data-file key
    // that came from them.
    virtual void RemoveSchemaFiles(const std::unordered_set<std::string>& fileIds) = 0;
    // Lookups between BeginRead and EndRead read one state of the store, in
    // one read transaction: the database is locked once for all of them
    // instead of once per lookup, and writers of other connections wait
    // meanwhile. Inside an update they read the update. Both do nothing
    // where they have nothing to do (by default, a read already open, no
    // read open); an update begun, or SetSchema outside one, ends the read.
    virtual void BeginRead();
    virtual void EndRead();

    virtual ~SchemaStore();

    // A store object over the schema store database, which is created with
    // its tables when missing. Throws ConfigStoreException when the database
    // cannot be opened.
    static std::shared_ptr<SchemaStore> GetStore();
    // A cache of schema objects for one operation, over a store of its own.
    static std::shared_ptr<SchemaObjectCache> GetCache();
};

// The registered object, or the empty pointer.
TARN_PLATFORM_EXPORT std::shared_ptr<SchemaObject> GetSchema(const std::string& component, const std::string& group,
                                                             const std::string& name,
                                                             const std::shared_ptr<SchemaStore>& store);

// Registers one schema entry (the entry object serialized as JSON) that came
// from the schema file fileId, replacing an earlier registration of the same
// object. hasSmartnic tells that the entry has a "smartnic" member. Returns 0
// for a new object, 1 for a replaced one. An entry that is not valid JSON,
// lacks a required member or carries a schema that cannot be used is refused
// with ConfigStoreException naming the file and the entry; the store is then
// left as it was.
TARN_PLATFORM_EXPORT int SetSchema(const std::string& fileId, const std::string& component, const std::string& group,
                                   const std::string& name, const std::string& schemaText,
                                   const std::shared_ptr<SchemaStore>& store, bool hasSmartnic);
// The same for an entry its caller has parsed already: entry is the value
// that schemaText serializes, read instead of parsing the text again.
TARN_PLATFORM_EXPORT int SetSchema(const std::string& fileId, const std::string& component, const std::string& group,
                                   const std::string& name, const std::string& schemaText,
                                   const rapidjson::Value& entry, const std::shared_ptr<SchemaStore>& store,
                                   bool hasSmartnic);

// Builds into schemaOut one schema that covers a whole desired document
// {"profile": {component: {group: {key: value}}}}: every key is checked
// against its object's user schema (non-singleton objects take an array of
// instances; "DELETE_DEFAULT" is accepted for objects with mutable defaults),
// and unknown components, groups and keys fail validation with errors that
// name them. errors is made an empty array for the validation that follows.
//
// With keySchemas, each key's node in schemaOut is left empty ({}) and every
// occurrence of a known key is listed instead, with its own schema (from
// schemaOut's allocator), to be checked on its own: a schema document's
// compilation costs more than linear time in its size, so a document of
// many objects is checked much faster one key at a time.
struct TARN_PLATFORM_EXPORT DesiredKeySchema {
    const rapidjson::Value* value;  // the key's value in the desired document
    std::string pointer;            // its JSON pointer in the desired document
    rapidjson::Value schema;
};
TARN_PLATFORM_EXPORT void GenerateSchemaDocument(const rapidjson::Value& desiredDocument,
                                                 const std::shared_ptr<SchemaObjectCache>& cache,
                                                 rapidjson::Document& schemaOut, rapidjson::Document& errors,
                                                 std::vector<DesiredKeySchema>* keySchemas = nullptr);

} // namespace TarnSchemaStore
