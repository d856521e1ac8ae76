// Schema files, default files and store reads for the schema and default tests.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"
#include "tarn/platform/db_store.h"

namespace SchemaRun {

// A registrable entry; extra is put in as further members.
inline std::string Entry(const std::string& component, const std::string& group, const std::string& key,
                         const std::string& extra = "") {
    return R"({"component": ")" + component + R"(", "group": ")" + group + R"(", "key": ")" + key +
           R"(", "version": "1.0", )" + extra + (extra.empty() ? "" : ", ") +
           R"("schema": {"type": "object", "properties": {"name": {"type": "string"},
              "vlan": {"type": "integer", "maximum": 4095}, "mac": {"type": "string", "vital": true}}}})";
}

inline void WriteSchemaFile(const std::string& fileId, const std::string& crate, const std::string& entries) {
    TarnTest::WriteFile(TarnTest::Rooted("/usr/lib/halden/configmanager/schemas/" + fileId + ".json"),
                        R"({"metadata": {"cratename": ")" + crate + R"(", "crateversion": "1.0_1"}, "data": [)" +
                            entries + "]}");
}

// A default file with the elements given.
inline void WriteDefaults(const std::string& name, const std::string& elements) {
    TarnTest::WriteFile(TarnTest::Rooted("/etc/halden/default-config/" + name + ".json"),
                        R"({"data": [)" + elements + "]}");
}

inline std::string Default(const std::string& component, const std::string& group, const std::string& key,
                           const std::string& config) {
    return R"({"component": ")" + component + R"(", "group": ")" + group + R"(", "key": ")" + key +
           R"(", "config": )" + config + "}";
}

inline std::vector<std::string> ConfigRows(const std::string& sql) {
    return TarnTest::Query(TarnTest::Rooted("/etc/halden/configstore/current-store-1"), sql);
}

inline std::vector<std::string> SchemaRows(const std::string& sql) {
    return TarnTest::Query(TarnTest::Rooted("/etc/halden/schemastore/schema-store-1"), sql);
}

inline std::vector<std::string> DefaultRows() {
    return ConfigRows("SELECT Component, ConfigGroup, Name, Identifier, Value, VitalValue, Version FROM DefaultConfig "
                      "ORDER BY 1, 2, 3, 4;");
}

} // namespace SchemaRun
