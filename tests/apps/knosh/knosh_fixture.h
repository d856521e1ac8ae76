// Shared set-up of the shell tests: a small kernel-info tree with every
// kind of node the shell treats differently, a shell started on it, and
// capture of what the shell writes to standard output and standard error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/knosh.h"

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
std::string TreeText(const std::string& signature = "");

// Writes a tree file under the host root and returns its path.
std::string WriteTree(const std::string& text, const std::string& name = "tree.json");

// The option record as a host program finds it before start-up.
void ResetOptions();

// Captures file descriptors 1 and 2 while it lives (or until Stop).
class StdCapture {
public:
    StdCapture() {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
    }
    ~StdCapture() { Stop(); }
    void Stop() {
        if (stopped_) return;
        stopped_ = true;
        out_ = testing::internal::GetCapturedStdout();
        err_ = testing::internal::GetCapturedStderr();
    }
    const std::string& Out() { return Stop(), out_; }
    const std::string& Err() { return Stop(), err_; }

private:
    std::string out_, err_;
    bool stopped_ = false;
};

struct PathDeleter {
    void operator()(KNOSHPathElement* e) const { KNOSHPath_Delete(e); }
};
using Path = std::unique_ptr<KNOSHPathElement, PathDeleter>;

struct Resolved {
    KES_ReturnStatus status;
    Path path;
    std::string rest;  // "(none)" when no rest was stored
};

// A shell started on the test tree with fresh options.
class ShellTest : public testing::Test {
protected:
    void SetUp() override;

    // Resolves text from `from` (the root when NULL).
    Resolved Resolve(const std::string& text, uint8_t checkInstances = 1, bool wantRest = false,
                     KNOSHPathElement* from = nullptr);
    // Renders a path (head) to text.
    static std::string Render(const KNOSHPathElement* path, uint8_t quote = 0);
    // Runs a command line; what it printed goes to out/err.
    int Run(const std::string& line, std::string* out = nullptr, std::string* err = nullptr);
    // Every completion of text, in order.
    std::vector<std::string> Completions(const std::string& text);

    std::string treeFile_;
    Path root_;  // a root path of the test's own to resolve from
};

} // namespace KnoshTest
