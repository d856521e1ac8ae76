// The process's kernel-info tree: which file it comes from, opening the live
// tree on first use, re-reading the file when another process changed it,
// and read-modify-write of the file for sets.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

// Holds the process-wide lock for as long as it lives.
std::unique_lock<std::mutex> LockSession();

// With the session locked: the process's tree, opening the live tree when
// none is loaded. With refresh, a tree file changed since it was read is
// read again (a process sees another's sets at its next value call).
KES_ReturnStatus CurrentTree(bool refresh, const Tree*& tree);

// Runs f(const Tree&) with the session locked; f returns the status.
template <typename F>
KES_ReturnStatus WithTree(bool refresh, F f) {
    auto lock = LockSession();
    const Tree* tree = nullptr;
    KES_ReturnStatus status = CurrentTree(refresh, tree);
    return status != KES_OK ? status : f(*tree);
}

// Changes the tree in its file: locks the file, reads it fresh, runs
// change(tree, document), which updates both the tree's state and the
// document and returns a status; on KES_OK the document is written back.
using TreeChange = std::function<KES_ReturnStatus(Tree&, rapidjson::Document&)>;
KES_ReturnStatus ModifyFile(const std::string& path, const TreeChange& change, Tree* result);
// ModifyFile on the process's tree file; the result becomes the process's tree.
KES_ReturnStatus ModifyTree(const TreeChange& change);

// Replaces the process's tree by the one in path (with a message on
// standard error when logLevel >= 0 and it fails).
KES_ReturnStatus LoadSessionTree(const std::string& path, int logLevel);
void ResetSession();
const std::string& LiveTreePath();

void SetLastError(const std::string& text);
const std::string& LastError();

} // namespace TarnPlatform::Kno
