#include "persist/inode_payload.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

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

} // namespace

bool InodePayloads::Resolve(uint64_t inode) {
    m_keys.reset();
    m_typeConfirmed = false;
    char text[kNodePathMax];
    std::snprintf(text, sizeof text, "%s/%" PRIu64 "/%s", kInodesNode, inode, kStatsLeaf);
    KNOSHPathElement* formed = nullptr;
    if (KNOSHPath_Form(nullptr, text, 0, &formed, nullptr) != KES_OK || !formed) return false;
    const std::unique_ptr<KNOSHPathElement, PathFree> path(formed);
    const KNOSHPathElement* leaf = KNOSHPath_GetLeafElement(formed);
    if (!leaf || !leaf->nodeInfo || !leaf->nodeInfo->isLeaf) return false;
    m_keys.reset(KNOSHPath_GetInstArgs(leaf));
    m_node = leaf->nodeInfo->nodeID;
    m_module = leaf->moduleID;
    m_size = leaf->nodeInfo->getOutputSize;
    if (!m_keys || m_size == 0) {
        m_keys.reset();
        return false;
    }
    const uint32_t count = KNO_ParamListUsedCount(m_keys.get());
    const KNOParam* last = count ? KNO_ParamListGetParam(m_keys.get(), count - 1) : nullptr;
    m_reusable = last && last->type == KNO_PARAM_INT && last->u.intValue == inode;
    return true;
}

std::string InodePayloads::Of(uint64_t inode) {
    if (m_keys && m_reusable)
        KNO_ParamSetInt(KNO_ParamListGetParam(m_keys.get(), KNO_ParamListUsedCount(m_keys.get()) - 1), inode);
    else if (!Resolve(inode))
        return "";
    m_record.assign(m_size, 0);
    if (KNO_Get(m_node, m_keys.get(), m_record.data(), m_size) != KES_OK) return "";
    if (!m_typeConfirmed) {
        const KNOType* type = nullptr;
        if (KNO_LookupOutputTypeOfGet(m_node, m_module, &type) != KES_OK) return "";
        KNO_ReleaseType(type);
        m_typeConfirmed = true;
    }
    if (m_size <= kTardiskOffset) return "";
    const char* name = m_record.data() + kTardiskOffset;
    return std::string(name, strnlen(name, m_size - kTardiskOffset));
}

} // namespace TarnConfigStore
