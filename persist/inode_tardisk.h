// The tardisk an inode of the in-memory root file system comes from, read
// from the inode statistics node of the kernel-info tree.
#pragma once

#include <cstdint>
#include <string>

namespace TarnConfigStore {

// The tardisk name of the inode's statistics record; "" when the node
// cannot be resolved or read, or names none.
std::string TardiskOfInode(uint64_t inode);

} // namespace TarnConfigStore
