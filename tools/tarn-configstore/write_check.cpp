#include "write_check.h"

#include <cstdio>
#include <set>
#include <stdexcept>

#include "tarn/db_connection.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/write_problem.h"
#include "tarn/store_lock.h"
#include "tarn/store_ramdisk.h"
#include "tarn/store_tables.h"

namespace TarnCli {

void WriteCheck::Expect(bool holds, const std::string& what) const {
    for (const TarnPlatform::CapturedLine& line : m_capture.Logs())
        if (line.priority == 0) throw std::runtime_error(what + " was not stored: " + line.text);
    if (!holds) throw std::runtime_error(what + " was not stored in the configuration store");
}

void WriteCheck::ExpectStored(const char* key, const std::string& expected, const std::string& what) const {
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    Expect(TarnConfigStore::ReadKeyValueOrThrow(key, conn) == expected, what);
}

void PrintWriteProblems() {
    using namespace TarnConfigStore;
    const std::string paths[] = {
        CONFIG_STORE_PATH, DATAFILE_STORE_PATH, SCHEMA_STORE_PATH,
        std::string(BACKUP_RAMDISK_PATH) + CONFIG_STORE_FILE, STORE_LOCK_PATH,
    };
    std::set<std::string> said;
    for (const std::string& path : paths) {
        const std::string hostPath = TarnPlatform::HostPath(path);
        const std::string problem = TarnPlatform::WriteProblem(hostPath);
        // One line per cause and place: a read-only root is said once, not per file.
        if (!problem.empty() && said.insert(problem + hostPath.substr(0, hostPath.rfind('/'))).second)
            std::fprintf(stderr, "tarn-configstore: cause: %s: %s\n", hostPath.c_str(), problem.c_str());
    }
}

} // namespace TarnCli
