// show: the configuration objects with their layers, revision and success flag.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "tarn/db_connection.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

const char* const kLayers[] = {"user", "vital", "cached", "autoconf", "desired"};
constexpr int kKeyColumns = 6;  // component, group, name, identifier, revision, success

struct Row {
    std::vector<std::string> columns;
    std::vector<bool> isNull;
};

int CollectRow(void* ctx, int n, char** values, char**) {
    auto* rows = static_cast<std::vector<Row>*>(ctx);
    Row row;
    for (int i = 0; i < n; ++i) {
        row.columns.push_back(values[i] ? values[i] : "");
        row.isNull.push_back(values[i] == nullptr);
    }
    rows->push_back(std::move(row));
    return 0;
}

void PrintTable(const std::vector<Row>& rows) {
    if (rows.empty()) {
        std::printf("(no configuration objects)\n");
        return;
    }
    for (const Row& r : rows) {
        std::string key = r.columns[0] + "/" + r.columns[1] + "/" + r.columns[2];
        if (!r.columns[3].empty()) key += "[" + r.columns[3] + "]";
        std::printf("%s  revision %s  success %s\n", key.c_str(), r.columns[4].c_str(),
                    r.isNull[5] ? "-" : r.columns[5].c_str());
        for (size_t layer = 0; layer < std::size(kLayers); ++layer) {
            size_t column = kKeyColumns + layer;
            if (!r.isNull[column]) std::printf("  %-9s %s\n", kLayers[layer], r.columns[column].c_str());
        }
    }
}

void PrintJson(const std::vector<Row>& rows) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> w(out);
    w.StartArray();
    for (const Row& r : rows) {
        w.StartObject();
        const char* const names[] = {"component", "group", "name", "identifier"};
        for (int i = 0; i < 4; ++i) {
            w.Key(names[i]);
            w.String(r.columns[i]);
        }
        w.Key("revision");
        w.Int64(std::stoll(r.columns[4]));
        w.Key("success");
        if (r.isNull[5]) w.Null(); else w.Bool(r.columns[5] != "0");
        for (size_t layer = 0; layer < std::size(kLayers); ++layer) {
            size_t column = kKeyColumns + layer;
            w.Key(kLayers[layer]);
            rapidjson::Document value;
            if (r.isNull[column]) w.Null();
            else if (!TarnJson::Parse(value, r.columns[column])) w.String(r.columns[column]);  // kept as text
            else value.Accept(w);
        }
        w.EndObject();
    }
    w.EndArray();
    std::printf("%s\n", out.GetString());
}

} // namespace

int RunShow(const Args& args) {
    bool json = false;
    for (const std::string& a : args) {
        if (a == "--json") json = true;
        else return Usage(FindCommand("show"));
    }
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    std::vector<Row> rows;
    if (DBStore::ExecuteV2(conn,
                           "SELECT Component, ConfigGroup, Name, Identifier, Revision, Success, UserValue, VitalValue, "
                           "CachedValue, AutoConfValue, DesiredValue FROM Config "
                           "ORDER BY Component, ConfigGroup, Name, Identifier;",
                           &CollectRow, &rows, 3000) != 0) {
        std::fprintf(stderr, "tarn-configstore: cannot read the configuration objects\n");
        return 1;
    }
    if (json) PrintJson(rows); else PrintTable(rows);
    return 0;
}

} // namespace TarnCli
