#include "tarn/platform/host_root.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TarnPlatform {
namespace {

// As many links as the kernel follows along one path.
constexpr int kMaxLinks = 40;

// Pushes the components of path onto todo so that the first comes off last.
void PushComponents(const std::string& path, std::vector<std::string>* todo) {
    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    todo->insert(todo->end(), parts.rbegin(), parts.rend());
}

std::string Join(const std::string& root, const std::vector<std::string>& components) {
    std::string path = root;
    for (const std::string& c : components) path += "/" + c;
    return path;
}

bool ReadLink(const std::string& path, std::string* target) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    target->assign(buffer, static_cast<size_t>(n));
    return true;
}

// A path no file system accepts (one name longer than any allows), so that
// what cannot be resolved inside the root is not opened anywhere else.
std::string Unresolvable(const std::string& root) { return root + "/" + std::string(NAME_MAX + 1, '@'); }

} // namespace

const std::string& HostRoot() {
    // Taken once: a process works under one host root for its whole life.
    static const std::string root = [] {
        const char* env = std::getenv("TARN_ROOT");
        std::string r = env ? env : "";
        while (!r.empty() && r.back() == '/') r.pop_back();
        return r;
    }();
    return root;
}

bool SetHostRoot(const char* dir) {
    std::error_code ec;
    if (!*dir || !std::filesystem::is_directory(dir, ec)) return false;
    const std::filesystem::path absolute = std::filesystem::absolute(dir, ec).lexically_normal();
    return !ec && setenv("TARN_ROOT", absolute.c_str(), 1) == 0;
}

std::string ResolveInRoot(const std::string& root, const std::string& path) {
    std::vector<std::string> done;  // below root, each one looked at and no link
    std::vector<std::string> todo;  // still to walk, the next one last
    PushComponents(path, &todo);
    size_t existing = 0;  // how many of done exist; below a missing one nothing is looked up
    int links = 0;
    while (!todo.empty()) {
        std::string name = std::move(todo.back());
        todo.pop_back();
        if (name == ".") continue;
        if (name == "..") {  // stops at the root, as at "/"
            if (!done.empty()) done.pop_back();
            existing = std::min(existing, done.size());
            continue;
        }
        done.push_back(std::move(name));
        if (existing + 1 != done.size()) continue;
        const std::string here = Join(root, done);
        struct stat st;
        if (::lstat(here.c_str(), &st) != 0) continue;  // the rest is made later, as real directories
        if (!S_ISLNK(st.st_mode)) {
            existing = done.size();
            continue;
        }
        std::string target;
        if (++links > kMaxLinks || !ReadLink(here, &target)) return Unresolvable(root);
        done.pop_back();
        if (target[0] == '/') {  // absolute: from the root
            done.clear();
            existing = 0;
        }
        PushComponents(target, &todo);
    }
    std::string resolved = Join(root, done);
    if (!path.empty() && path.back() == '/') resolved += '/';  // callers append names to directories
    return resolved;
}

namespace {

struct Redirection {
    std::string scratch;
    std::vector<std::string> entries;
};

Redirection& CurrentRedirection() {
    static Redirection redirection;
    return redirection;
}

bool AtOrBelow(const std::string& path, const std::string& entry) {
    return path.compare(0, entry.size(), entry) == 0 && (path.size() == entry.size() || path[entry.size()] == '/');
}

} // namespace

void RedirectHostPaths(const std::string& scratch, const std::vector<std::string>& entries) {
    CurrentRedirection() = {entries.empty() ? std::string() : scratch, entries};
}

bool HostPathsRedirected() { return !CurrentRedirection().entries.empty(); }

bool HostPathsAsWritten() { return HostRoot().empty() && !HostPathsRedirected(); }

std::string HostPath(const std::string& fixedPath) {
    const Redirection& redirection = CurrentRedirection();
    for (const std::string& entry : redirection.entries)
        if (AtOrBelow(fixedPath, entry)) return ResolveInRoot(redirection.scratch, fixedPath);
    const std::string& root = HostRoot();
    return root.empty() ? fixedPath : ResolveInRoot(root, fixedPath);
}

bool MakeDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string SqlQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += '\'';
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string ShellQuote(const std::string& path) {
    auto literal = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               (c != '\0' && std::strchr("/._-+,:@%=", c));
    };
    if (!path.empty() && std::all_of(path.begin(), path.end(), literal)) return path;
    std::string quoted = "'";
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace TarnPlatform
