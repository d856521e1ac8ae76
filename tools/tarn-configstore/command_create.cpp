#include <cstdio>

#include "commands.h"
#include "tarn/platform/db_store.h"

namespace TarnCli {

int RunCreate(const Args& args) {
    AtMost(ParseArgs(args).operands, 0);
    auto lock = LockStore();
    if (DBStore::CreateDatabases() != 0) {
        std::fprintf(stderr, "tarn-configstore: cannot create the store databases\n");
        return 1;
    }
    return 0;
}

} // namespace TarnCli
