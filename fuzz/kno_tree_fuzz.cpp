// The kernel-info tree file, as `knosh -c FILE` and the boot load it: the
// whole input is the file. A loaded tree is walked from its root, reading
// every instance list and plain value on the way.
#include <vector>

#include "fuzz/private_root.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"

namespace {

// Walks the children of nodeID; a tree with more nodes than steps is a loop.
void Walk(uint32_t nodeID, int& steps) {
    KNONodeInfo* info = nullptr;
    if (--steps < 0) __builtin_trap();
    if (KNO_NodeInfoLookup(nodeID, 0, &info) != 0) return;
    if (info->isInstance) {
        KNOParamList* keys = nullptr;
        if (KNO_GetInstanceListAlloc(nodeID, nullptr, &keys) == 0) KNO_ParamListDestroy(keys);
    }
    if (info->isLeaf && info->getOutputSize <= 65536) {
        std::vector<char> value(info->getOutputSize + 1);
        KNO_Get(nodeID, nullptr, value.data(), value.size());
    }
    for (uint32_t child = KNO_GetChildNodeID(info, 0); child != KNO_NO_NODE;) {
        Walk(child, steps);
        KNONodeInfo* childInfo = nullptr;
        if (KNO_NodeInfoLookup(child, 0, &childInfo) != 0) break;
        child = childInfo->siblingID;
        KNO_NodeInfoRelease(childInfo);
    }
    KNO_NodeInfoRelease(info);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return TarnFuzz::PrivateRoot(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file =
        TarnFuzz::WriteRooted("/trees/fuzz.json", std::string(reinterpret_cast<const char*>(data), size));
    if (KNO_UseCache(file.c_str(), -1) == 0) {
        char buildDate[32];
        KNO_CheckSig(buildDate, sizeof buildDate, nullptr);
        int steps = 100000;
        Walk(0, steps);
        if (KNO_OutstandingNodeInfos() != 0 || KNO_OutstandingTypes() != 0) __builtin_trap();
    }
    KNO_Reset();
    TarnFuzz::EmptyLogs();
    return 0;
}
