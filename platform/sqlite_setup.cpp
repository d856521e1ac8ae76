// SQLite's page caches each start with a bulk allocation of 20 pages (about
// 84 KB), freed again when the cache closes. The store's Config triggers make
// SQLite open a temporary table, with a cache of its own, for each row an
// UPDATE changes; with glibc's default trim threshold every such free hands
// the top of the heap back to the kernel and the next row takes it again, so
// a boot over 100,000 rows spent most of its time in brk and page faults
// (docs/PERFORMANCE.md). Without the bulk allocation a cache takes its pages
// one at a time from the heap's free lists, which is as fast for the store
// and changes nothing else about the process's allocator.
//
// SQLite's memory statistics are turned off: kept, they take a process-wide
// mutex on every allocation and free, about a fifth of the time of a
// statement prepared for each row (docs/PERFORMANCE.md). Nothing here reads
// them; the statistics calls of a host process that started SQLite itself
// keep working, since its settings stay its own.
//
// The settings are process-wide and SQLite takes them only before it starts,
// so they are made when this library is loaded, before the host's main.
#include "sqlite_setup.h"

#include <mutex>
#include <string>
#include <sqlite3.h>

#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"

namespace DBStore {
namespace {

int gSetup = SQLITE_OK;

__attribute__((constructor)) void SetUpSqlite() {
    // NULL buffer and no pages: no bulk allocation. SQLITE_MISUSE when the
    // process has already started SQLite; its settings then stay its own.
    gSetup = sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    if (gSetup == SQLITE_OK) gSetup = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

} // namespace

void ReportSqliteSetup() {
    static std::once_flag once;
    std::call_once(once, [] {
        // SQLite's temporary files (the temporary database, sorts that spill)
        // go to the system's temporary directory; under a private host root
        // they go below the root, as every other file the store writes.
        if (!TarnPlatform::HostRoot().empty() && !sqlite3_temp_directory) {
            const std::string dir = TarnPlatform::HostPath("/var/tmp");
            if (TarnPlatform::MakeDirectories(dir)) sqlite3_temp_directory = sqlite3_mprintf("%s", dir.c_str());
        }
        if (gSetup != SQLITE_OK)
            CSLogger::Log(1, "DBStore: SQLite had started before the store library was loaded; its page caches "
                             "keep their bulk allocation and its memory statistics stay on, which slows writes of "
                             "many rows");
    });
}

} // namespace DBStore
