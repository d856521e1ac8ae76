#include "tarn/crate_files.h"

#include <cstdint>

namespace TarnConfigStore {
namespace {

constexpr char kFilesObjectName[] = "files";
constexpr const char* kCategories[] = {"vital", "cached", "config"};

// The declaration's category and path when the object declares an enabled
// file; false when any of its answers is missing.
bool EnabledDeclaration(const TarnSchemaStore::SchemaObject& object, std::string* category, std::string* path) {
    uint8_t enabled = 0;
    if (object.GetFileEnabled(enabled) != 0 || !enabled) return false;
    return object.GetFileCategory(*category) == 0 && object.GetFilePath(*path) == 0;
}

} // namespace

CrateFileMap GetCrateFiles() { return GetCrateFiles(TarnSchemaStore::SchemaStore::GetStore()); }

CrateFileMap GetCrateFiles(const std::shared_ptr<TarnSchemaStore::SchemaStore>& store) {
    std::vector<std::string> lists[3];
    for (const auto& object : store->GetSchemaObjects(kFilesObjectName)) {
        std::string category, path;
        if (!object || !EnabledDeclaration(*object, &category, &path)) continue;
        // Exact match only: any other text, other case included, is ignored.
        for (size_t i = 0; i < 3; ++i)
            if (category == kCategories[i]) lists[i].push_back(path);
    }
    CrateFileMap files;
    for (size_t i = 0; i < 3; ++i) files.emplace(kCategories[i], std::move(lists[i]));
    return files;
}

} // namespace TarnConfigStore
