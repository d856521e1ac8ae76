// What a boot cut short leaves for the next one: the schema store copied
// aside before its schema step, put back; super-journals beside the live
// store, removed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/interrupted_boot.h"
#include "load_store_fixture.h"
#include "support/test_support.h"
#include "tarn/store_tables.h"

namespace {

using namespace LoadStoreTest;
using LoadStoreBoot = LoadStoreHost;

std::vector<std::string> SchemaNames() {
    return TarnTest::Query(TarnTest::Rooted(TarnConfigStore::SCHEMA_STORE_PATH),
                           "SELECT Component||'/'||ConfigGroup||'/'||Name FROM ConfigSchema ORDER BY 1;");
}

TEST_F(LoadStoreBoot, PutsBackTheSchemaStoreOfABootCutShortAndRemovesItsSuperJournals) {
    const std::vector<std::string> before = SchemaNames();
    TarnConfigStore::SnapshotSchemaStore();
    // What the boot cut short had registered after the copy.
    Register("extra", "late", "crate", R"("mutableDefaultConfig": true, "schema": {"type": "object"})");
    ASSERT_NE(SchemaNames(), before);
    const std::string superJournal = Store() + "-mj0A1B2C3D";
    TarnTest::WriteFile(superJournal, "");

    TarnPlatform::Capture capture;
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_EQ(SchemaNames(), before);
    EXPECT_FALSE(TarnTest::Exists(TarnConfigStore::SchemaStoreSnapshotPath()));
    EXPECT_FALSE(TarnTest::Exists(superJournal));
    const auto lines = Texts(capture.Logs());
    EXPECT_TRUE(Contains(lines, "Schema store put back as it was before an interrupted boot"));
    EXPECT_TRUE(Contains(lines, "Removed the super-journal " + superJournal + " of an interrupted boot"));

    // A boot that ran to its end leaves nothing for the next one to put back.
    Register("extra", "late", "crate", R"("schema": {"type": "object"})");
    capture.Clear();
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_FALSE(Contains(Texts(capture.Logs()), "Schema store put back as it was before an interrupted boot"));
    EXPECT_THAT(SchemaNames(), testing::Contains("extra/late/crate"));
}

} // namespace
