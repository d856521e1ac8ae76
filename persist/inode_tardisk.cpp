#include "persist/inode_tardisk.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "tarn/knosh.h"

namespace TarnConfigStore {
namespace {

constexpr char kInodesNode[] = "/system/lumenfs/inodes";
constexpr char kStatsLeaf[] = "stats";
constexpr size_t kNodePathMax = 4096;
constexpr size_t kTardiskOffset = 36;

struct PathFree {
    void operator()(KNOSHPathElement* path) const { KNOSHPath_Delete(path); }
};
struct ParamListFree {
    void operator()(KNOParamList* list) const { KNO_ParamListDestroy(list); }
};

} // namespace

std::string TardiskOfInode(uint64_t inode) {
    char text[kNodePathMax];
    std::snprintf(text, sizeof text, "%s/%" PRIu64 "/%s", kInodesNode, inode, kStatsLeaf);
    KNOSHPathElement* formed = nullptr;
    if (KNOSHPath_Form(nullptr, text, 0, &formed, nullptr) != KES_OK || !formed) return "";
    const std::unique_ptr<KNOSHPathElement, PathFree> path(formed);
    const KNOSHPathElement* leaf = KNOSHPath_GetLeafElement(formed);
    if (!leaf || !leaf->nodeInfo || !leaf->nodeInfo->isLeaf) return "";
    const std::unique_ptr<KNOParamList, ParamListFree> keys(KNOSHPath_GetInstArgs(leaf));
    const uint32_t size = leaf->nodeInfo->getOutputSize;
    if (!keys || size == 0) return "";
    std::vector<char> record(size);
    const uint32_t node = leaf->nodeInfo->nodeID;
    if (KNO_Get(node, keys.get(), record.data(), size) != KES_OK) return "";
    const KNOType* type = nullptr;
    if (KNO_LookupOutputTypeOfGet(node, leaf->moduleID, &type) != KES_OK) return "";
    KNO_ReleaseType(type);
    if (size <= kTardiskOffset) return "";
    const char* name = record.data() + kTardiskOffset;
    return std::string(name, strnlen(name, size - kTardiskOffset));
}

} // namespace TarnConfigStore
