// Removing configuration objects and data-file metadata that no schema
// describes, and the automatic value layer.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cleanup_fixture.h"
#include "tarn/cleanup.h"
#include "tarn/db_connection.h"
#include "tarn/exceptions.h"

using namespace CleanupTest;
using TarnPlatform::CapturedLine;
using testing::ElementsAre;
using testing::IsEmpty;
namespace fs = std::filesystem;

namespace {

const char kDeleteConfig[] =
    "DELETE from Config where (Component,ConfigGroup,Name) NOT IN (SELECT Component,ConfigGroup,Name FROM ss.ConfigSchema);";
const char kSelectDirs[] =
    "SELECT DISTINCT DirName from DataFileMetadata WHERE (Component,Key) NOT IN (SELECT Component, Key FROM ss.DataFileSchema);";
const char kDeleteMetadata[] =
    "DELETE FROM DataFileMetadata WHERE (Component,Key) NOT IN (SELECT Component, Key FROM ss.DataFileSchema);";

// netd/network/vswitch and the data-file key netd/tls-cert have schemas;
// the rest do not. The rows without a schema name three directories, one of
// them twice, plus names that would reach outside the data-file root.
void PopulateStores() {
    CreateStores();
    Query(SchemaDb(),
          "INSERT INTO ConfigSchema(CrateId, Component, ConfigGroup, Name, Value) VALUES('c','netd','network','vswitch','{}');"
          "INSERT INTO DataFileSchema VALUES('c','netd','tls-cert','1');");
    Query(ConfigDb(),
          "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue) VALUES"
          "('netd','network','vswitch','','{}'),('netd','network','gone','a','{}'),('old','grp','obj','','{}');");
    Query(DataFileDb(),
          "INSERT INTO DataFileMetadata VALUES('netd','tls-cert','certs','cert.pem'),"
          "('old','key1','olddir','x'),('old','key2','olddir','y'),('old','key3','retired','z'),"
          "('evil','k','..',''),('evil','k2','../../../etc',''),('evil','k3','',''),('evil','k4','.','');");
    for (const char* dir : {"certs", "olddir", "retired"}) Touch(DataRoot() + "/" + dir + "/file");
    Touch(TarnTest::Rooted("/var/cache/keep"));
    Touch(TarnTest::Rooted("/etc/keep"));
}

std::vector<std::string> ConfigRows() { return Query(ConfigDb(), "SELECT Component, Name FROM Config ORDER BY 1, 2;"); }
std::vector<std::string> MetadataRows() { return Query(DataFileDb(), "SELECT DirName, FileName FROM DataFileMetadata;"); }

TEST(CleanupStore, BootCleanupDeletesRowsWithoutSchemaAndKeepsDirectories) {
    PopulateStores();
    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupStore(true);

    EXPECT_THAT(ConfigRows(), ElementsAre("netd|vswitch"));
    EXPECT_THAT(MetadataRows(), ElementsAre("certs|cert.pem"));
    for (const char* dir : {"certs", "olddir", "retired"}) EXPECT_TRUE(fs::exists(DataRoot() + "/" + dir)) << dir;

    EXPECT_THAT(OwnLines(capture), ElementsAre(CapturedLine{2, "Cleanup config store"},
                                            CapturedLine{2, "Cleanup config store completed"},
                                            CapturedLine{2, "Cleanup data file store"},
                                            CapturedLine{2, "Cleanup data file store completed"}));
    const std::string attach = TarnConfigStore::AttachSchemaStoreStatement();
    EXPECT_THAT(SqlTexts(capture), testing::IsSupersetOf({attach, std::string(kDeleteConfig), std::string("DETACH DATABASE ss;"),
                                                          std::string(kDeleteMetadata)}));
    EXPECT_THAT(SqlTexts(capture), testing::Not(testing::Contains(std::string(kSelectDirs))));
    EXPECT_THAT(capture.Events(), IsEmpty());
}

TEST(CleanupStore, LiveCleanupRemovesExactlyTheDirectoriesOfDeletedRows) {
    PopulateStores();
    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupStore(false);

    EXPECT_THAT(MetadataRows(), ElementsAre("certs|cert.pem"));
    EXPECT_TRUE(fs::exists(DataRoot() + "/certs/file"));
    EXPECT_FALSE(fs::exists(DataRoot() + "/olddir"));
    EXPECT_FALSE(fs::exists(DataRoot() + "/retired"));
    // Names that would leave the data-file root remove nothing.
    EXPECT_TRUE(fs::exists(DataRoot()));
    EXPECT_TRUE(fs::exists(TarnTest::Rooted("/var/cache/keep")));
    EXPECT_TRUE(fs::exists(TarnTest::Rooted("/etc/keep")));

    std::vector<std::string> texts = Texts(OwnLines(capture));
    EXPECT_EQ(texts.front(), "Cleanup config store");
    EXPECT_EQ(texts.back(), "Cleanup data file store completed");
    EXPECT_THAT(texts, testing::IsSupersetOf({"Cleanup datafile directory: olddir", "Cleanup datafile directory: retired",
                                              "Cleanup datafile directory: ..", "Cleanup datafile directory: ../../../etc",
                                              "Cleanup datafile directory: ", "Cleanup datafile directory: ."}));
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Cleanup datafile directory: olddir"), 1);
    int refusals = 0;
    for (const auto& line : OwnLines(capture))
        if (line.priority == 0) {
            EXPECT_THAT(line.text, testing::StartsWith("Datafile cleanup refused to remove ["));
            ++refusals;
        }
    EXPECT_EQ(refusals, 4);

    // The directories are read before their rows are deleted.
    std::vector<std::string> sql = SqlTexts(capture);
    auto select = std::find(sql.begin(), sql.end(), kSelectDirs);
    auto remove = std::find(sql.begin(), sql.end(), kDeleteMetadata);
    ASSERT_NE(select, sql.end());
    EXPECT_LT(select, remove);
}

TEST(CleanupStore, FailuresOfOneStoreDoNotStopTheOther) {
    const CapturedLine config{2, "Cleanup config store"}, dataFile{2, "Cleanup data file store"};
    const CapturedLine sqlFailed{0, "ConfigStore cleanup failed: SQL command unsuccessful"};
    enum State { kNoStores, kSchemaStoreUnattachable, kSchemaStoreWithoutTables };
    struct Case {
        State state;
        bool boot;
        std::vector<CapturedLine> lines;
    } cases[] = {
        {kNoStores, false, {config, {0, "ConfigStore cleanup failed: could not connect"}, dataFile,
                            {0, "Datafile store cleanup failed: could not connect"}}},
        {kSchemaStoreUnattachable, true, {config, {0, "ConfigStore cleanup failed: could not attach to SchemaStore"},
                                          dataFile, {0, "Datafile store cleanup failed: could not attach to data file schemas"}}},
        // The statements fail, and the schema store is detached again each time.
        {kSchemaStoreWithoutTables, true, {config, sqlFailed, {2, "Cleanup config store completed"}, dataFile,
                                           {0, "Datafile cleanup failed: SQL command unsuccessful"}}},
        {kSchemaStoreWithoutTables, false, {config, sqlFailed, {2, "Cleanup config store completed"}, dataFile,
                                            {0, "Datafile live cleanup failed: read dir SQL command unsuccessful"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back().text);
        TarnTest::ResetRoot();
        if (c.state != kNoStores) {
            ASSERT_EQ(DBStore::CreateDatabases(), 0);
        }
        if (c.state == kSchemaStoreUnattachable) fs::create_directories(SchemaDb());
        if (c.state == kSchemaStoreWithoutTables) Query(SchemaDb(), "CREATE TABLE Unrelated(x);");
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupStore(c.boot);
        EXPECT_EQ(OwnLines(capture), c.lines);
        if (c.state == kSchemaStoreWithoutTables) {
            const std::vector<std::string> sql = SqlTexts(capture);
            EXPECT_EQ(std::count(sql.begin(), sql.end(), "DETACH DATABASE ss;"), 2);
        }
    }
}

TEST(CleanupAutoConfig, ClearsTheAutomaticLayerAndDropsObjectsLeftEmpty) {
    CreateStores();
    Query(ConfigDb(),
          "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, AutoConfValue, UserValue, VitalValue, "
          "CachedValue, DesiredValue) VALUES"
          "('c','g','autoOnly','',  '1', NULL, NULL, NULL, NULL),"
          "('c','g','withUser','',  '1', '2',  NULL, NULL, NULL),"
          "('c','g','vital','',     '1', NULL, '3',  NULL, NULL),"
          "('c','g','cached','',    NULL, NULL, NULL, '4', NULL),"
          "('c','g','desired','',   '1', NULL, NULL, NULL, '5'),"
          "('c','g','nothing','',   NULL, NULL, NULL, NULL, NULL);");
    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupAutoConfig();
    EXPECT_THAT(Query(ConfigDb(), "SELECT Name, AutoConfValue FROM Config ORDER BY Name;"),
                ElementsAre("cached|NULL", "desired|NULL", "vital|NULL", "withUser|NULL"));
    EXPECT_THAT(OwnLines(capture), ElementsAre(CapturedLine{2, "Cleanup auto configurations"}));
    EXPECT_THAT(SqlTexts(capture),
                testing::IsSupersetOf({"update config set autoconfvalue=null;",
                                       "delete from config where uservalue is null and vitalvalue is null and "
                                       "cachedvalue is null and DesiredValue is null;"}));
}

TEST(CleanupAutoConfig, FailuresThrowAndKeepWhatTheFirstStatementDid) {
    {
        TarnPlatform::Capture capture;
        EXPECT_NO_THROW(TarnConfigStore::CleanupAutoConfig());
        EXPECT_THAT(OwnLines(capture), ElementsAre(CapturedLine{2, "Cleanup auto configurations"},
                                                CapturedLine{0, "Cleanup failed: could not connect to ConfigStore"}));
    }
    CreateStores();
    Query(ConfigDb(),
          "INSERT INTO Config(Component, ConfigGroup, Name, AutoConfValue, UserValue) VALUES('c','g','n','1','2');"
          "CREATE TRIGGER NoDelete BEFORE DELETE ON Config BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    Query(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, AutoConfValue) VALUES('c','g','empty','1');");
    EXPECT_EQ(TarnTest::Thrown(TarnConfigStore::CleanupAutoConfig), "ConfigStoreException 2000 Error cleaning up config.");
    EXPECT_THAT(Query(ConfigDb(), "SELECT Name, AutoConfValue FROM Config ORDER BY Name;"),
                ElementsAre("empty|NULL", "n|NULL"));

    Query(ConfigDb(), "DROP TABLE Config;");
    EXPECT_EQ(TarnTest::Thrown(TarnConfigStore::CleanupAutoConfig),
              "ConfigStoreException 2000 Error removing auto configuration value.");
}

} // namespace
