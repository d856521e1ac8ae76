#include <string>

#include "schema/schema_files.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

std::string SchemaIdFromCrateId(const std::string& crateId) {
    const size_t first = crateId.find('_');
    // A leading underscore counts as both: "_a" gives "a".
    const size_t second = first == std::string::npos ? first : crateId.find('_', first == 0 ? 0 : first + 1);
    if (second == std::string::npos) {
        const std::string message = "Error extracting schema ID from CRATE ID: " + crateId;
        CSLogger::Log(0, "[SchemaProcessor] %s", message.c_str());
        throw ConfigStoreException(GENERIC_ERROR_CODE, message.c_str());
    }
    return crateId.substr(second + 1);
}

} // namespace TarnConfigStore
