// What changed in the layers of Config between two readings of it: the
// rows added, changed or removed, per object and instance, with the user,
// vital and cached layers before and after. The readings may come from one
// store before and after some work, or from two generations of a store.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/platform/db_store.h"

namespace TarnConfigStore {

// User, vital and cached, in this order; an absent value (NULL or an empty
// text) is nullopt.
using ConfigLayerValues = std::array<std::optional<std::string>, 3>;
inline constexpr const char* CONFIG_LAYER_NAMES[] = {"user", "vital", "cached"};

struct TARN_EXPORT ConfigLayerRow {
    std::string component, group, name, identifier;
    ConfigLayerValues layers;
};

enum class ConfigChangeKind { Added, Changed, Removed };

struct TARN_EXPORT ConfigRowChange {
    ConfigChangeKind kind;
    std::string component, group, name, identifier;
    ConfigLayerValues before, after;  // before: all absent when added; after: all absent when removed
};

// Every row of Config with its layers, ordered by object and identifier.
// Throws ConfigStoreException "Failed to read configuration layers".
TARN_EXPORT std::vector<ConfigLayerRow> ReadConfigLayers(const std::shared_ptr<DBStore::StoreConnection>& conn);
// The same of a store file (a generation, a backup), opened read-only.
TARN_EXPORT std::vector<ConfigLayerRow> ReadConfigLayers(const std::string& storeFile);
// The rows of one object, or of one of its instances, read through the
// table's key, in the same order.
TARN_EXPORT std::vector<ConfigLayerRow> ReadObjectLayers(const std::shared_ptr<DBStore::StoreConnection>& conn,
                                                         const std::string& component, const std::string& group,
                                                         const std::string& name,
                                                         const std::optional<std::string>& identifier);

// The changes from one reading to the other, in their order; a row is
// changed when any of its layers differs. Both readings must be ordered as
// ReadConfigLayers orders them.
TARN_EXPORT std::vector<ConfigRowChange> DiffConfigLayers(const std::vector<ConfigLayerRow>& before,
                                                          const std::vector<ConfigLayerRow>& after);

} // namespace TarnConfigStore
