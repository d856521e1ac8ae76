// The shell tests' kernel-info tree with every kind of node the shell treats
// differently, a shell started on it, and capture of its output.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/knosh.h"
#include "tarn/platform/kno/kno_tree.h"

namespace KnoshTest {

// The test tree (JSON). Under the root:
//   dir/          a10/ a9/ B/ "my dir"/ leaf (struct Pair)
//   ints/<int>    instance branch, keys 200 3 16; children value, sub/,
//                 ports/<int> (keys 8 7 under 3 only)/state
//   names/<text>  instance branch, keys "x10" "eth 0" "a/b" "x9"; child value
//   counters/<int> instance leaf, keys 2 1
//   mods/<module> module branch (alpha = 1, beta = 2); common, onlyAlpha
//                 (module 1), onlyBeta (module 2)
//   cpus/         flags bit 0: keys 0 1 tried where no child matches; child load
inline std::string TreeText(const std::string& signature = "") {
    std::string text = R"({
  "format": 1,)";
    if (!signature.empty()) text += "\n  \"signature\": " + signature + ",";
    text += R"(
  "types": [
    {"name": "uint32", "kind": "base", "size": 4, "display": "%u"},
    {"name": "char", "kind": "base", "size": 1, "display": "%s"},
    {"name": "Name", "kind": "array", "element": "char", "count": 16},
    {"name": "Color", "kind": "enum", "size": 4, "values": [
      {"name": "RED", "value": 0, "description": "red"}, {"name": "GREEN", "value": 7, "description": "green"}]},
    {"name": "Pair", "kind": "struct", "display": "Pair", "members": [
      {"name": "first", "type": "uint32", "description": "First"},
      {"name": "color", "type": "Color", "description": "Colour"}]}
  ],
  "modules": [{"id": 1, "name": "alpha"}, {"id": 2, "name": "beta"}],
  "nodes": [
    {"id": 0, "name": "root"}, {"id": 20, "name": "dir", "parent": 0}, {"id": 21, "name": "a10", "parent": 20},
    {"id": 22, "name": "a9", "parent": 20}, {"id": 23, "name": "B", "parent": 20},
    {"id": 24, "name": "leaf", "parent": 20, "leaf": true, "get": "Pair"}, {"id": 25, "name": "my dir", "parent": 20},
    {"id": 30, "name": "ints", "parent": 0, "instance": true, "keys": "int"},
    {"id": 31, "name": "value", "parent": 30, "leaf": true, "get": "uint32"}, {"id": 32, "name": "sub", "parent": 30},
    {"id": 33, "name": "ports", "parent": 30, "instance": true, "keys": "int"},
    {"id": 34, "name": "state", "parent": 33, "leaf": true, "get": "uint32"},
    {"id": 40, "name": "names", "parent": 0, "instance": true, "keys": "string"},
    {"id": 41, "name": "value", "parent": 40, "leaf": true, "get": "uint32"},
    {"id": 50, "name": "counters", "parent": 0, "instance": true, "keys": "int", "leaf": true, "get": "uint32"},
    {"id": 60, "name": "mods", "parent": 0, "instance": true, "keys": "string", "moduleBranch": true},
    {"id": 61, "name": "common", "parent": 60, "leaf": true, "get": "uint32"},
    {"id": 62, "name": "onlyAlpha", "parent": 60, "module": 1, "leaf": true, "get": "uint32"},
    {"id": 63, "name": "onlyBeta", "parent": 60, "module": 2, "leaf": true, "get": "uint32"},
    {"id": 70, "name": "cpus", "parent": 0, "flags": 1, "keys": "int"}, {"id": 71, "name": "load", "parent": 70, "leaf": true, "get": "uint32"}
  ],
  "instances": [{"node": 30, "keys": [200, 3, 16]}, {"node": 33, "above": [3], "keys": [8, 7]},
    {"node": 40, "keys": ["x10", "eth 0", "a/b", "x9"]}, {"node": 50, "keys": [2, 1]}, {"node": 70, "keys": [0, 1]}]
})";
    return text;
}

// Writes a tree file under the host root and returns its path.
inline std::string WriteTree(const std::string& text, const std::string& name = "tree.json") {
    std::string path = TarnTest::Rooted("/trees/" + name);
    TarnTest::WriteFile(path, text);
    return path;
}

// What f wrote to standard output and standard error.
template <class F>
std::pair<std::string, std::string> Captured(F&& f) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    f();
    std::string out = testing::internal::GetCapturedStdout();
    return {out, testing::internal::GetCapturedStderr()};
}

struct PathDeleter {
    void operator()(KNOSHPathElement* e) const { KNOSHPath_Delete(e); }
};
using Path = std::unique_ptr<KNOSHPathElement, PathDeleter>;

struct Resolved {
    KES_ReturnStatus status;
    Path path;
    std::string rest;  // "(none)" when no rest was stored
};

// A shell started on the test tree with the options a host program finds
// before start-up.
class ShellTest : public testing::Test {
protected:
    void SetUp() override {
        options = KNOSHOptions{};
        options.sigMismatchFatal = 1;
        shellTerminate = 0;
        treeFile_ = WriteTree(TreeText());
        options.cacheFile = treeFile_.c_str();
        Captured([] { ASSERT_EQ(KNOSH_Init(), 0); });
        root_.reset(KNOSHPath_InitRoot(knoshRootNodeID));
        ASSERT_TRUE(root_);
    }

    // Resolves text from `from` (the root when NULL).
    Resolved Resolve(const std::string& text, uint8_t checkInstances = 1, bool wantRest = false,
                     KNOSHPathElement* from = nullptr) {
        std::string copy = text;
        KNOSHPathElement* raw = reinterpret_cast<KNOSHPathElement*>(1);  // must be overwritten
        char* rest = reinterpret_cast<char*>(1);
        Resolved r;
        r.status = KNOSHPath_Form(from ? from : root_.get(), copy.data(), checkInstances, &raw, wantRest ? &rest : nullptr);
        r.path.reset(raw);
        r.rest = wantRest && rest ? rest : "(none)";
        return r;
    }
    static std::string Render(const KNOSHPathElement* path, uint8_t quote = 0) {
        char text[4096];
        KNOSHPath_GetStr(path, text, sizeof text, quote);
        return text;
    }
    // Runs a command line; what it printed goes to out/err.
    int Run(const std::string& line, std::string* out = nullptr, std::string* err = nullptr) {
        int rc = 0;
        auto [o, e] = Captured([&] { rc = KNOSH_ParseAndExecCmd(line.c_str()); });
        if (out) *out = o;
        if (err) *err = e;
        return rc;
    }
    // What a line printed; its status must be `expected`.
    std::string Out(const std::string& line, int expected = 0) {
        std::string out, err;
        EXPECT_EQ(Run(line, &out, &err), expected) << line << "\n" << err;
        return out;
    }
    // Every completion of text, in order.
    std::vector<std::string> Completions(const std::string& text) {
        std::vector<std::string> all;
        int state = 0;
        for (char* c; all.size() < 100 && (c = KNOSH_CommandGenerator(text.c_str(), &state)); free(c)) all.emplace_back(c);
        return all;
    }

    std::string treeFile_;
    Path root_;  // a root path of the test's own to resolve from
};

} // namespace KnoshTest
