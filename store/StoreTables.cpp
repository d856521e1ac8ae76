#include "tarn/store_tables.h"

namespace TarnConfigStore {

const char BOOT_FS_UUID[] = "BOOT_FS_UUID";
const char POST_LIVE_INSTALL_BOOT[] = "POST_LIVE_INSTALL_BOOT";
const char TRUE_STR[] = "true";

} // namespace TarnConfigStore
