#include "failure_causes.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "explained_error.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnCli {

void PrintCauses(const std::exception& failure) {
    if (const auto* explained = dynamic_cast<const ExplainedError*>(&failure)) {
        std::istringstream lines(explained->Explanation());
        for (std::string line; std::getline(lines, line);) std::fprintf(stderr, "tarn-configstore: %s\n", line.c_str());
        return;
    }
    // The store's text when it cannot be opened, the same whether it is
    // missing (an empty host root) or damaged.
    if (std::strcmp(failure.what(), "Failed to connect to database") != 0) return;
    const std::string store = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH);
    struct stat st;
    if (::stat(store.c_str(), &st) != 0)
        std::fprintf(stderr,
                     "tarn-configstore: cause: %s: no configuration store; run 'tarn-configstore boot' first, which "
                     "restores it from its backup or creates it\n",
                     store.c_str());
    else if (S_ISDIR(st.st_mode) || !DBStore::Check(store))
        std::fprintf(stderr,
                     "tarn-configstore: cause: %s: not a whole database (damaged, or not a store); the next boot "
                     "replaces it, with its backup when there is one ('tarn-configstore plan' shows what it does)\n",
                     store.c_str());
}

} // namespace TarnCli
