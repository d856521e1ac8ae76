#include "kno/session.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>

#include "kno/tree_file.h"
#include "kno/tree_loader.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/platform/unique_fd.h"

extern "C" {
const KNOType* knoTypeDefsLookupTab = nullptr;
uint32_t knoMaxTypeDefs = 0;
}

namespace TarnPlatform::Kno {
namespace {

std::mutex gMutex;
std::unique_ptr<Tree> gTree;
thread_local std::string gLastError;

// The tree file in use, held open: the look for changes on every call is
// then an fstat, with no name to resolve. What another process does to that
// file shows in its stamp: a write changes its size or times; replacing,
// renaming or removing it changes its link count and ctime. Only a stamp
// other than the tree's sends the look to the path, which decides (another
// file there, or none) and whose file is held from then on.
struct HeldFile {
    std::string path;
    UniqueFd fd;
} gHeld;

bool LookAtTreeFile(const Tree& tree, FileStamp& stamp) {
    if (gHeld.path == tree.file && gHeld.fd.Get() >= 0 && StatOpenFile(gHeld.fd.Get(), stamp) && stamp == tree.stamp)
        return true;
    if (!StatFile(tree.file, stamp)) return false;
    gHeld.path = tree.file;
    gHeld.fd.Reset(::open(tree.file.c_str(), O_PATH | O_CLOEXEC));
    return true;
}

KES_ReturnStatus ReadTree(const std::string& path, Tree& tree) {
    std::string text, problem;
    FileStamp stamp;
    KES_ReturnStatus status = ReadWholeFile(path, text, stamp, problem);
    if (status != KES_OK) {
        SetLastError(path + ": " + problem);
        return status;
    }
    try {
        rapidjson::Document doc;
        tree = ParseTree(text, doc);
    } catch (const LoadError& e) {
        SetLastError(path + ": " + e.what());
        return KES_BAD_TREE;
    } catch (const std::bad_alloc&) {
        SetLastError(path + ": out of memory");
        return KES_NO_MEMORY;
    }
    tree.file = path;
    tree.stamp = stamp;
    return KES_OK;
}

void Install(Tree&& tree) {
    gTree = std::make_unique<Tree>(std::move(tree));
    knoTypeDefsLookupTab = gTree->defs->types.data();
    knoMaxTypeDefs = static_cast<uint32_t>(gTree->defs->types.size());
}

} // namespace

std::unique_lock<std::mutex> LockSession() { return std::unique_lock<std::mutex>(gMutex); }

const std::string& LiveTreePath() {
    static const std::string path = HostPath(KNO_LIVE_TREE_PATH);
    return path;
}

void SetLastError(const std::string& text) { gLastError = text; }
const std::string& LastError() { return gLastError; }

KES_ReturnStatus CurrentTree(bool refresh, const Tree*& tree) {
    if (!gTree) {
        Tree fresh;
        KES_ReturnStatus status = ReadTree(LiveTreePath(), fresh);
        if (status != KES_OK) return status;
        Install(std::move(fresh));
    } else if (refresh) {
        FileStamp now;
        if (!LookAtTreeFile(*gTree, now)) {
            SetLastError(gTree->file + ": the tree file is gone");
            return KES_NO_TREE;
        }
        if (now != gTree->stamp) {
            Tree fresh;
            KES_ReturnStatus status = ReadTree(gTree->file, fresh);
            if (status != KES_OK) return status;
            Install(std::move(fresh));
        }
    }
    tree = gTree.get();
    return KES_OK;
}

KES_ReturnStatus ModifyFile(const std::string& path, const TreeChange& change, Tree* result) {
    LockedTreeFile file;
    std::string text, problem;
    KES_ReturnStatus status = file.Open(path, problem);
    FileStamp stamp;
    if (status == KES_OK) status = file.Read(text, stamp, problem);
    if (status != KES_OK) {
        SetLastError(path + ": " + problem);
        return status;
    }
    rapidjson::Document doc;
    Tree tree;
    try {
        tree = ParseTree(text, doc);
    } catch (const LoadError& e) {
        SetLastError(path + ": " + e.what());
        return KES_BAD_TREE;
    }
    tree.file = path;
    tree.stamp = stamp;
    status = change(tree, doc);
    if (status == KES_OK) {
        status = file.Replace(FormatTreeJson(doc), tree.stamp);
        if (status != KES_OK) SetLastError(path + ": cannot write the tree file back");
    }
    if (status == KES_OK && result) *result = std::move(tree);
    return status;
}

KES_ReturnStatus ModifyTree(const TreeChange& change) {
    auto lock = LockSession();
    const Tree* current = nullptr;
    KES_ReturnStatus status = CurrentTree(false, current);
    if (status != KES_OK) return status;
    Tree result;
    status = ModifyFile(current->file, change, &result);
    if (status == KES_OK) Install(std::move(result));
    return status;
}

KES_ReturnStatus LoadSessionTree(const std::string& path, int logLevel) {
    auto lock = LockSession();
    Tree fresh;
    KES_ReturnStatus status = ReadTree(path, fresh);
    if (status != KES_OK) {
        if (logLevel >= 0) std::fprintf(stderr, "kno: %s\n", LastError().c_str());
        return status;
    }
    Install(std::move(fresh));
    return KES_OK;
}

void ResetSession() {
    auto lock = LockSession();
    gTree.reset();
    knoTypeDefsLookupTab = nullptr;
    knoMaxTypeDefs = 0;
}

} // namespace TarnPlatform::Kno
