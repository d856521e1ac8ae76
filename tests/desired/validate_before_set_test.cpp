// What storing a desired document would refuse or lose is refused by its
// validation first, in the same listing as the schema errors; what storing
// keeps byte for byte stays valid.
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"
#include "tarn/desired_config.h"
#include "tarn/json_doc.h"
#include "tarn/platform/db_store.h"
#include "tarn/store_tables.h"

namespace {

using namespace TarnConfigStore;
using TarnTest::Thrown;

class ValidateBeforeSet : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DBStore::CreateDatabases(), 0);
        Register("fz", "net", "switches", R"("idField": "name")");
        Register("fz", "net", "bridges", R"("idField": "name")");
        Register("fz", "net", "routes", R"("idField": "cs_generated_id")");
        Register("fz", "net", "global", "");
        Register(std::string("n\0l", 3), "net", "switches", R"("idField": "name")");
    }
    static void Register(const std::string& component, const std::string& group, const std::string& key,
                         const std::string& idField, const std::string& version = "1") {
        const std::string escaped = component.find('\0') == std::string::npos ? component : "n\\u0000l";
        TarnSchemaStore::SetSchema("f", component, group, key, R"({"component": ")" + escaped + R"(", "group": ")" +
                                   group + R"(", "key": ")" + key + R"(", "version": ")" + version + R"(", )" +
                                   idField + (idField.empty() ? "" : ", ") + R"("schema": {"type": "object", "properties": {
                                   "name": {"type": "string"}, "note": {"type": "string"},
                                   "mtu": {"type": "integer", "maximum": 9000}}}})",
                                   TarnSchemaStore::SchemaStore::GetStore(), false);
    }
    rapidjson::Document& Doc(const std::string& text) {
        return *docs.emplace_back(CreateDocumentFromString(text))->document;
    }
    // "object|instance|pointer|reason" of each error.
    static std::vector<std::string> Errors(const rapidjson::Document& doc) {
        std::vector<std::string> out;
        for (const auto& e : ListDesiredDocumentErrors(doc, TarnSchemaStore::SchemaStore::GetCache()))
            out.push_back(e.object + "|" + e.instance + "|" + e.pointer + "|" + e.reason);
        return out;
    }
    static std::vector<std::string> Stored() {
        return TarnTest::Query(TarnTest::Rooted(CONFIG_STORE_PATH),
                               "SELECT Component||'/'||Name||'['||Identifier||']'||Value FROM DesiredUserConfig "
                               "ORDER BY 1;");
    }
    std::vector<std::shared_ptr<JsonDoc>> docs;
};

// Statement texts end at a NUL byte: an identifier or a name that holds one
// fails storing, so validation names it; a value holds one verbatim.
TEST_F(ValidateBeforeSet, NulBytesRefusedWhereStoringFails) {
    const std::string id = "instanceId: a NUL byte inside, which a stored identifier cannot hold, found ";
    const std::string nulName = std::string("/profile/n\0l", 12);
    const struct {
        std::string text;
        std::vector<std::string> errors;  // none: stored
    } cases[] = {
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "a", "note": "x\u0000y"}, {"name": "b"}]}}}})", {}},
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "a", "mtu": 9001}, {"name": "b\u0000c"}]}}}})",
         {"fz/net/switches|a|/profile/fz/net/switches/0/mtu|maximum: expected a number <= 9000, found 9001",
          "fz/net/switches|#1|/profile/fz/net/switches/1/name|" + id + R"("b\u0000c")"}},
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "\u0000"}]}}}})",
         {"fz/net/switches|#0|/profile/fz/net/switches/0/name|" + id + R"("\u0000")"}},
        {R"({"profile": {"n\u0000l": {"net": {"switches": [{"name": "a"}]}}, "fz": {"net": {"global": {}}}}})",
         {"||" + nulName + R"(|name: the component name "n\u0000l" holds a NUL byte, which a stored name cannot hold)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        rapidjson::Document& doc = Doc(c.text);
        EXPECT_EQ(Errors(doc), c.errors);
        TarnPlatform::Capture capture;
        EXPECT_EQ(ValidateDesiredDocument(doc, TarnSchemaStore::SchemaStore::GetCache()), c.errors.empty());
        EXPECT_EQ(capture.Logs().size(), c.errors.size());
        const auto before = Stored();
        const std::string thrown = Thrown([&] { SetDesiredUserConfig(doc); });
        if (c.errors.empty()) {
            EXPECT_EQ(thrown, "nothing thrown");
            // the value's NUL byte arrives, escaped in its JSON text
            EXPECT_EQ(Stored(), (std::vector<std::string>{R"(fz/switches[a]{"name":"a","note":"x\u0000y"})",
                                                          R"(fz/switches[b]{"name":"b"})"}));
        } else {
            EXPECT_EQ(thrown, "ConfigStoreException 2000 SetDesiredUserConfig failed: Write desired config failed");
            EXPECT_EQ(Stored(), before);
        }
    }
}

// Instances of one object with the same identifier would be stored as one,
// the later value replacing the earlier: refused, naming the object and the
// identifier, wherever in the document the instances are.
TEST_F(ValidateBeforeSet, RepeatedIdentifiersOfOneObjectRefused) {
    const auto again = [](const std::string& id, const std::string& at, const std::string& first) {
        return "fz/net/switches|" + id + "|/profile/fz/net/switches/" + at + "|instanceId: \"" + id +
               "\" is already the identifier of the fz/net/switches instance at /profile/fz/net/switches/" + first +
               "; each instance needs its own";
    };
    const struct {
        std::string text;
        std::vector<std::string> errors;
    } cases[] = {
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "a", "mtu": 1}, {"name": "b"}, {"name": "a", "mtu": 2},
             {"name": "b"}, {"name": "a"}]}}}})",
         {again("a", "2/name", "0/name"), again("b", "3/name", "1/name"), again("a", "4/name", "0/name")}},
        // the same name twice in a level: both occurrences are stored
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "a"}]}}, "fz": {"net": {"switches": [{"name": "a"}]}}}})",
         {again("a", "0/name", "0/name")}},
        // after the schema errors, in the same listing
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "a", "mtu": 9001}, {"name": "a"}]}}}})",
         {"fz/net/switches|a|/profile/fz/net/switches/0/mtu|maximum: expected a number <= 9000, found 9001",
          again("a", "1/name", "0/name")}},
        // distinct texts, other objects, missing generated identifiers
        {R"({"profile": {"fz": {"net": {"switches": [{"name": "a"}, {"name": "A"}, {"name": "a "}],
             "bridges": [{"name": "a"}], "routes": [{"note": "r1"}, {"note": "r2"}]}}}})",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Errors(Doc(c.text)), c.errors);
        TarnPlatform::Capture capture;
        EXPECT_EQ(ValidateDesiredDocument(Doc(c.text), TarnSchemaStore::SchemaStore::GetCache()), c.errors.empty());
        EXPECT_EQ(TarnTest::Texts(capture.Logs()).size(), c.errors.size());
    }
}

// Identifiers made for instances that have none are random version-4 UUIDs,
// distinct, and a forked child does not make the ones its parent makes next.
TEST_F(ValidateBeforeSet, GeneratedIdentifiersAreFreshVersionFourUuids) {
    const auto made = [this](const char* routes) {
        SetDesiredUserConfig(Doc(R"({"profile": {"fz": {"net": {"routes": [)" + std::string(routes) + "]}}}}"));
        return TarnTest::Query(TarnTest::Rooted(CONFIG_STORE_PATH), "SELECT Identifier FROM DesiredUserConfig;");
    };
    const auto three = made(R"({"mtu": 1}, {"mtu": 2}, {"mtu": 3})");
    EXPECT_EQ(std::set<std::string>(three.begin(), three.end()).size(), 3u);
    for (const std::string& id : three)
        EXPECT_THAT(id, testing::MatchesRegex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
    if (fork() == 0) _exit(made(R"({"mtu": 1})").size() == 1 ? 0 : 1);
    int status = 0;
    ASSERT_TRUE(wait(&status) > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto childs = TarnTest::Query(TarnTest::Rooted(CONFIG_STORE_PATH), "SELECT Identifier FROM DesiredUserConfig;");
    EXPECT_NE(made(R"({"mtu": 1})"), childs);
}

// Passed the cache it was validated with, a document is stored with the
// schema objects that validated it, whatever was registered since.
TEST_F(ValidateBeforeSet, StoresWithTheSchemaObjectsThatValidatedIt) {
    const char* text = R"({"profile": {"fz": {"net": {"global": {"mtu": 1}}}}})";
    const auto storedVersion = [&](const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache) {
        SetDesiredUserConfig(Doc(text), cache);
        return TarnTest::Query(TarnTest::Rooted(CONFIG_STORE_PATH), "SELECT Version FROM DesiredUserConfig;");
    };
    const auto cache = TarnSchemaStore::SchemaStore::GetCache();
    ASSERT_TRUE(ValidateDesiredDocument(Doc(text), cache));
    Register("fz", "net", "global", "", "2");
    EXPECT_EQ(storedVersion(cache), std::vector<std::string>{"1"});
    EXPECT_EQ(storedVersion(nullptr), std::vector<std::string>{"2"});
}

} // namespace
