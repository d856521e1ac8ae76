// Schema patterns: matched as RE2 expressions, refused at registration when
// RE2 refuses them, and never bringing validation down.
#include <gtest/gtest.h>

#include "platform/schema/schema_store_fixture.h"

namespace {

TEST(SchemaPattern, ValuesMatchAsRe2AndRefusedPatternsNeverRun) {
    const std::set<int> codes = {JsonValidator::CHECK_SCHEMA};
    // As "pattern" of the string and as "patternProperties" key of a member
    // named by it. A pattern RE2 refuses (usable false) is passed over by both.
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
        bool usable = true;
    } cases[] = {
        {"^a{2,3}$", "aaa", true}, {"^a{2,3}$", "aaaa", false}, {"^\\\\d+$", "12", true}, {"^\\\\d+$", "1x", false},
        {"^é+$", "éé", true},      {"b", "abc", true},          {"(a*)*", "a", true},
        {"^(a|aa)+$", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", false},
        {"a?+", "a", false, false}, {"a*+", "a", false, false}, {"a{10000000}", "a", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const std::string pattern = std::string(R"({"pattern": ")") + c.pattern + "\"}";
        EXPECT_EQ(SchemaTest::Validate(pattern, std::string("\"") + c.text + "\"", codes).empty(), c.matches || !c.usable);
        const std::string byName = std::string(R"({"patternProperties": {")") + c.pattern + R"(": {"type": "null"}}})";
        EXPECT_EQ(SchemaTest::Validate(byName, std::string("{\"") + c.text + "\": 1}", codes).empty(), !c.matches);
    }
}

TEST(SchemaPattern, RegistrationRefusesWhatRe2Refuses) {
    for (const auto& [pattern, accepted] : {std::pair<std::string, bool>{"(a*)*", true}, {"^\\\\d{1000}$", true},
                                            {"a{1001}", false}, {"(?=a)", false}, {"(a)\\\\1", false}, {"a?+", false}}) {
        const std::string entry = R"({"component": "netd", "group": "network", "key": "segments", "version": "1",
            "schema": {"properties": {"a": {"pattern": ")" + pattern + "\"}}}}";
        EXPECT_EQ(SchemaTest::Refusal(entry).empty(), accepted) << pattern;
    }
}

} // namespace
