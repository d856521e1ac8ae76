// The sticky-bit filter as a management tool calls it: FilterStickyBitFiles
// over N candidate paths of real files under a temporary host root, against
// the same number of plain lstat + stat pairs on those files (their paths
// under the root made beforehand), in CPU time of the process; sizes 2,000,
// 5,000 and 20,000 unless given. The mix of outcomes: 1% declared by a "files" schema, 1% reached
// through a linked directory to declared files, 80% in a tardisk of a crate
// that allows sticky-bit files, 10% in a tardisk of a RestrictStickyFiles
// crate, 5% without a tardisk record, 3% missing. The kernel-info tree holds
// one inode record per tardisk file.
//
//   bench_sticky_filter [--repetitions N] [PATHS...]
#include "fresh_process.h"
#include "private_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tarn/file_persistence.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/schema_store.h"

namespace fs = std::filesystem;

namespace {

double Now(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

std::string Rooted(const std::string& path) { return TarnPlatform::HostPath(path); }

// A file brought by a tardisk: the file, its backing file and its inode.
ino_t TardiskFile(const std::string& path) {
    Write(Rooted(path), "x");
    const size_t slash = path.rfind('/');
    const std::string backing = path.substr(0, slash) + "/.#" + path.substr(slash + 1);
    if (link(Rooted(path).c_str(), Rooted(backing).c_str()) != 0) std::exit(2);
    struct stat st;
    stat(Rooted(path).c_str(), &st);
    return st.st_ino;
}

void Declare(size_t i, const std::string& path) {
    const std::string group = "g" + std::to_string(i);
    TarnSchemaStore::SetSchema("bench-" + group, "bench", group, "files",
                               R"({"component": "bench", "group": ")" + group + R"(", "key": "files", "version": "1",)"
                               R"( "file": {"category": "config", "path": ")" + path + R"("}})",
                               TarnSchemaStore::SchemaStore::GetStore(), false);
}

void WriteImage() {
    const std::string crate = "<crate><type>system</type><version>1</version><vendor>B</vendor><name>";
    Write(Rooted("/var/db/tarnimg/profiles/p.xml"),
          "<imageprofile><cratelist><crate><crate-id>B_system_allow_1</crate-id><payloads><payload>allow</payload>"
          "</payloads></crate><crate><crate-id>B_system_deny_1</crate-id><payloads><payload>deny</payload></payloads>"
          "</crate></cratelist></imageprofile>");
    Write(Rooted("/var/db/tarnimg/crates/allow.xml"), crate + "allow</name></crate>");
    Write(Rooted("/var/db/tarnimg/crates/deny.xml"),
          crate + "deny</name><software-tags><tag>RestrictStickyFiles</tag></software-tags></crate>");
}

// The live tree: the inode statistics nodes and one record per tardisk file.
void WriteTree(const std::vector<std::pair<ino_t, const char*>>& inodes) {
    std::string keys, values;
    for (const auto& [inode, tardisk] : inodes) {
        const std::string key = std::to_string(inode);
        keys += (keys.empty() ? "" : ",") + key;
        values += std::string(values.empty() ? "" : ",\n") + "{\"node\": 12, \"keys\": [" + key +
                  "], \"value\": {\"inode\": " + key + ", \"tardisk\": \"" + tardisk + "\"}}";
    }
    Write(Rooted("/var/run/kno/tree.json"),
          R"({"types": [{"name": "char", "kind": "base", "size": 1, "display": "%s"},
 {"name": "uint32", "kind": "base", "size": 4}, {"name": "uint64", "kind": "base", "size": 8},
 {"name": "TardiskName", "kind": "array", "element": "char", "count": 32},
 {"name": "InodeStats", "kind": "struct", "members": [{"name": "inode", "type": "uint64"},
  {"name": "size", "type": "uint64"}, {"name": "blocks", "type": "uint64"}, {"name": "mode", "type": "uint32"},
  {"name": "links", "type": "uint32"}, {"name": "flags", "type": "uint32"},
  {"name": "tardisk", "type": "TardiskName"}]}],
"nodes": [{"id": 0, "name": "root"}, {"id": 1, "name": "system", "parent": 0},
 {"id": 10, "name": "lumenfs", "parent": 1},
 {"id": 11, "name": "inodes", "parent": 10, "instance": true, "keys": "int"},
 {"id": 12, "name": "stats", "parent": 11, "leaf": true, "get": "InodeStats"}],
"instances": [{"node": 11, "keys": [)" + keys + R"(]}],
"values": [)" + values + "]}\n");
}

std::vector<std::string> Prepare(size_t count) {
    WriteImage();
    fs::create_directories(Rooted("/var/run/halden/files"));
    fs::create_directories(Rooted("/bench/declared"));
    fs::create_directory_symlink("/bench/declared", Rooted("/bench/linked"));
    std::vector<std::string> paths;
    std::vector<std::pair<ino_t, const char*>> inodes;
    for (size_t i = 0; i < count; ++i) {
        const size_t slot = i % 100;
        const std::string dir = "/d" + std::to_string(i / 1000 % 100) + "/f" + std::to_string(i);
        std::string path;
        if (slot < 2) {  // declared, directly or through the linked directory
            path = (slot ? "/bench/linked/f" : "/bench/declared/f") + std::to_string(i);
            Write(Rooted("/bench/declared/f" + std::to_string(i)), "x");
            Declare(i, "/bench/declared/f" + std::to_string(i));
        } else if (slot < 92) {  // in a tardisk
            const char* tardisk = slot < 82 ? "allow" : "deny";
            path = std::string("/bench/") + tardisk + dir;
            inodes.emplace_back(TardiskFile(path), tardisk);
        } else if (slot < 97) {  // an operator's file: a backing file the tree does not know
            path = "/bench/operator" + dir;
            Write(Rooted(path), "x");
            Write(Rooted("/bench/operator/d" + std::to_string(i / 1000 % 100) + "/.#f" + std::to_string(i)), "x");
        } else {
            path = "/bench/missing" + dir;
        }
        paths.push_back(path);
    }
    WriteTree(inodes);
    return paths;
}

// One size in a host root of its own: best of `repetitions` in CPU time.
void Measure(size_t count, int repetitions) {
    TarnBench::PrivateRoot root;
    const double setup = Now(CLOCK_MONOTONIC);
    const std::vector<std::string> paths = Prepare(count);
    std::vector<std::string> onHost;
    for (const std::string& path : paths) onHost.push_back(Rooted(path));
    double best = 1e9, bestPlain = 1e9;
    size_t kept = 0;
    for (int r = 0; r < repetitions; ++r) {
        double start = Now();
        kept = TarnConfigStore::FilterStickyBitFiles(paths).size();
        best = std::min(best, Now() - start);
        start = Now();
        size_t found = 0;
        for (const std::string& path : onHost) {
            struct stat st;
            found += lstat(path.c_str(), &st) == 0;
            found += stat(path.c_str(), &st) == 0;
        }
        bestPlain = std::min(bestPlain, Now() - start);
        if (!found) std::exit(1);
    }
    std::printf("%zu paths (prepared in %.1f s): FilterStickyBitFiles %.1f ms (%.2f us a path, %zu kept), "
                "lstat + stat %.1f ms, ratio %.2f\n",
                count, Now(CLOCK_MONOTONIC) - setup, best * 1e3, best * 1e6 / static_cast<double>(count), kept,
                bestPlain * 1e3, best / bestPlain);
}

} // namespace

int main(int argc, char** argv) {
    int repetitions = 3;
    std::vector<size_t> counts;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repetitions") && i + 1 < argc) repetitions = std::atoi(argv[++i]);
        else counts.push_back(std::strtoul(argv[i], nullptr, 10));
    }
    if (counts.empty()) counts = {2000, 5000, 20000};
    for (size_t count : counts)
        if (!TarnBench::InChild([&] { Measure(count, repetitions); })) return 1;
    return 0;
}
