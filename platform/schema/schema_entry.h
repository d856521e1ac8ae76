// One schema entry of a crate's schema file, read and checked: everything
// the schema store keeps about a schema object.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tarn/rapidjson.h"

namespace TarnSchemaEntry {

// Why an entry cannot be registered.
class EntryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FileDeclaration {
    bool enabled = true;
    std::string category;  // "vital", "cached" or "config"
    std::string path;
};

struct SchemaEntry {
    std::string component, group, name;
    std::string version;
    std::string idField;  // empty for a singleton
    int kind = 0;
    int schemaType = 0;
    bool mutableDefaultConfig = false;
    bool dspIntegrated = false;
    bool preserveNonUser = false;
    bool noRestore = false;
    std::vector<std::string> fixedInstances;
    std::optional<FileDeclaration> file;
    std::vector<std::string> dataFiles;
    std::string smartnicValueType;  // empty without a "smartnic" member
    // The value's full schema, completed (see CompleteSchema). Never changed
    // once built. The user schema is derived from it when first asked for.
    std::shared_ptr<rapidjson::Document> schema;
};

// A document whose pool grows in chunks of 8 KB: a schema takes a few KB,
// and a boot or a desired document holds one for each object it reads.
// rapidjson's default chunk of 64 KB per document made 10,000 objects'
// user schemas 650 MB, and, taken and given back for every entry, moved
// the top of the heap up and down (brk) for each.
std::shared_ptr<rapidjson::Document> SmallDocument();

// Reads the entry text of the object (component, group, name). checkSchema
// runs the checks of the entry's JSON schema (FindSchemaProblem); entries
// read back from the store were checked when they were registered. Throws
// EntryError.
SchemaEntry ReadSchemaEntry(const std::string& text, const std::string& component, const std::string& group,
                            const std::string& name, bool checkSchema);
// The same of an entry already parsed (copied, so that the schema kept
// does not hold on to the caller's document).
SchemaEntry ReadSchemaEntry(const rapidjson::Value& entry, const std::string& component, const std::string& group,
                            const std::string& name, bool checkSchema);

// Completes the full schema of an entry in place: the identifier field is
// marked "instanceId", described and required (generated identifiers get
// their node added), and every object node on the layer split's path that
// says nothing about other members gets "additionalProperties": false, so a
// value holds only members the split can place. Throws EntryError.
void CompleteSchema(rapidjson::Document& schema, const std::string& idField);

// The user schema of a completed full schema: members of the vital and
// cached layers are replaced by a node that refuses any value and dropped
// from "required"; objects of the internal kind accept no user value.
void DeriveUserSchema(const rapidjson::Value& full, int kind, rapidjson::Document& user);

} // namespace TarnSchemaEntry
