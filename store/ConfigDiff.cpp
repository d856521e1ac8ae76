#include "tarn/config_diff.h"

#include <tuple>
#include <utility>

#include "store/sqlite_handle.h"
#include "tarn/exceptions.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

constexpr char kSelectLayers[] =
    "SELECT Component, ConfigGroup, Name, Identifier, UserValue, VitalValue, CachedValue FROM Config ";
// The order of the primary key; BINARY collation compares bytes as
// std::string does, so the merge below can rely on it.
constexpr char kInKeyOrder[] = "ORDER BY Component, ConfigGroup, Name, Identifier;";

// An empty text holds no value, as NULL does: both print as null, and a
// layer going from one to the other has not changed.
std::optional<std::string> Text(const char* value) {
    return value && *value ? std::optional<std::string>(value) : std::nullopt;
}

int CollectRow(void* ctx, int, char** values, char**) {
    static_cast<std::vector<ConfigLayerRow>*>(ctx)->push_back(
        {values[0] ? values[0] : "", values[1] ? values[1] : "", values[2] ? values[2] : "",
         values[3] ? values[3] : "", {Text(values[4]), Text(values[5]), Text(values[6])}});
    return 0;
}

auto Key(const ConfigLayerRow& row) { return std::tie(row.component, row.group, row.name, row.identifier); }

ConfigRowChange Change(ConfigChangeKind kind, const ConfigLayerRow& row, ConfigLayerValues before,
                       ConfigLayerValues after) {
    return {kind, row.component, row.group, row.name, row.identifier, std::move(before), std::move(after)};
}

std::vector<ConfigLayerRow> ReadLayers(const std::shared_ptr<DBStore::StoreConnection>& conn, const std::string& sql) {
    std::vector<ConfigLayerRow> rows;
    if (DBStore::ExecuteV2(conn, sql, &CollectRow, &rows, 3000) != 0)
        throw ConfigStoreException("Failed to read configuration layers");
    return rows;
}

} // namespace

std::vector<ConfigLayerRow> ReadConfigLayers(const std::shared_ptr<DBStore::StoreConnection>& conn) {
    return ReadLayers(conn, std::string(kSelectLayers) + kInKeyOrder);
}

std::vector<ConfigLayerRow> ReadObjectLayers(const std::shared_ptr<DBStore::StoreConnection>& conn,
                                             const std::string& component, const std::string& group,
                                             const std::string& name, const std::optional<std::string>& identifier) {
    using TarnPlatform::SqlQuote;
    // The key's index finds the rows.
    return ReadLayers(conn, kSelectLayers + ("WHERE Component = " + SqlQuote(component) + " AND ConfigGroup = " +
                                             SqlQuote(group) + " AND Name = " + SqlQuote(name) +
                                             (identifier ? " AND Identifier = " + SqlQuote(*identifier) : "") + " ") +
                                kInKeyOrder);
}

std::vector<ConfigLayerRow> ReadConfigLayers(const std::string& storeFile) {
    std::vector<ConfigLayerRow> rows;
    const Database db = OpenReadOnly(storeFile);
    if (!db || sqlite3_exec(db.get(), (std::string(kSelectLayers) + kInKeyOrder).c_str(), &CollectRow, &rows,
                            nullptr) != SQLITE_OK)
        throw ConfigStoreException("Failed to read configuration layers");
    return rows;
}

std::vector<ConfigRowChange> DiffConfigLayers(const std::vector<ConfigLayerRow>& before,
                                              const std::vector<ConfigLayerRow>& after) {
    std::vector<ConfigRowChange> changes;
    auto b = before.begin();
    auto a = after.begin();
    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && Key(*b) < Key(*a))) {
            changes.push_back(Change(ConfigChangeKind::Removed, *b, b->layers, {}));
            ++b;
        } else if (b == before.end() || Key(*a) < Key(*b)) {
            changes.push_back(Change(ConfigChangeKind::Added, *a, {}, a->layers));
            ++a;
        } else {
            if (b->layers != a->layers) changes.push_back(Change(ConfigChangeKind::Changed, *a, b->layers, a->layers));
            ++b;
            ++a;
        }
    }
    return changes;
}

} // namespace TarnConfigStore
