// The file declarations of installed crates, by persistence category.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tarn/crate_files.h"
#include "tarn/platform/schema_store.h"

using TarnConfigStore::GetCrateFiles;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Pair;
using testing::UnorderedElementsAre;

namespace {

void Register(const std::string& group, const std::string& key, const std::string& body) {
    TarnSchemaStore::SetSchema("netd-files", "netd", group, key,
                               R"({"component": "netd", "group": ")" + group + R"(", "key": ")" + key +
                                   R"(", "version": "1.0", )" + body + "}",
                               TarnSchemaStore::SchemaStore::GetStore(), false);
}

TEST(CrateFiles, EnabledDeclarationsOfExactCategoriesInStoreOrder) {
    EXPECT_THAT(GetCrateFiles(), UnorderedElementsAre(Pair("vital", IsEmpty()), Pair("cached", IsEmpty()),
                                                      Pair("config", IsEmpty())));
    Register("g5", "files", R"("file": {"category": "config", "path": "/etc/netd/netd.conf"})");
    Register("g1", "files", R"("file": {"category": "cached", "path": "/var/netd/leases"})");
    Register("g2", "files", R"("file": {"category": "vital", "path": "/etc/netd/keys"})");
    Register("g3", "files", R"("file": {"enabled": false, "category": "config", "path": "/etc/netd/disabled"})");
    Register("g4", "files", R"("file": {"enabled": true, "category": "cached", "path": "/var/netd/leases"})");
    Register("g0", "trunk", R"("schema": {"type": "object"})");

    EXPECT_THAT(GetCrateFiles(), UnorderedElementsAre(Pair("vital", ElementsAre("/etc/netd/keys")),
                                                      Pair("cached", ElementsAre("/var/netd/leases", "/var/netd/leases")),
                                                      Pair("config", ElementsAre("/etc/netd/netd.conf"))));
}

} // namespace
