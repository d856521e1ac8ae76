#include "boot/non_schema_files.h"

#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "boot/remove_inside_root.h"
#include "tarn/crate_files.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"
#include "tarn/utilities.h"

namespace TarnConfigStore {
namespace {

std::vector<std::string> ReadWords(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

bool IsDeclared(const CrateFileMap& files, const std::string& path) {
    for (const auto& category : files)
        for (const std::string& declared : category.second)
            if (declared == path) return true;
    return false;
}

} // namespace

void RemoveNonSchemaFiles() {
    const std::string list = TarnPlatform::HostPath(NON_SCHEMA_FILE_LIST);
    if (!FileExists(list.c_str())) {
        CSLogger::Log(2, "Upgrade delete file not found.");
        return;
    }
    const std::vector<std::string> words = ReadWords(list);

    // Paths are compared as the host names them; they are looked at and
    // removed under the host root.
    std::vector<std::string> removals;
    try {
        const CrateFileMap files = GetCrateFiles();
        for (const std::string& word : words) {
            const std::string path = "/" + word;
            if (IsDeclared(files, path)) {
                CSLogger::Log(2, "[%s] file has schema.", path.c_str());
            } else {
                CSLogger::Log(2, "[%s] file does not have schema.", path.c_str());
                removals.push_back(path);
            }
        }
    } catch (const std::exception& e) {
        CSLogger::Log(0, "Failed to get file schemas: %s", e.what());
        return;
    }

    for (const std::string& path : removals) RemoveInsideHostRoot(path);
}

} // namespace TarnConfigStore
