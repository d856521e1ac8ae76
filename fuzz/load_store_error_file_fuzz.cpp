// The LoadStore error file that earlier boot stages leave under the host
// root, replayed as system alerts. The whole input is the file.
#include "boot/load_store_error_file.h"
#include "fuzz/private_root.h"
#include "tarn/exceptions.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A live tree with the alert node, so that alerts are really raised.
    TarnFuzz::WriteRooted(KNO_LIVE_TREE_PATH, R"({"format": 1, "types": [], "nodes": [
        {"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0},
        {"id": 5, "name": "sysAlert", "parent": 1, "leaf": true, "set": {"input": "params", "action": "alert"}}]})");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = TarnFuzz::WriteRooted(TarnConfigStore::LOAD_STORE_ERROR_FILE,
                                                   std::string(reinterpret_cast<const char*>(data), size));
    try {
        TarnConfigStore::ReplayLoadStoreErrorFile(file);
    } catch (const TarnConfigStore::ConfigStoreException&) {  // an event of the wrong shape
    } catch (const std::out_of_range&) {                       // more arguments than placeholders
    }
    TarnFuzz::EmptyLogs();
    return 0;
}
