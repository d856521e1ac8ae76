// An open directory stream that closes itself.
#pragma once

#include <dirent.h>
#include <memory>
#include <string>

namespace TarnConfigStore {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// Empty when the directory cannot be opened.
inline UniqueDir OpenDir(const std::string& path) { return UniqueDir(opendir(path.c_str())); }

} // namespace TarnConfigStore
