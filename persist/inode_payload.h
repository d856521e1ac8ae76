// The tardisk an inode of the in-memory root file system comes from, read
// from the inode statistics node of the kernel-info tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tarn/platform/kno/kno.h"

namespace TarnConfigStore {

// For the inodes of one filter call. The node's path differs from one inode
// to the next only in the inode's own key: it is resolved for the first
// inode asked for, and for the others only that key is changed. The record's
// type, fixed by the definitions, is confirmed once.
class InodePayloads {
public:
    // The tardisk name of the inode's statistics record; "" when the node
    // cannot be resolved or read, or names none.
    std::string Of(uint64_t inode);

private:
    bool Resolve(uint64_t inode);

    struct ParamListFree {
        void operator()(KNOParamList* list) const { KNO_ParamListDestroy(list); }
    };
    std::unique_ptr<KNOParamList, ParamListFree> m_keys;  // the leaf's instance keys
    bool m_reusable = false;  // the inode's key is the last of them
    uint32_t m_node = 0, m_module = 0, m_size = 0;
    bool m_typeConfirmed = false;
    std::vector<char> m_record;
};

} // namespace TarnConfigStore
