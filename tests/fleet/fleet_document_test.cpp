// What an agent makes of the bytes it finds in etcd, before any store is touched.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "base64.h"
#include "fleet_document.h"
#include "fleet_keys.h"
#include "host_status.h"

namespace TarnFleet {
namespace {

std::string Serialized(const rapidjson::Document& d) {
    rapidjson::StringBuffer b;
    rapidjson::Writer<rapidjson::StringBuffer> w(b);
    d.Accept(w);
    return b.GetString();
}

// An object the overlay names replaces the fleet's object whole (its members
// are not merged); objects it does not name stay; new ones are added.
TEST(FleetDocument, OverlayReplacesWholeObjects) {
    std::vector<DocumentError> errors;
    const auto merged = MergeHostDocument(
        std::string(R"({"profile": {"network": {"dns": {"servers": {"servers": ["a"], "search": ["x"]}, "keep": {"v": 1}}}}})"),
        std::string(R"({"profile": {"network": {"dns": {"servers": {"servers": ["b"]}}, "new": {"k": [1]}}, "system": {"g": {"k": {}}}}})"),
        errors);
    ASSERT_TRUE(merged) << errors.front().reason;
    EXPECT_EQ(Serialized(*merged),
              R"({"profile":{"network":{"dns":{"servers":{"servers":["b"]},"keep":{"v":1}},"new":{"k":[1]}},"system":{"g":{"k":{}}}}})");
    // No fleet document: the overlay alone.
    const auto alone = MergeHostDocument(std::nullopt, std::string(R"({"profile": {"c": {"g": {"k": 1}}}})"), errors);
    ASSERT_TRUE(alone);
    EXPECT_EQ(Serialized(*alone), R"({"profile":{"c":{"g":{"k":1}}}})");
}

TEST(FleetDocument, RefusesWhatIsNoDocumentWithTheReason) {
    const struct {
        std::string fleet;
        const char* reason;
    } cases[] = {
        {std::string(kMaxDocumentBytes + 1, ' '), "bytes, more than the 1048576 allowed"},
        {std::string(129, '[') + std::string(129, ']'), "nests deeper than 128 levels"},
        {"{\"profile\": \"\xc0\xaf\"}", "is not UTF-8 (byte 13)"},          // overlong '/'
        {"{\"profile\": \"\xed\xa0\x80\"}", "is not UTF-8 (byte 13)"},      // a surrogate
        {"{\"profile\": \"\xf4\x90\x80\x80\"}", "is not UTF-8 (byte 13)"},  // past U+10FFFF
        {"{\"profile\": \"\xe0\x9f\xbf\"}", "is not UTF-8 (byte 13)"}, {"{\"profile\": \"\xf0\x8f\xbf\xbf\"}", "(byte 13)"},
        {"{\"profile\": {}", "is not JSON"},
        {"[1]", "is not a JSON object"},
        {"{}", "has no \"profile\" member"},
        {"{\"profile\": []}", "\"profile\" is not an object"},
        {"{\"profile\": {\"c\": {\"g\": 1}}}", "a group is not an object"},
    };
    for (const auto& c : cases) {
        std::vector<DocumentError> errors;
        EXPECT_FALSE(MergeHostDocument(c.fleet, std::string(R"({"profile": {}})"), errors)) << c.reason;
        ASSERT_EQ(errors.size(), 1u) << c.reason;
        EXPECT_THAT(errors[0].reason, testing::HasSubstr(c.reason));
    }
    // A bad overlay fails the host's document even when the fleet's is good,
    // and both texts' errors are listed.
    std::vector<DocumentError> errors;
    EXPECT_FALSE(MergeHostDocument(std::string(R"({"profile": {"c": 1, "a/b~": {"g": 1}, "d": 2}})"), std::string("[]"), errors));
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0].pointer + " " + errors[1].pointer + " " + errors[2].pointer, "/profile/c /profile/a~1b~0/g /profile/d");
    EXPECT_THAT(errors[3].reason, testing::StartsWith("the host's overlay"));
    // Valid UTF-8 of every length passes.
    errors.clear();
    EXPECT_TRUE(MergeHostDocument(std::string("{\"profile\": {\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\": {}}}"), {}, errors));
}

TEST(FleetKeys, HostAndFleetNamesCannotLeaveTheirLevel) {
    for (const std::string& bad : std::vector<std::string>{"", "a/b", "..", ".hidden", std::string("a\0b", 3), std::string(65, 'a'), "h\xc3\xa9", "a b"})
        EXPECT_FALSE(NameProblem(bad).empty()) << bad;
    for (const std::string& good : {std::string("rack-07.host_1"), std::string(64, 'a')}) EXPECT_EQ(NameProblem(good), "");
    EXPECT_THROW(FleetKeys("/p", "a/b"), std::invalid_argument);
    for (const char* prefix : {"p", "/p/", "/p\x7f"}) EXPECT_THROW(FleetKeys(prefix, "lab"), std::invalid_argument);
    EXPECT_EQ(FleetKeys("/", "lab").Desired(), "/lab/desired");
    const FleetKeys keys("/p", "lab");
    EXPECT_THROW(keys.Status(".."), std::invalid_argument);
    std::string host, leaf;
    EXPECT_TRUE(keys.SplitHostKey("/p/lab/hosts/h1/status", &host, &leaf));
    EXPECT_EQ(host + " " + leaf, "h1 status");
    for (const std::string& other : std::vector<std::string>{"/p/lab/hosts/../status", "/p/lab/hosts/h1/x/status", "/p/lab/hosts/h1",
                                    "/p/lab2/hosts/h1/status", "/p/lab/hosts/" + std::string("a\0b", 3) + "/status"})
        EXPECT_FALSE(keys.SplitHostKey(other, &host, &leaf)) << other;
}

TEST(FleetWire, Base64AndStatusRoundTrip) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    for (size_t n : {0, 1, 2, 3, 255, 256}) EXPECT_EQ(DecodeBase64(EncodeBase64(all.substr(0, n))), all.substr(0, n));
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
    for (const char* bad : {"Zm8", "Zm=v", "Z===", "Zm8=Zm8=", "Zm8*", "Zm9=", "Zh=="}) EXPECT_FALSE(DecodeBase64(bad)) << bad;

    // Every member comes back: one dropped (say "storing") would lose what a restart resumes from.
    const std::string status =
        R"({"host":"h1","inputs":{"fleet":7,"pinned":0,"overlay":9},"seen":9,"stored":9,"applied":4,"state":"pending",)"
        R"("errors":[{"object":"c/g/k","pointer":"/profile/c","reason":"why \"quoted\""},{"object":"","pointer":"","reason":""}],)"
        R"("plan":{"added":1,"changed":2,"removed":3,"bootMode":1,"failure":"no"},"generation":4,"digest":"00ff","storing":10,"storingDigest":"01",)"
        R"("bootApplyRecord":{"isBootComplete":true},"lastSeen":1234})";
    ASSERT_TRUE(StatusFromJson(status));
    EXPECT_EQ(StatusToJson(*StatusFromJson(status)), status);
    EXPECT_FALSE(StatusFromJson("{\"host\": \"h1\"}"));
    EXPECT_FALSE(StatusFromJson("garbage"));
}

} // namespace
} // namespace TarnFleet
