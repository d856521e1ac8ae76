#include <string>
#include <unordered_map>

#include "tarn/events.h"
#include "tarn/platform/dump_evt.h"

namespace TarnConfigStore {
namespace {

const std::unordered_map<std::string, const char*> kEventMessages = {
    {EVT_COPY_BACKUP_ERROR, "Error copying ConfigStore from backup %s."},
    {EVT_DB_OPERATION_ERROR, "ConfigStore database operation failed."},
    {EVT_SCHEMA_FILE_ERROR, "Error processing schema file %s."},
    {EVT_DFS_RESTORE_ERROR, "DataFile store cannot be restored."},
    {EVT_DFS_CLEANUP_ERROR, "Error cleaning up Datafile store."},
    {EVT_DESIRED_CONFIG_ERROR, "Failed to setup desired configuration."},
    {EVT_UPGRADE_CONFIG_ERROR, "Error in upgrading config %s."},
};

// The event emitter fills messages from this catalog.
struct RegisterWithEmitter {
    RegisterWithEmitter() { TarnPlatform::SetEventMessageLookup(&GetEventMessage); }
    ~RegisterWithEmitter() { TarnPlatform::SetEventMessageLookup(nullptr); }
} registerWithEmitter;

} // namespace

const char* GetEventMessage(const char* id) {
    if (!id) return nullptr;
    auto it = kEventMessages.find(id);
    return it == kEventMessages.end() ? nullptr : it->second;
}

} // namespace TarnConfigStore
