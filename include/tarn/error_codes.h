// Numeric error codes of the store, each with one printf-style message
// template, and the routine that turns a code into a thrown exception.
#pragma once

#include "tarn/exceptions.h"
#include "tarn/export.h"

namespace TarnConfigStore {

enum CSErrorCodes : int {
    // 1001-1018: database access
    CS_DB_OPEN_FAILED = 1001,
    CS_DB_CONNECT_FAILED = 1002,
    CS_DB_DISCONNECT_FAILED = 1003,
    CS_DB_READ_FAILED = 1004,
    CS_DB_WRITE_FAILED = 1005,
    CS_DB_UPDATE_FAILED = 1006,
    CS_DB_DELETE_FAILED = 1007,
    CS_DB_PREPARE_FAILED = 1008,
    CS_DB_STEP_FAILED = 1009,
    CS_DB_INTEGRITY_FAILED = 1010,
    CS_DB_BEGIN_FAILED = 1011,
    CS_DB_COMMIT_FAILED = 1012,
    CS_DB_ROLLBACK_FAILED = 1013,
    CS_DB_CANCEL_FAILED = 1014,
    CS_DB_CREATE_TABLE_FAILED = 1015,
    CS_DB_CREATE_TRIGGER_FAILED = 1016,
    CS_DB_BIND_FAILED = 1017,
    CS_DB_INVALID_TYPE = 1018,
    // 1030-1060: keys, objects and operations
    CS_INVALID_TYPE = 1030,
    CS_KEY_NOT_FOUND = 1031,
    CS_INVALID_KEY_VALUE = 1032,
    CS_KEY_GET_FAILED = 1033,
    CS_KEY_SET_FAILED = 1034,
    CS_KEY_CODEC_FAILED = 1035,
    CS_CONFIG_NOT_FOUND = 1036,
    CS_SCHEMA_NOT_FOUND = 1037,
    CS_FILTERSPEC_NOT_FOUND = 1038,
    CS_SUBOBJECT_FILTER_NOT_FOUND = 1039,
    CS_CONFIG_EMPTY = 1040,
    CS_FILTERSPEC_EMPTY = 1041,
    CS_CONFIG_EXISTS = 1042,
    CS_FILTERSPEC_EXISTS = 1043,
    CS_NONSINGLETON_FILTER_UNSUPPORTED = 1044,
    CS_NOT_SINGLETON = 1045,
    CS_NOT_NONSINGLETON = 1046,
    CS_NONSINGLETON_API_ON_SINGLETON = 1047,
    CS_MISSING_INSTANCE_ID = 1048,
    CS_UNEXPECTED_INSTANCE_ID = 1049,
    CS_EXTERNAL_CONTEXT_AT_BOOT = 1050,
    CS_SET_FAILED = 1051,
    CS_GET_FAILED = 1052,
    CS_UPDATE_FAILED = 1053,
    CS_DELETE_FAILED = 1054,
    CS_IMPORT_FAILED = 1055,
    CS_EXPORT_FAILED = 1056,
    CS_UPGRADE_FAILED = 1057,
    CS_SET_DESIRED_FAILED = 1058,
    CS_SET_BOOT_STATUS_FAILED = 1059,
    CS_SET_PARTIAL_BOOT_STATUS_FAILED = 1060,
    // 1080-1092: JSON parsing and validation
    CS_JSON_STRING_PARSE_FAILED = 1080,
    CS_JSON_FILE_PARSE_FAILED = 1081,
    CS_INVALID_JSON = 1082,
    CS_VALIDATION_ERROR = 1083,
    CS_VALIDATE_DEFAULT_FAILED = 1084,
    CS_VALIDATE_CACHED_FAILED = 1085,
    CS_VALIDATE_VITAL_FAILED = 1086,
    CS_VALIDATE_USER_FAILED = 1087,
    CS_VALIDATE_PARTIAL_FAILED = 1088,
    CS_VALIDATE_SET_FAILED = 1089,
    CS_VALIDATE_UPDATE_FAILED = 1090,
    CS_VALIDATE_APPLY_FAILED = 1091,
    CS_VALIDATE_AUTOCONF_FAILED = 1092,
    // 1100-1105: arguments, resources, child processes, internal errors
    CS_INVALID_ARGUMENT = 1100,
    CS_RESERVE_MEMORY_FAILED = 1101,
    CS_FORKEXEC_FAILED = 1102,
    CS_WAIT_CHILD_FAILED = 1103,
    CS_CHILD_EXIT_STATUS = 1104,
    CS_INTERNAL_ERROR = 1105,
};

// The message template of a code. A code without a table entry (2000
// included) raises std::out_of_range.
TARN_EXPORT const char* GetErrorMessage(CSErrorCodes code);

// Formats the code's template with the arguments and throws T(code, text).
// Instantiated for ConfigStoreException and InvalidArgumentException.
template <typename T>
[[noreturn]] void ThrowException(CSErrorCodes code, ...);

extern template TARN_EXPORT void ThrowException<ConfigStoreException>(CSErrorCodes, ...);
extern template TARN_EXPORT void ThrowException<InvalidArgumentException>(CSErrorCodes, ...);

} // namespace TarnConfigStore
