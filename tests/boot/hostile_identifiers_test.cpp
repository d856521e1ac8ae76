// Hostile texts as component, group, name, identifier and data-file names
// through every operation that puts them into a statement: the tables must
// hold exactly the intended rows afterwards, byte for byte.
#include <filesystem>
#include <sqlite3.h>

#include "boot/load_store_fixture.h"
#include "maintenance/cleanup_fixture.h"
#include "tarn/boot_state.h"
#include "tarn/cleanup.h"
#include "tarn/rapidjson.h"

namespace {

namespace fs = std::filesystem;
using namespace CleanupTest;
using LoadStoreTest::Contains;

const std::string kNul("nul\0inside", 10);
constexpr char kInsertMetadata[] =
    "INSERT INTO DataFileMetadata(Component, Key, DirName, FileName) VALUES (?, 'k', ?, ?);";
constexpr char kInsertDataFileSchema[] =
    "INSERT INTO DataFileSchema(CrateId, Component, Key, Version) VALUES ('c', ?, 'k', '1');";

const std::vector<std::string> kCorpus = {"O'Brien", "'", "''", "x'); DROP TABLE Config; --", "' OR '1'='1", "%s%n%x",
                                          "%1$s", "\xff\xfe", "\x80\xbf", "two\nlines", std::string(200 * 1024, '\'')};

std::string Hex(const std::string& text) {
    std::string hex;
    for (unsigned char c : text) hex += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    return hex;
}

// Binds the values with their lengths, so texts keep their NUL bytes.
void Insert(const std::string& path, const std::string& sql, const std::vector<std::string>& values) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
    for (size_t i = 0; i < values.size(); ++i)
        sqlite3_bind_text(stmt, int(i + 1), values[i].data(), int(values[i].size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE) << sql;
    sqlite3_finalize(stmt);
}

// Every object of the corpus with a schema (not restored, managed by the
// host's apply), one without a schema and one with an automatic value only.
void SeedConfigStore() {
    LoadStoreTest::RunSql(ConfigDb(), "DELETE FROM Config;");  // without the sample's objects
    for (const std::string& text : kCorpus) {
        Insert(SchemaDb(), "INSERT INTO ConfigSchema(Component, ConfigGroup, Name, NoRestore, DSPIntegrated, "
                           "SchemaType) VALUES (?, ?, ?, 1, 1, 0);", {text, text, text});
        for (const std::string& group : {text, text + "'"})
            Insert(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, UserValue, DesiredValue, "
                               "Success) VALUES (?, ?, ?, ?, '1', '2', 0);", {text, group, text, text});
        Insert(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, AutoConfValue) VALUES (?, ?, ?, '3');",
               {text, text, text + "~"});
    }
}

// One row per text and format, "@" standing for the text in hex; sorted.
std::vector<std::string> Expected(const std::vector<std::string>& formats, const std::vector<std::string>& texts = kCorpus) {
    std::vector<std::string> rows;
    for (const std::string& format : formats)
        for (const std::string& text : texts) {
            rows.push_back(format);
            for (size_t at; (at = rows.back().find('@')) != std::string::npos;) rows.back().replace(at, 1, Hex(text));
        }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A host ready for a load.
using HostileIdentifiers = LoadStoreTest::LoadStoreHost;

int ShowJson() {
    return std::system(("'" TARN_CLI "' --root '" + TarnTest::Root() + "' show --json >'" + TarnTest::Root() + "/out'").c_str());
}

TEST_F(HostileIdentifiers, ConfigRowsKeepExactlyTheirObjectsThroughShowCleanupAndBoot) {
    SeedConfigStore();
    std::vector<std::string> failed, shownKeys;
    for (const auto& f : TarnConfigStore::GetBootTimeRestoreFailures())
        failed.push_back(Hex(f.component) + "|" + Hex(f.configGroup) + "|" + Hex(f.name));
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, Expected({"@|@|@"}));

    ASSERT_EQ(ShowJson(), 0);
    rapidjson::Document shown;
    shown.Parse(TarnTest::ReadFile(TarnTest::Root() + "/out"));
    ASSERT_TRUE(shown.IsArray());
    for (const auto& o : shown.GetArray()) {
        shownKeys.emplace_back();
        for (const char* member : {"component", "group", "name", "identifier"})
            shownKeys.back() += Hex(std::string(o[member].GetString(), o[member].GetStringLength())) + "|";
    }
    std::sort(shownKeys.begin(), shownKeys.end());
    // JSON carries the texts that are not UTF-8 with U+FFFD for each bad byte.
    std::vector<std::string> inJson = kCorpus;
    for (std::string& text : inJson)
        if (text == "\xff\xfe" || text == "\x80\xbf") text = "\uFFFD\uFFFD";
    EXPECT_EQ(shownKeys, Expected({"@|@|@|@|", "@|@27|@|@|", "@|@|@7E||"}, inJson));

    // An upgrade boot: automatic values and objects without a schema go,
    // desired values become user values.
    MakeUpgradeBoot();
    ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
    EXPECT_EQ(Query(ConfigDb(), "SELECT hex(Component)||'|'||hex(ConfigGroup)||'|'||hex(Name)||'|'||hex(Identifier)||"
                                "'|'||UserValue||'|'||ifnull(DesiredValue,'-')||'|'||Success FROM Config ORDER BY 1;"),
              Expected({"@|@|@|@|2|-|1"}));
}

TEST_F(HostileIdentifiers, DataFileNamesKeepTheirFilesAndLoseOnlyTheirStaleRows) {
    Insert(SchemaDb(), kInsertDataFileSchema, {"c'"});
    std::vector<std::string> onDisk;  // the names a file system can hold; the others have rows only
    for (const std::string& text : kCorpus) {
        Insert(DataFileDb(), kInsertMetadata, {"c'", text, text});
        Insert(DataFileDb(), kInsertMetadata, {"c'", text, "gone'"});
        Insert(DataFileDb(), kInsertMetadata, {"orphan'", text + "~", "f"});  // no schema: row and directory go
        if (text.size() > 200) continue;
        onDisk.push_back(text);
        Touch(DataRoot() + "/" + text + "/" + text);
        Touch(DataRoot() + "/" + text + "/stray");
        Touch(DataRoot() + "/" + text + "~/f");
    }
    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupStore(false);
    TarnConfigStore::CleanupDataFiles();

    EXPECT_EQ(Query(DataFileDb(), "SELECT hex(Component)||'|'||hex(DirName)||'|'||hex(FileName) FROM "
                                  "DataFileMetadata ORDER BY 1;"), Expected({"6327|@|@"}, onDisk));
    const auto lines = Texts(OwnLines(capture));
    for (const std::string& text : onDisk) {
        SCOPED_TRACE(text);
        const std::string dir = DataRoot() + "/" + text;
        EXPECT_TRUE(fs::exists(dir + "/" + text) && !fs::exists(dir + "/stray") && !fs::exists(dir + "~"));
        EXPECT_TRUE(Contains(lines, "Cleanup datafile directory: " + text + "~"));
    }
    EXPECT_TRUE(TarnTest::Events(capture).empty());
}

// Key-value records and schemas, the latter found under their exact key only.
TEST_F(HostileIdentifiers, KeyValueRecordsAndSchemasKeepTheirExactKeys) {
    std::vector<std::string> texts = kCorpus;
    texts.insert(texts.end(), {kNul, "nul"});  // a NUL byte must not cut the first to the second
    auto conn = DBStore::GetConnection(DBStore::CONFIG_STORE);
    auto store = TarnSchemaStore::SchemaStore::GetStore();
    for (const std::string& text : texts) {
        SCOPED_TRACE(Hex(text).substr(0, 40));
        std::string value;
        DBStore::WriteKeyValue(text, text + "=" + text, conn);
        EXPECT_EQ(DBStore::ReadKeyValue(text, &value, conn), 0);
        EXPECT_EQ(Hex(value), Hex(text + "=" + text));

        rapidjson::StringBuffer entry;
        rapidjson::Writer<rapidjson::StringBuffer> w(entry);
        w.StartObject();
        for (const char* member : {"component", "group", "key", "version"}) w.Key(member), w.String(text);
        w.Key("schema"), w.StartObject(), w.EndObject(), w.EndObject();
        EXPECT_EQ(TarnSchemaStore::SetSchema(text, text, text, text, entry.GetString(), store, false), 0);
        EXPECT_TRUE(TarnSchemaStore::GetSchema(text, text, text, store));
        EXPECT_FALSE(TarnSchemaStore::GetSchema(text, text, text + "'", store));
    }
    EXPECT_EQ(Query(ConfigDb(), "SELECT count(*) FROM KVTable WHERE Key <> 'BOOT_FS_UUID';"),
              std::vector<std::string>{std::to_string(texts.size())});
    EXPECT_EQ(Query(SchemaDb(), "SELECT hex(CrateId)||'|'||hex(Component)||'|'||hex(ConfigGroup)||'|'||hex(Name) "
                                "FROM ConfigSchema WHERE CrateId <> 'loadtest' ORDER BY 1;"),
              Expected({"@|@|@|@"}, texts));
}

// A row callback takes texts as C strings, so a NUL byte inside one would
// shorten it to another name: the reading operations refuse such a row.
TEST_F(HostileIdentifiers, NulInsideIsRefusedNeverShortened) {
    Insert(SchemaDb(), "INSERT INTO ConfigSchema(Component, ConfigGroup, Name, DSPIntegrated, SchemaType) "
                       "VALUES (?, 'g', 'n', 1, 0);", {kNul});
    Insert(ConfigDb(), "INSERT INTO Config(Component, ConfigGroup, Name, UserValue, Success) "
                       "VALUES (?, 'g', 'n', '1', 0);", {kNul});
    EXPECT_THROW(TarnConfigStore::GetBootTimeRestoreFailures(), TarnConfigStore::ConfigStoreException);
    EXPECT_NE(ShowJson(), 0);

    Insert(SchemaDb(), kInsertDataFileSchema, {"c"});
    Insert(DataFileDb(), kInsertMetadata, {"c", "nul", "f"});  // a live directory whose name a NUL would cut to
    Insert(DataFileDb(), kInsertMetadata, {"c", "nul", kNul});
    Insert(DataFileDb(), kInsertMetadata, {"orphan", kNul, "f"});
    Touch(DataRoot() + "/nul/f");
    TarnPlatform::Capture capture;
    TarnConfigStore::CleanupStore(false);
    TarnConfigStore::CleanupDataFiles();
    EXPECT_TRUE(fs::exists(DataRoot() + "/nul/f"));
    EXPECT_EQ(Query(DataFileDb(), "SELECT count(*) FROM DataFileMetadata;"), std::vector<std::string>{"3"});
    EXPECT_TRUE(Contains(Texts(OwnLines(capture)), "Datafile live cleanup failed: read dir SQL command unsuccessful"));
    EXPECT_EQ(TarnTest::Events(capture), std::vector<std::string>{"evt.user.cs.dfs.cleanup.error: Error cleaning up Datafile store."});
}

} // namespace
