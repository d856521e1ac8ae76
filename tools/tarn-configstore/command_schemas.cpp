// schemas: the registered schema objects and the schema files they came from.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include "tarn/db_connection.h"
#include "tarn/platform/schema_store.h"
#include "tarn/rapidjson.h"
#include "tarn/store_tables.h"

namespace TarnCli {
namespace {

constexpr int kColumns = 4;  // component, group, name, schema file

int CollectRow(void* ctx, int n, char** values, char**) {
    auto* rows = static_cast<std::vector<std::vector<std::string>>*>(ctx);
    rows->emplace_back();
    for (int i = 0; i < n && i < kColumns; ++i) rows->back().push_back(values[i] ? values[i] : "");
    return 0;
}

// The schema file a row came from: the store keeps its name without ".json".
std::string FileName(const std::string& fileId) { return fileId + ".json"; }

void PrintJson(const std::vector<std::vector<std::string>>& rows) {
    const char* const names[kColumns] = {"component", "group", "name", "file"};
    JsonOutput w;
    w.StartArray();
    for (const auto& row : rows) {
        w.StartObject();
        for (int i = 0; i < kColumns; ++i) {
            w.Key(names[i]);
            w.String(i == kColumns - 1 ? FileName(row[i]) : row[i]);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Print();
}

} // namespace

int RunSchemas(const Args& args) {
    bool json = false;
    OnlyJsonOption(args, json);
    TarnSchemaStore::SchemaStore::GetStore();  // creates the schema store's tables when missing
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    std::vector<std::vector<std::string>> rows;
    const bool read =
        DBStore::ExecuteV2(conn, TarnConfigStore::AttachSchemaStoreStatement(), nullptr, nullptr, 3000) == 0 &&
        DBStore::ExecuteV2(conn,
                           "SELECT Component, ConfigGroup, Name, CrateId FROM ss.ConfigSchema "
                           "ORDER BY Component, ConfigGroup, Name;",
                           &CollectRow, &rows, 3000) == 0;
    DBStore::ExecuteV2(conn, TarnConfigStore::DETACH_SCHEMA_STORE, nullptr, nullptr, 3000);
    if (!read) {
        std::fprintf(stderr, "tarn-configstore: cannot read the schema store\n");
        return 1;
    }
    if (json) {
        PrintJson(rows);
    } else if (rows.empty()) {
        std::printf("(no schema objects)\n");
    } else {
        for (const auto& row : rows)
            std::printf("%s/%s/%s\t%s\n", row[0].c_str(), row[1].c_str(), row[2].c_str(), FileName(row[3]).c_str());
    }
    return 0;
}

} // namespace TarnCli
