#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "tarn/error_codes.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_utils.h"

namespace TarnConfigStore {
namespace {

const std::unordered_map<CSErrorCodes, const char*> kErrorMessages = {
    {CS_DB_OPEN_FAILED, "Failed to open database %s"},
    {CS_DB_CONNECT_FAILED, "Failed to connect to database %s"},
    {CS_DB_DISCONNECT_FAILED, "Failed to disconnect from database %s"},
    {CS_DB_READ_FAILED, "Failed to read"},
    {CS_DB_WRITE_FAILED, "Failed to write"},
    {CS_DB_UPDATE_FAILED, "Failed to update"},
    {CS_DB_DELETE_FAILED, "Failed to delete from database"},
    {CS_DB_PREPARE_FAILED, "Failed to execute prepare call"},
    {CS_DB_STEP_FAILED, "Failed to execute step call"},
    {CS_DB_INTEGRITY_FAILED, "Failed integrity check on the database"},
    {CS_DB_BEGIN_FAILED, "Failed to start transaction"},
    {CS_DB_COMMIT_FAILED, "Failed to commit transaction"},
    {CS_DB_ROLLBACK_FAILED, "Failed to rollback transaction"},
    {CS_DB_CANCEL_FAILED, "Failed to cancel transaction"},
    {CS_DB_CREATE_TABLE_FAILED, "Failed to create table"},
    {CS_DB_CREATE_TRIGGER_FAILED, "Failed to create trigger"},
    {CS_DB_BIND_FAILED, "Failed to bind"},
    {CS_DB_INVALID_TYPE, "Invalid database type"},
    // Key errors share 1030 with type errors; no operation throws "Invalid key %s".
    {CS_INVALID_TYPE, "Invalid type, %s"},
    {CS_KEY_NOT_FOUND, "Key not found"},
    {CS_INVALID_KEY_VALUE, "Invalid value for key %s"},
    {CS_KEY_GET_FAILED, "Failed to get value for key %s"},
    {CS_KEY_SET_FAILED, "Failed to set value for key %s"},
    {CS_KEY_CODEC_FAILED, "Failed to encode/decode value for key %s"},
    {CS_CONFIG_NOT_FOUND, "Configuration object not found: %s"},
    {CS_SCHEMA_NOT_FOUND, "Schema object not found: %s"},
    {CS_FILTERSPEC_NOT_FOUND, "FilterSpec object not found: %s"},
    {CS_SUBOBJECT_FILTER_NOT_FOUND, "Failed to find subobject filter: %s"},
    {CS_CONFIG_EMPTY, "%s: Configuration object is empty"},
    {CS_FILTERSPEC_EMPTY, "%s: FilterSpec object is empty"},
    {CS_CONFIG_EXISTS, "Configuration object already exists: %s"},
    {CS_FILTERSPEC_EXISTS, "FilterSpec object already exists: %s"},
    {CS_NONSINGLETON_FILTER_UNSUPPORTED, "Non-Singleton SubObject filtering is not supported"},
    {CS_NOT_SINGLETON, "Not a Singleton object: %s"},
    {CS_NOT_NONSINGLETON, "Not a Non-Singleton object: %s"},
    {CS_NONSINGLETON_API_ON_SINGLETON, "Non-Singleton API called for singleton object: %s"},
    {CS_MISSING_INSTANCE_ID, "Non-Singleton object should contain instanceId: %s"},
    {CS_UNEXPECTED_INSTANCE_ID, "Singleton object cannot contain instanceId: %s"},
    {CS_EXTERNAL_CONTEXT_AT_BOOT, "API cannot be invoked with EXTERNAL context during boot"},
    {CS_SET_FAILED, "Set operation failed: %s"},
    {CS_GET_FAILED, "Get operation failed: %s"},
    {CS_UPDATE_FAILED, "Update operation failed: %s"},
    {CS_DELETE_FAILED, "Delete operation failed: %s"},
    {CS_IMPORT_FAILED, "Import operation failed"},
    {CS_EXPORT_FAILED, "Export operation failed"},
    {CS_UPGRADE_FAILED, "Upgrade operation failed"},
    {CS_SET_DESIRED_FAILED, "Set Desired operation failed"},
    {CS_SET_BOOT_STATUS_FAILED, "Set Boot Status operation failed"},
    {CS_SET_PARTIAL_BOOT_STATUS_FAILED, "Set Partial Boot Status operation failed"},
    {CS_JSON_STRING_PARSE_FAILED, "Failed to parse JSON String"},
    {CS_JSON_FILE_PARSE_FAILED, "Failed to parse JSON file %s"},
    {CS_INVALID_JSON, "Invalid JSON"},
    {CS_VALIDATION_ERROR, "Validation Error: '%s' %s"},
    {CS_VALIDATE_DEFAULT_FAILED, "Failed to validate Default config"},
    {CS_VALIDATE_CACHED_FAILED, "Failed to validate Cached config"},
    {CS_VALIDATE_VITAL_FAILED, "Failed to validate Vital config"},
    {CS_VALIDATE_USER_FAILED, "Failed to validate User config"},
    {CS_VALIDATE_PARTIAL_FAILED, "Failed to validate Partial config"},
    {CS_VALIDATE_SET_FAILED, "Failed to validate Set"},
    {CS_VALIDATE_UPDATE_FAILED, "Failed to validate Update"},
    {CS_VALIDATE_APPLY_FAILED, "Failed to validate Apply JSON file"},
    {CS_VALIDATE_AUTOCONF_FAILED, "Failed to validate Auto config"},
    {CS_INVALID_ARGUMENT, "Invalid Argument"},
    {CS_RESERVE_MEMORY_FAILED, "Failed to reserve memory"},
    {CS_FORKEXEC_FAILED, "Kestrel_ForkExec failed, errno: %s"},
    {CS_WAIT_CHILD_FAILED, "Failed to wait for child process: %d, errno: %s"},
    {CS_CHILD_EXIT_STATUS, "Child process terminated with exit value: %d"},
    {CS_INTERNAL_ERROR, "ConfigStore internal error"},
};

// The logger prints table messages; hand it the table once it is built.
const char* LookupForLogger(int code) {
    auto it = kErrorMessages.find(static_cast<CSErrorCodes>(code));
    return it == kErrorMessages.end() ? nullptr : it->second;
}

struct RegisterWithLogger {
    RegisterWithLogger() { CSLogger::SetErrorMessageLookup(&LookupForLogger); }
    ~RegisterWithLogger() { CSLogger::SetErrorMessageLookup(nullptr); }
} registerWithLogger;

struct FreeText {
    void operator()(char* p) const { std::free(p); }
};

} // namespace

const char* GetErrorMessage(CSErrorCodes code) { return kErrorMessages.at(code); }

template <typename T>
void ThrowException(CSErrorCodes code, ...) {
    const char* format = kErrorMessages.at(code);
    va_list args;
    va_start(args, code);
    std::unique_ptr<char, FreeText> text(Str_Vasprintf(nullptr, format, args));
    va_end(args);
    if (!text) throw std::bad_alloc();
    throw T(code, text.get());
}

template TARN_EXPORT void ThrowException<ConfigStoreException>(CSErrorCodes, ...);
template TARN_EXPORT void ThrowException<InvalidArgumentException>(CSErrorCodes, ...);

} // namespace TarnConfigStore
