// What `plan --json` predicts is what the next boot then does, row for row,
// after every step of generated sequences of what operators do between two
// boots; and the plan leaves every file of the host as it was.
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "cli_runner.h"
#include "support/test_support.h"
#include "tarn/config_diff.h"
#include "tarn/rapidjson.h"

namespace {

namespace fs = std::filesystem;
using TarnTest::Rooted;
using TarnTest::RunCli;

constexpr char kLive[] = "/etc/halden/configstore/current-store-1";
constexpr char kBackup[] = "/var/lib/halden/configstore/backup/current-store-1";

std::string Compact(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    return value.Accept(writer), buffer.GetString();
}

// A layer as plan prints it: the JSON it holds, a text that is no JSON as a
// string, null when absent.
std::string Shown(const std::optional<std::string>& stored) {
    if (!stored) return "null";
    rapidjson::Document doc;
    if (!doc.Parse(stored->c_str()).HasParseError()) return Compact(doc);
    return Compact(rapidjson::Value(stored->c_str(), doc.GetAllocator()));
}

// Generated identifiers differ from one run of the boot to the next.
std::string Masked(const std::string& text) {
    static const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    return std::regex_replace(text, uuid, "<generated>");
}

std::vector<std::string> Rendered(const std::vector<TarnConfigStore::ConfigRowChange>& changes) {
    static const char* const kinds[] = {"added", "changed", "removed"};
    std::vector<std::string> lines;
    for (const auto& c : changes) {
        std::string line = std::string(kinds[static_cast<int>(c.kind)]) + " " + c.component + "/" + c.group + "/" +
                           c.name + "[" + c.identifier + "]";
        for (size_t i = 0; i < 3; ++i)
            if (c.before[i] != c.after[i])
                line += std::string(" ") + TarnConfigStore::CONFIG_LAYER_NAMES[i] + ":" + Shown(c.before[i]) + ">" +
                        Shown(c.after[i]);
        lines.push_back(Masked(line));
    }
    return lines;
}

std::vector<std::string> Rendered(const rapidjson::Value& changes) {
    std::vector<std::string> lines;
    for (const auto& c : changes.GetArray()) {
        std::string line = std::string(c["change"].GetString()) + " " + c["component"].GetString() + "/" +
                           c["group"].GetString() + "/" + c["name"].GetString() + "[" + c["identifier"].GetString() + "]";
        for (const char* layer : TarnConfigStore::CONFIG_LAYER_NAMES)
            if (c["layers"].HasMember(layer))
                line += std::string(" ") + layer + ":" + Compact(c["layers"][layer]["before"]) + ">" +
                        Compact(c["layers"][layer]["after"]);
        lines.push_back(Masked(line));
    }
    return lines;
}

std::vector<std::string> Strings(const rapidjson::Value& array) {
    std::vector<std::string> texts;
    for (const auto& t : array.GetArray()) texts.push_back(Masked(t.GetString()));
    return texts;
}

// The lines a log file gained after its first `from`, without time stamps.
std::vector<std::string> LinesAfter(const std::string& file, size_t from) {
    std::vector<std::string> lines;
    std::istringstream in(TarnTest::ReadFile(file));
    size_t n = 0;
    for (std::string line; std::getline(in, line);)
        if (n++ >= from) lines.push_back(Masked(line.substr(line.find(' ') + 1)));
    return lines;
}

// A store missing or unreadable counts as empty, as it does for plan.
std::vector<TarnConfigStore::ConfigLayerRow> Layers(const std::string& store) {
    try {
        return fs::exists(store) ? TarnConfigStore::ReadConfigLayers(store) : std::vector<TarnConfigStore::ConfigLayerRow>{};
    } catch (const std::exception&) {
        return {};
    }
}

// Every file of a host root and its bytes, but for what each run of the
// program writes whatever it does: its log lines, the lock, the runner's output.
std::map<std::string, std::string> Files(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = e.path().string().substr(root.size());
        if (!e.is_regular_file() || rel.rfind("/var/log/", 0) == 0 || rel.rfind("/cli.", 0) == 0 ||
            rel == "/var/run/halden/configstore.lock")
            continue;
        files[rel] = TarnTest::ReadFile(e.path());
    }
    return files;
}

class PlanEqualsBoot : public testing::Test {
protected:
    // Plans, then boots a copy of the host: the boot does what the plan said.
    void Check(const std::string& step) {
        SCOPED_TRACE(step);
        const auto files = Files(TarnTest::Root());
        const TarnTest::CliResult plan = RunCli({"plan", "--json"});
        ASSERT_EQ(plan.status, 0) << plan.err;
        EXPECT_EQ(Files(TarnTest::Root()), files) << "plan changed the host";
        rapidjson::Document p;
        ASSERT_FALSE(p.Parse(plan.out.c_str()).HasParseError()) << plan.out;

        const std::string trial = TarnTest::Root() + ".trial";
        fs::remove_all(trial);
        fs::copy(TarnTest::Root(), trial, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const auto before = Layers(trial + kLive);
        const std::string alerts = trial + "/var/log/sysalerts.log", log = trial + "/var/log/configstore-boot.log";
        const size_t alertsBefore = LinesAfter(alerts, 0).size(), logBefore = LinesAfter(log, 0).size();
        const TarnTest::CliResult boot = RunCli({"--root", trial, "boot"}, false);
        const auto after = TarnConfigStore::ReadConfigLayers(trial + kLive);

        EXPECT_EQ(Rendered(p["changes"]), Rendered(TarnConfigStore::DiffConfigLayers(before, after)));
        seen.insert(std::string(p["restore"]["from"].GetString()) + ", mode " + std::to_string(p["bootMode"].GetInt()) +
                    (p["changes"].Empty() ? "" : ", changes"));
        EXPECT_EQ(Strings(p["alerts"]), LinesAfter(alerts, alertsBefore));
        std::string bootLog;
        for (const std::string& line : LinesAfter(log, logBefore)) bootLog += line + "\n";
        EXPECT_NE(bootLog.find("] Generating desired user config: BootMode = " + std::to_string(p["bootMode"].GetInt())),
                  std::string::npos) << plan.out;
        EXPECT_EQ(p["failure"].IsNull(), boot.status != 1) << boot.err;
        const bool discarded = std::string(p["restore"]["from"].GetString()) == "new store" && p["restore"]["backup"].IsString();
        EXPECT_EQ(discarded, boot.status == 3) << boot.err;
        fs::remove_all(trial);
    }
    std::set<std::string> seen;  // the kinds of boot the plans foresaw
};

// Steps drawn with a fixed seed, so a failure comes back the same way. A
// step may fail (a backup of a removed store): the plan must still be true.
TEST_F(PlanEqualsBoot, OverGeneratedSequencesOfOperations) {
    TarnTest::CopySampleHost();
    ASSERT_EQ(RunCli({"boot"}).status, 0);
    ASSERT_EQ(RunCli({"boot-state", "cleanup"}).status, 0);
    const std::string hostDoc = TarnTest::ReadFile(TARN_EXAMPLE_HOST "/../desired/host-desired.json");
    const std::string nicDoc = TarnTest::ReadFile(TARN_EXAMPLE_HOST "/../desired/smartnic-desired.json");
    const std::string doc = Rooted("/tmp/desired.json");
    std::mt19937 random(20261207);
    int generations = 0;
    bool upgraded = false;
    for (int step = 0; step < 30; ++step) {
        const unsigned mtu = 1500 + random() % 7500;
        std::string done;
        // Weights: what operators do most comes most.
        static const int kOps[] = {0, 0, 0, 1, 2, 2, 2, 3, 3, 4, 4, 5, 5, 6, 7};
        switch (kOps[random() % std::size(kOps)]) {
            case 0:
                TarnTest::WriteFile(doc, std::regex_replace(hostDoc, std::regex("9000"), std::to_string(mtu)));
                done = "desired set, mtu " + std::to_string(mtu);
                RunCli({"desired", "set", doc});
                break;
            case 1:
                TarnTest::WriteFile(doc, std::regex_replace(nicDoc, std::regex("9000"), std::to_string(mtu)));
                done = "desired set --smartnic";
                RunCli({"desired", "set", "--smartnic", doc});
                break;
            case 2:
                done = "backup";
                if (RunCli({"backup"}).status == 0) ++generations;
                break;
            case 3:
                done = generations > 1 && random() % 2 ? "rollback " + std::to_string(1 + random() % generations)
                                                        : "rollback";
                RunCli(done == "rollback" ? std::vector<std::string>{"rollback"}
                                          : std::vector<std::string>{"rollback", done.substr(9)});
                break;
            case 4:
                done = "a write to the live store";
                TarnTest::Query(Rooted(kLive), "UPDATE Config SET UserValue = '{\"mtu\": " + std::to_string(mtu) +
                                                   "}' WHERE rowid = (SELECT max(rowid) FROM Config);");
                break;
            case 5:
                done = "boot";
                RunCli({"boot"});
                break;
            case 6:
                done = "a damaged backup";
                TarnTest::WriteFile(Rooted(kBackup), "not a database");
                break;
            case 7:  // once: a new image (telemetry comes, hostsvc goes) with the example upgrade module
                if (upgraded) continue;
                upgraded = true;
                done = "an upgrade installed";
                fs::copy(TARN_EXAMPLE_HOST "/../upgrade-image", TarnTest::Root(),
                         fs::copy_options::recursive | fs::copy_options::overwrite_existing);
                fs::copy_file(TARN_EXAMPLE_UPGRADE_MODULE, Rooted("/usr/lib/halden/configmanager/upgrade/lib/module.so"));
                fs::remove(Rooted("/usr/lib/halden/configmanager/schemas/hostsvc.json"));
                fs::remove(Rooted("/var/db/tarnimg/crates/Halden_system_hostsvc_8.0.2-1.20.xml"));
                fs::remove_all(Rooted("/var/run/halden/files"));  // a new boot's /var/run holds only the tree
                fs::remove(Rooted("/var/run/nonSchemaFiles"));
                TarnTest::WriteFile(Rooted("/var/run/kno/tree.json"),
                                    std::regex_replace(TarnTest::ReadFile(Rooted("/var/run/kno/tree.json")),
                                                       std::regex("5f3c9a2e-77a1"), "9b1d4e77-0c2a"));
                break;
        }
        Check("step " + std::to_string(step) + ": " + done);
    }
    // The sequence reached the boots that matter: a backup restored with
    // desired configuration applied, and a damaged backup replaced by a new store.
    EXPECT_TRUE(seen.count("backup, mode 1, changes")) << testing::PrintToString(seen);
    EXPECT_TRUE(seen.count("new store, mode 2, changes")) << testing::PrintToString(seen);
    EXPECT_TRUE(upgraded);
}

} // namespace
