// Schema entries, database reads and JSON helpers shared by the schema tests.
#pragma once

#include <memory>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/exceptions.h"
#include "tarn/platform/json_validator.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"

namespace SchemaTest {

// A multi-instance object with every flag, layers at several depths and
// fixed instances; a singleton; an object with generated identifiers.
inline const char kSegments[] = R"({"component": "netd", "group": "network", "key": "segments",
  "version": "2.1", "idField": "name", "kind": "fixed-instances", "fixedInstances": ["Mgmt Net", "vMotion"],
  "mutableDefaultConfig": true, "dspIntegrated": true, "preserveNonUser": true, "noRestore": true,
  "schemaType": "extension", "datafiles": ["pg-cert", "pg-key"], "smartnic": {"schema": "tarn-shared"},
  "schema": {"type": "object", "required": ["vlan", "mac"], "properties": {
    "name": {"type": "string"}, "vlan": {"type": "integer", "minimum": 0, "maximum": 4095},
    "mac": {"type": "string", "vital": true}, "stats": {"type": "object", "cached": true},
    "uplinks": {"type": "array", "items": {"type": "object", "properties": {
      "nic": {"type": "string", "instanceId": true}, "speed": {"type": "integer", "cached": true}}}}}}})";

inline const char kTrunk[] = R"({"component": "netd", "group": "network", "key": "trunk", "version": "1.0",
  "schema": {"type": "object", "properties": {"mtu": {"type": "integer"}}}})";

inline const char kGenerated[] = R"({"component": "netd", "group": "routes", "key": "route", "version": "1.0",
  "idField": "cs_generated_id", "mutableDefaultConfig": true,
  "schema": {"type": "object", "properties": {"gateway": {"type": "string"}}}})";

// Rows of a query on the schema store database, columns joined by "|".
inline std::vector<std::string> Rows(const std::string& sql) {
    return TarnTest::Query(TarnTest::Rooted("/etc/halden/schemastore/schema-store-1"), sql);
}

// Everything the store holds, for comparisons before and after.
inline std::vector<std::string> Snapshot() {
    std::vector<std::string> all;
    for (const char* table : {"ConfigSchema", "DataFileSchema", "SmartnicSchema", "SchemaObjectKind", "SchemaFile"}) {
        all.push_back(table);
        for (auto& row : Rows(std::string("SELECT * FROM ") + table + " ORDER BY 1;")) all.push_back(row);
    }
    return all;
}

// Registers an entry from the file through the store.
inline int Register(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, const std::string& fileId,
                    const std::string& entry) {
    rapidjson::Document doc;
    doc.Parse(entry.c_str());
    return TarnSchemaStore::SetSchema(fileId, doc["component"].GetString(), doc["group"].GetString(),
                                      doc["key"].GetString(), entry, store, doc.HasMember("smartnic"));
}

// The message SetSchema refuses an entry of file "bad" for the object
// netd/network/segments with ("" when it is accepted); smartnic announced
// as the entry has it unless told.
inline std::string Refusal(const std::string& entry, int smartnic = -1) {
    try {
        TarnSchemaStore::SetSchema("bad", "netd", "network", "segments", entry, TarnSchemaStore::SchemaStore::GetStore(),
                                   smartnic < 0 ? entry.find("\"smartnic\"") != std::string::npos : smartnic != 0);
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        return e.what();
    }
    return "";
}

inline std::unique_ptr<rapidjson::Document> Json(const std::string& text) {
    auto doc = std::make_unique<rapidjson::Document>();
    doc->Parse(text.c_str());
    EXPECT_FALSE(doc->HasParseError()) << text;
    return doc;
}

inline std::string Text(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return buffer.GetString();
}

// The errors of a validation result as (field, error) pairs, in order.
typedef std::vector<std::pair<std::string, std::string>> Errors;

inline Errors Validate(const std::string& schema, const std::string& value, const std::set<int>& codes,
                       const std::string& path = "") {
    auto s = Json(schema);
    auto v = Json(value);
    rapidjson::Document result;
    bool valid = JsonValidator::Validate(*s, *v, result, codes, path);
    Errors errors;
    for (const auto& e : result.GetArray()) errors.emplace_back(e["field"].GetString(), e["error"].GetString());
    EXPECT_EQ(valid, errors.empty());
    return errors;
}

} // namespace SchemaTest
