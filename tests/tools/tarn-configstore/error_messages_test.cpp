// Every error names its cause: what was wrong (the path, the word, the line
// and column) and, where there is one, the next step; 2 for wrong arguments,
// 1 for a failure.
#include <cstdlib>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "support/test_support.h"

namespace {

using testing::HasSubstr;
using TarnTest::RunCli;

struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> said;  // each on standard error
};

TEST(CliErrors, EveryErrorNamesItsCause) {
    const std::string dir = TarnTest::Root() + "/", missing = dir + "missing.json", cut = dir + "cut.json",
                      bad = dir + "bad.json", blank = dir + "blank.json",
                      store = TarnTest::Rooted("/etc/halden/configstore/current-store-1"),
                      tree = TarnTest::Rooted("/var/run/kno/tree.json");
    TarnTest::WriteFile(cut, "{\"profile\": {\"a\": ");
    TarnTest::WriteFile(bad, "{\n  \"profile\": x}");
    TarnTest::WriteFile(blank, " \n\t");
    const std::vector<Case> cases = {
        {{"show"}, 1, {"cause: " + store + ": no configuration store; run 'tarn-configstore boot' first"}},
        {{"desired", "validate", missing}, 1, {"Failed to parse JSON file " + missing + "\n", missing +
                                               ": no such file; create it holding a desired document {\"profile\""}},
        {{"desired", "set", "--smartnic", "--", missing}, 1, {": no such file; create it holding a SmartNIC"}},
        {{"desired", "validate", cut}, 1, {cut + ": line 1, column 19: the file ends inside the JSON value"}},
        {{"desired", "validate", bad}, 1, {bad + ": line 2, column 14: not valid JSON"}},
        {{"desired", "validate", blank}, 1, {blank + ": is empty; it must hold a desired document"}},
        {{"backup", dir + "db", dir + "./db"}, 1, {dir + "db and " + dir + "./db are the same file"}},
        {{"boot-mode", "7"}, 2, {"boot-mode: boot mode must be 0 to 3, not '7'"}},
        {{"show", "--bogus"}, 2, {"show: unknown option '--bogus'"}},
        {{"show", "--", "--json"}, 2, {"show: unexpected argument '--json'"}},
        {{"plan", "extra"}, 2, {"plan: unexpected argument 'extra'"}},
        {{"backup", "--keep", "0"}, 2, {"backup: --keep needs a count from 1 to 1000, not '0'"}},
        {{"backup", "--keep", "3", "a", "b"}, 2, {"--keep counts the generations of the live store's backup"}},
        {{"backup", "a"}, 2, {"backup: missing argument: expected DST after SRC"}},
        {{"backup", "--keep"}, 2, {"backup: option '--keep' needs its N"}},
        {{"cleanup", "all"}, 2, {"unknown word 'all': expected store, live-store, autoconf or datafiles"}},
        {{"warden"}, 2, {"warden: missing argument: expected on or off"}},
        {{"desired", "set"}, 2, {"desired: set needs the FILE"}},
        {{"desired", "show", "--smartnic"}, 2, {"show takes no --smartnic"}},
        {{"rollback", "0"}, 2, {"not '0'"}},
        {{"image", "crates", "x"}, 2, {"unexpected argument 'x'"}},
        {{"image", "dump", "--json"}, 2, {"dump takes no --json"}},
        {{"frobnicate"}, 2, {"unknown command 'frobnicate'"}},
        {{"get"}, 2, {"get: missing argument: expected OBJECT[ID]"}},
        {{"set", "a/b/c"}, 2, {"set: missing argument: expected OBJECT[ID] and its JSON value"}},
        {{"desired", "export", "--file"}, 2, {"option '--file' needs its F"}},
        {{"desired", "show", "--file", "f"}, 2, {"show takes no --file"}},
        {{"boot"}, 1, {"Failed to invoke KNO_CheckSig\n", "cause: Kernel-info tree: " + tree, "put one at " + tree}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const TarnTest::CliResult r = RunCli(c.args);
        EXPECT_EQ(r.status, c.status);
        for (const std::string& text : c.said) EXPECT_THAT(r.err, HasSubstr(text));
        EXPECT_EQ(c.status == 2, r.err.find("\nusage: tarn-configstore [--root DIR] ") != std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    TarnTest::WriteFile(store, "not a database");
    EXPECT_THAT(RunCli({"show"}).err, HasSubstr("cause: " + store + ": not a whole database (damaged, or not a store)"));
    // A root from the environment is checked as --root is.
    setenv("TARN_ROOT", missing.c_str(), 1);
    const TarnTest::CliResult fromEnvironment = RunCli({"show"}, false);
    setenv("TARN_ROOT", TarnTest::Root().c_str(), 1);
    EXPECT_EQ(fromEnvironment.status, 2);
    EXPECT_THAT(fromEnvironment.err, HasSubstr("host root '" + missing + "' (from TARN_ROOT) is not a directory"));
}

// A document whose objects sit beside "profile" is valid and stores nothing:
// each such member is named. A SmartNIC document is validated as set
// --smartnic takes it. An empty layer is null in every JSON listing.
TEST(CliErrors, WarnsOfIgnoredMembersAndShowsEmptyLayersAlike) {
    TarnTest::CopySampleHost();
    ASSERT_EQ(RunCli({"boot"}).status, 0);
    const std::string forgot = TarnTest::Root() + "/forgot.json", smartnic = TarnTest::Root() + "/nic.json";
    TarnTest::WriteFile(forgot, R"({"network": {}, "system": {}})");
    const TarnTest::CliResult validated = RunCli({"desired", "validate", forgot});
    EXPECT_EQ(validated.status, 0);
    for (const char* name : {"member 'network' of the root is ignored", "member 'system'", "has no \"profile\""})
        EXPECT_THAT(validated.err, HasSubstr(name));
    TarnTest::WriteFile(smartnic, R"({"network": {"nope": {"x": {}}}})");
    const TarnTest::CliResult refused = RunCli({"desired", "validate", "--smartnic", smartnic});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("Validation failed for configuration {network/nope/x}"));
    EXPECT_EQ(RunCli({"desired", "validate", "--smartnic", TARN_EXAMPLE_HOST "/../desired/smartnic-desired.json"}).status, 0);
    TarnTest::WriteFile(forgot, R"({"profile": {"network": {"nope": {}}}})");
    const TarnTest::CliResult invalid = RunCli({"desired", "set", forgot});
    EXPECT_EQ(std::to_string(invalid.status) + invalid.err,
              "1tarn-configstore: 1 validation error in " + forgot + "; nothing stored\n");
    EXPECT_EQ(RunCli({"desired", "show"}).out, "(no desired configuration)\nnext boot mode: 0\n");  // nothing stored

    const std::string live = TarnTest::Rooted("/etc/halden/configstore/current-store-1");
    TarnTest::Query(live, "DELETE FROM Config; INSERT INTO Config(Component, ConfigGroup, Name, UserValue) VALUES "
                          "('a', 'b', 'c', ''); INSERT INTO DesiredUserConfig(Component, ConfigGroup, Name, Value, "
                          "BootAction) VALUES ('a', 'b', 'c', '', 'SET');");
    EXPECT_THAT(RunCli({"show", "--json"}).out, HasSubstr(R"("user":null,"vital":null,)"));
    EXPECT_THAT(RunCli({"desired", "show", "--json"}).out, HasSubstr(R"("user":null,"vital":null,)"));
}

} // namespace
