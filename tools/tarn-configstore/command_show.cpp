// show: the configuration objects with their layers, revision and success
// flag; with --defaults the default configuration with its layers and version.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include "tarn/db_connection.h"

namespace TarnCli {
namespace {

// What one listing reads: the key columns come first (component, group,
// name, identifier, then revision and success, or version), the layers after them.
struct Listing {
    const char* sql;
    std::vector<const char*> layers;
    bool defaults;
    size_t KeyColumns() const { return defaults ? 5 : 6; }
};

const Listing kConfig = {
    "SELECT Component, ConfigGroup, Name, Identifier, Revision, Success, UserValue, VitalValue, CachedValue, "
    "AutoConfValue, DesiredValue FROM Config ORDER BY Component, ConfigGroup, Name, Identifier;",
    {"user", "vital", "cached", "autoconf", "desired"}, false};
const Listing kDefaults = {
    "SELECT Component, ConfigGroup, Name, Identifier, Version, Value, VitalValue, CachedValue FROM DefaultConfig "
    "ORDER BY Component, ConfigGroup, Name, Identifier;",
    {"user", "vital", "cached"}, true};

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

void PrintTable(const Listing& listing, const std::vector<Row>& rows) {
    if (rows.empty()) {
        std::printf(listing.defaults ? "(no default configuration)\n" : "(no configuration objects)\n");
        return;
    }
    for (const Row& r : rows) {
        std::string key = r.columns[0] + "/" + r.columns[1] + "/" + r.columns[2];
        if (!r.columns[3].empty()) key += "[" + r.columns[3] + "]";
        if (listing.defaults)
            std::printf("%s  version %s\n", key.c_str(), r.columns[4].c_str());
        else
            std::printf("%s  revision %s  success %s\n", key.c_str(), r.columns[4].c_str(),
                        r.isNull[5] ? "-" : r.columns[5].c_str());
        for (size_t layer = 0; layer < listing.layers.size(); ++layer) {
            size_t column = listing.KeyColumns() + layer;
            if (!r.isNull[column] && !r.columns[column].empty())
                std::printf("  %-9s %s\n", listing.layers[layer], r.columns[column].c_str());
        }
    }
}

void PrintJson(const Listing& listing, const std::vector<Row>& rows) {
    JsonOutput w;
    w.StartArray();
    for (const Row& r : rows) {
        w.StartObject();
        const char* const names[] = {"component", "group", "name", "identifier"};
        for (int i = 0; i < 4; ++i) {
            w.Key(names[i]);
            w.String(r.columns[i]);
        }
        if (listing.defaults) {
            w.Key("version");
            w.String(r.columns[4]);
        } else {
            w.Key("revision");
            w.Int64(std::stoll(r.columns[4]));
            w.Key("success");
            if (r.isNull[5]) w.Null(); else w.Bool(r.columns[5] != "0");
        }
        for (size_t layer = 0; layer < listing.layers.size(); ++layer) {
            size_t column = listing.KeyColumns() + layer;
            w.Key(listing.layers[layer]);
            w.Layer(r.isNull[column] ? std::nullopt : std::optional<std::string>(r.columns[column]));
        }
        w.EndObject();
    }
    w.EndArray();
    w.Print();
}

} // namespace

int RunShow(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}, {"--defaults"}});
    AtMost(parsed.operands, 0);
    const bool json = parsed.Has("--json");
    const Listing* listing = parsed.Has("--defaults") ? &kDefaults : &kConfig;
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    std::vector<Row> rows;
    if (DBStore::ExecuteV2(conn, listing->sql, &CollectRow, &rows, 3000) != 0) {
        std::fprintf(stderr, "tarn-configstore: cannot read the configuration objects\n");
        return 1;
    }
    if (json) PrintJson(*listing, rows); else PrintTable(*listing, rows);
    return 0;
}

} // namespace TarnCli
