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

using namespace CleanupTest;
using TarnPlatform::CapturedLine;
using testing::ElementsAre;
namespace fs = std::filesystem;

namespace {

// netd/network/trunk and the data-file key netd/tls-cert have schemas;
// the rest do not. The rows without a schema name two directories, one of
// them twice, plus names that would reach outside the data-file root.
TEST(CleanupStore, DeletesRowsWithoutSchemaAndLiveRemovesExactlyTheirDirectories) {
    for (bool boot : {true, false}) {
        SCOPED_TRACE(boot);
        TarnTest::ResetRoot();
        CreateStores();
        Query(SchemaDb(), "INSERT INTO ConfigSchema(CrateId, Component, ConfigGroup, Name, Value) VALUES"
                          "('c','netd','network','trunk','{}'); INSERT INTO DataFileSchema VALUES('c','netd','tls-cert','1');");
        Query(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue) VALUES"
                          "('netd','network','trunk','','{}'),('netd','network','gone','a','{}'),('old','grp','obj','','{}');");
        Query(DataFileDb(), "INSERT INTO DataFileMetadata VALUES('netd','tls-cert','certs','cert.pem'),"
                            "('old','key1','olddir','x'),('old','key2','olddir','y'),('old','key3','retired','z'),"
                            "('evil','k','..',''),('evil','k2','../../../etc',''),('evil','k3','',''),('evil','k4','.','');");
        for (const char* dir : {"certs", "olddir", "retired"}) Touch(DataRoot() + "/" + dir + "/file");
        Touch(TarnTest::Rooted("/var/cache/keep"));
        Touch(TarnTest::Rooted("/etc/keep"));

        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupStore(boot);
        EXPECT_THAT(Query(ConfigDb(), "SELECT Component, Name FROM Config;"), ElementsAre("netd|trunk"));
        EXPECT_THAT(Query(DataFileDb(), "SELECT DirName, FileName FROM DataFileMetadata;"), ElementsAre("certs|cert.pem"));
        EXPECT_TRUE(fs::exists(DataRoot() + "/certs/file"));
        EXPECT_EQ(fs::exists(DataRoot() + "/olddir") + fs::exists(DataRoot() + "/retired"), boot ? 2 : 0);
        // Names that would leave the data-file root remove nothing.
        for (const char* kept : {"/var/cache/datafiles", "/var/cache/keep", "/etc/keep"})
            EXPECT_TRUE(fs::exists(TarnTest::Rooted(kept))) << kept;

        const std::vector<std::string> texts = Texts(OwnLines(capture), 2);
        EXPECT_EQ(texts.front() + "," + texts.back(), "Cleanup config store,Cleanup data file store completed");
        if (boot) continue;
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "Cleanup datafile directory: olddir"), 1);
        for (const char* dir : {"retired", "..", "../../../etc", "", "."})
            EXPECT_THAT(texts, testing::Contains(std::string("Cleanup datafile directory: ") + dir));
        EXPECT_THAT(Texts(OwnLines(capture), 0),
                    testing::AllOf(testing::SizeIs(4), testing::Each(testing::StartsWith("Datafile cleanup refused to remove ["))));
    }
}

TEST(CleanupStore, FailuresOfOneStoreDoNotStopTheOther) {
    const CapturedLine config{2, "Cleanup config store"}, dataFile{2, "Cleanup data file store"},
        completed{2, "Cleanup config store completed"}, sqlFailed{0, "ConfigStore cleanup failed: SQL command unsuccessful"};
    enum State { kNoStores, kSchemaStoreUnattachable, kSchemaStoreWithoutTables };
    const struct {
        State state;
        bool boot;
        std::vector<CapturedLine> lines;
    } cases[] = {
        {kNoStores, false, {config, {0, "ConfigStore cleanup failed: could not connect"}, dataFile,
                            {0, "Datafile store cleanup failed: could not connect"}}},
        {kSchemaStoreUnattachable, true, {config, {0, "ConfigStore cleanup failed: could not attach to SchemaStore"},
                                          dataFile, {0, "Datafile store cleanup failed: could not attach to data file schemas"}}},
        // The statements fail, and the schema store is detached again each time.
        {kSchemaStoreWithoutTables, true, {config, sqlFailed, completed, dataFile,
                                           {0, "Datafile cleanup failed: SQL command unsuccessful"}}},
        {kSchemaStoreWithoutTables, false, {config, sqlFailed, completed, dataFile,
                                            {0, "Datafile live cleanup failed: read dir SQL command unsuccessful"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.back().text);
        TarnTest::ResetRoot();
        if (c.state != kNoStores) { ASSERT_EQ(DBStore::CreateDatabases(), 0); }
        if (c.state == kSchemaStoreUnattachable) fs::create_directories(SchemaDb());
        if (c.state == kSchemaStoreWithoutTables) Query(SchemaDb(), "CREATE TABLE Unrelated(x);");
        TarnPlatform::Capture capture;
        TarnConfigStore::CleanupStore(c.boot);
        EXPECT_EQ(OwnLines(capture), c.lines);
        const std::vector<std::string> sql = SqlTexts(capture);
        EXPECT_EQ(std::count(sql.begin(), sql.end(), "DETACH DATABASE ss;"), c.state == kSchemaStoreWithoutTables ? 2 : 0);
    }
}

TEST(CleanupAutoConfig, ClearsTheAutomaticLayerDropsObjectsLeftEmptyAndThrowsOnFailure) {
    {
        TarnPlatform::Capture capture;
        EXPECT_NO_THROW(TarnConfigStore::CleanupAutoConfig());
        EXPECT_THAT(OwnLines(capture), ElementsAre(CapturedLine{2, "Cleanup auto configurations"},
                                                   CapturedLine{0, "Cleanup failed: could not connect to ConfigStore"}));
    }
    CreateStores();
    Query(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, AutoConfValue, UserValue, VitalValue, "
                      "CachedValue, DesiredValue) VALUES('c','g','autoOnly','','1',NULL,NULL,NULL,NULL),"
                      "('c','g','withUser','','1','2',NULL,NULL,NULL),('c','g','vital','','1',NULL,'3',NULL,NULL),"
                      "('c','g','cached','',NULL,NULL,NULL,'4',NULL),('c','g','desired','','1',NULL,NULL,NULL,'5'),"
                      "('c','g','nothing','',NULL,NULL,NULL,NULL,NULL);");
    TarnConfigStore::CleanupAutoConfig();
    EXPECT_THAT(Query(ConfigDb(), "SELECT Name, AutoConfValue FROM Config ORDER BY Name;"),
                ElementsAre("cached|NULL", "desired|NULL", "vital|NULL", "withUser|NULL"));

    // A failed delete keeps what the first statement did.
    Query(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, AutoConfValue) VALUES('c','g','empty','1');"
                      "CREATE TRIGGER NoDelete BEFORE DELETE ON Config BEGIN SELECT RAISE(ABORT, 'kept'); END;");
    EXPECT_EQ(TarnTest::Thrown(TarnConfigStore::CleanupAutoConfig), "ConfigStoreException 2000 Error cleaning up config.");
    EXPECT_THAT(Query(ConfigDb(), "SELECT Name, AutoConfValue FROM Config WHERE Name = 'empty';"), ElementsAre("empty|NULL"));
    Query(ConfigDb(), "DROP TABLE Config;");
    EXPECT_EQ(TarnTest::Thrown(TarnConfigStore::CleanupAutoConfig),
              "ConfigStoreException 2000 Error removing auto configuration value.");
}

} // namespace
