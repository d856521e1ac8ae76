#include "knosh_fixture.h"

#include <cstdlib>

#include "support/test_support.h"
#include "tarn/platform/kno/kno_tree.h"

namespace KnoshTest {

std::string TreeText(const std::string& signature) {
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
    {"id": 70, "name": "cpus", "parent": 0, "flags": 1, "keys": "int"},
    {"id": 71, "name": "load", "parent": 70, "leaf": true, "get": "uint32"}
  ],
  "instances": [
    {"node": 30, "keys": [200, 3, 16]},
    {"node": 33, "above": [3], "keys": [8, 7]},
    {"node": 40, "keys": ["x10", "eth 0", "a/b", "x9"]},
    {"node": 50, "keys": [2, 1]},
    {"node": 70, "keys": [0, 1]}
  ]
})";
    return text;
}

std::string WriteTree(const std::string& text, const std::string& name) {
    std::string path = TarnTest::Rooted("/trees/" + name);
    TarnTest::WriteFile(path, text);
    return path;
}

void ResetOptions() {
    options = KNOSHOptions{};
    options.sigMismatchFatal = 1;
    shellTerminate = 0;
}

void ShellTest::SetUp() {
    ResetOptions();
    treeFile_ = WriteTree(TreeText());
    options.cacheFile = treeFile_.c_str();
    StdCapture quiet;
    ASSERT_EQ(KNOSH_Init(), 0);
    root_.reset(KNOSHPath_InitRoot(knoshRootNodeID));
    ASSERT_TRUE(root_);
}

Resolved ShellTest::Resolve(const std::string& text, uint8_t checkInstances, bool wantRest,
                            KNOSHPathElement* from) {
    std::string copy = text;
    KNOSHPathElement* raw = reinterpret_cast<KNOSHPathElement*>(1);  // must be overwritten
    char* rest = reinterpret_cast<char*>(1);
    Resolved r;
    r.status = KNOSHPath_Form(from ? from : root_.get(), copy.data(), checkInstances, &raw, wantRest ? &rest : nullptr);
    r.path.reset(raw);
    r.rest = wantRest && rest ? rest : "(none)";
    return r;
}

std::string ShellTest::Render(const KNOSHPathElement* path, uint8_t quote) {
    char text[4096];
    KNOSHPath_GetStr(path, text, sizeof text, quote);
    return text;
}

int ShellTest::Run(const std::string& line, std::string* out, std::string* err) {
    StdCapture capture;
    int rc = KNOSH_ParseAndExecCmd(line.c_str());
    if (out) *out = capture.Out();
    if (err) *err = capture.Err();
    return rc;
}

std::vector<std::string> ShellTest::Completions(const std::string& text) {
    std::vector<std::string> all;
    int state = 0;
    for (int guard = 0; guard < 100; ++guard) {
        char* c = KNOSH_CommandGenerator(text.c_str(), &state);
        if (!c) break;
        all.emplace_back(c);
        free(c);
    }
    return all;
}

} // namespace KnoshTest
