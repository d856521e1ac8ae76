// The validator against the draft-4 cases of the JSON Schema test suite.
// Cases whose schema refers to another document are skipped: the validator
// resolves references within the schema only.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/platform/json_validator.h"

namespace {

const char kSuite[] = "/usr/share/json-schema-test-suite/tests/draft4";

bool HasRemoteRef(const rapidjson::Value& v) {
    if (v.IsObject()) {
        for (auto m = v.MemberBegin(); m != v.MemberEnd(); ++m) {
            if (m->name == "$ref" && m->value.IsString() && m->value.GetString()[0] != '#') return true;
            if (HasRemoteRef(m->value)) return true;
        }
    } else if (v.IsArray()) {
        for (const auto& e : v.GetArray())
            if (HasRemoteRef(e)) return true;
    }
    return false;
}

} // namespace

TEST(Draft4Conformance, PassesEveryCase) {
    if (!std::filesystem::is_directory(kSuite)) GTEST_SKIP() << kSuite << " is not installed";
    std::vector<std::filesystem::path> files;
    for (const std::string& dir : {std::string(kSuite), std::string(kSuite) + "/optional"})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    int passed = 0, failed = 0, skipped = 0;
    for (const auto& path : files) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        rapidjson::Document groups;
        groups.Parse(text.str().c_str());
        ASSERT_FALSE(groups.HasParseError()) << path;
        for (const auto& group : groups.GetArray()) {
            const rapidjson::Value& schema = group["schema"];
            const bool remote = HasRemoteRef(schema);
            for (const auto& test : group["tests"].GetArray()) {
                if (remote) {
                    ++skipped;
                    continue;
                }
                rapidjson::Document result;
                JsonValidator::Validate(schema, test["data"], result, {JsonValidator::CHECK_SCHEMA, JsonValidator::ALL_ERRORS}, "");
                const bool expected = test["valid"].GetBool();
                const bool valid = result.IsArray() && result.Empty();
                if (valid == expected) {
                    ++passed;
                } else {
                    ++failed;
                    std::cout << "FAILED " << path.filename().string() << ": " << group["description"].GetString()
                              << " / " << test["description"].GetString() << " (expected "
                              << (expected ? "valid" : "invalid") << ")" << std::endl;
                }
            }
        }
    }
    const int run = passed + failed;
    std::cout << "draft 4: " << passed << " of " << run << " cases pass, " << skipped << " skipped (remote $ref)"
              << std::endl;
    ASSERT_GT(run, 0);
    EXPECT_EQ(failed, 0);  // a boundary of one keyword is a case or two
}
