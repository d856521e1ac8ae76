#include <cstdio>

#include "commands.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"
#include "tarn/utilities.h"

namespace TarnCli {
namespace {
constexpr char kBackupDir[] = "/var/lib/halden/configstore/backup";
}

int RunBackup(const Args& args) {
    std::string src, dst;
    if (args.empty()) {
        // The live store to the backup that the next boot restores.
        src = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH);
        dst = TarnPlatform::HostPath(std::string(kBackupDir) + "/current-store-1");
        TarnPlatform::MakeDirectories(TarnPlatform::HostPath(kBackupDir));
    } else if (args.size() == 2) {
        src = args[0];
        dst = args[1];
    } else {
        return Usage(FindCommand("backup"));
    }
    int rc = TarnConfigStore::backup(src, dst);
    if (rc != 0) {
        std::fprintf(stderr, "tarn-configstore: backup of %s to %s failed (%d); see the system log\n", src.c_str(),
                     dst.c_str(), rc);
        return 1;
    }
    std::printf("%s -> %s\n", src.c_str(), dst.c_str());
    return 0;
}

} // namespace TarnCli
