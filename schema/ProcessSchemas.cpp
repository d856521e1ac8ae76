#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "schema/schema_files.h"
#include "store/unique_dir.h"
#include "tarn/events.h"
#include "tarn/image.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/dump_evt.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/host_utils.h"
#include "tarn/schema_processing.h"

namespace TarnConfigStore {
namespace {

constexpr char kJson[] = ".json";
constexpr size_t kJsonLength = sizeof(kJson) - 1;

// File IDs of the schema directory in directory order; nothing when it cannot be opened.
std::vector<std::string> SchemaFileIds() {
    std::vector<std::string> ids;
    std::string listed;
    UniqueDir dir = OpenDir(TarnPlatform::HostPath(SCHEMA_DIR));
    if (dir) {
        while (const dirent* entry = readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name.size() > kJsonLength && name.compare(name.size() - kJsonLength, kJsonLength, kJson) == 0) {
                ids.push_back(name.substr(0, name.size() - kJsonLength));
                listed += ids.back() + " ";
            } else {
                CSLogger::Log(0, "[SchemaProcessor] Skip processing %s", name.c_str());
            }
        }
    }
    CSLogger::Log(2, "[SchemaProcessor] IDs from dir: %s", listed.c_str());
    return ids;
}

} // namespace

bool ProcessSchemas(std::vector<std::string> crateIds) {
    const bool isTarnio = File_Exists(TarnPlatform::HostPath(TARNIO_MARKER).c_str());
    if (isTarnio) CSLogger::Log(2, "[SchemaProcessor]: This is tarnio booting up.");
    CSLogger::Log(2, "[SchemaProcessor] Processing schemas..");

    std::unordered_set<std::string> crateSchemaIds;
    const bool listGiven = !crateIds.empty();
    if (listGiven) {
        CSLogger::Log(2, "[SchemaProcessor] CRATE list received as input");
        std::string listed;
        for (const std::string& id : crateIds) {
            crateSchemaIds.insert(SchemaIdFromCrateId(id));
            listed += id + " ";
        }
        CSLogger::Log(3, "[SchemaProcessor] CRATE list: %s", listed.c_str());
    } else {
        for (const std::string& id : TarnImage::GetCrateIds()) crateSchemaIds.insert(SchemaIdFromCrateId(id));
    }

    auto store = TarnSchemaStore::SchemaStore::GetStore();
    const TarnSchemaStore::SchemaObjectIdSet registeredIds = store->GetSchemaObjectIds(false);
    std::unordered_set<std::string> registeredFiles = store->GetSchemaFileIds();

    // A registered file is not read again; what stays registered without a
    // file in the directory is removed.
    std::vector<std::string> toProcess;
    for (std::string& id : SchemaFileIds())
        if (registeredFiles.erase(id) == 0) toProcess.push_back(std::move(id));
    store->RemoveSchemaFiles(registeredFiles);

    TarnSchemaStore::SchemaObjectIdSet newIds;
    bool result = true;
    bool stopped = false;
    for (const std::string& id : toProcess) {
        result = ProcessSchemaFile(store, id, crateSchemaIds, registeredIds, newIds, isTarnio);
        if (!result && listGiven) {
            DumpEvt(EVT_SCHEMA_FILE_ERROR, 1, (id + kJson).c_str());
            stopped = true;
            break;
        }
    }
    if (!stopped) CSLogger::Log(2, "[SchemaProcessor] Schema processing completed");

    ProcessDefaultConfiguration(isTarnio, newIds);
    return result;
}

} // namespace TarnConfigStore
