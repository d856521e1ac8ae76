// The file declarations of installed crates, by persistence category.
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tarn/crate_files.h"
#include "tarn/platform/schema_store.h"

using TarnConfigStore::CrateFileMap;
using TarnConfigStore::GetCrateFiles;
using TarnSchemaStore::SchemaObject;
using TarnSchemaStore::SchemaObjectId;
using TarnSchemaStore::SchemaObjectIdSet;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Pair;
using testing::UnorderedElementsAre;

namespace {

void Register(const std::string& group, const std::string& file) {
    const std::string entry = R"({"component": "netd", "group": ")" + group +
                              R"(", "key": "files", "version": "1.0", "file": )" + file + "}";
    TarnSchemaStore::SetSchema("netd-files", "netd", group, "files", entry, TarnSchemaStore::SchemaStore::GetStore(),
                               false);
}

TEST(CrateFiles, RegisteredDeclarationsByCategoryInStoreOrder) {
    EXPECT_THAT(GetCrateFiles(), UnorderedElementsAre(Pair("vital", IsEmpty()), Pair("cached", IsEmpty()),
                                                      Pair("config", IsEmpty())));

    Register("g5", R"({"category": "config", "path": "/etc/netd/netd.conf"})");
    Register("g1", R"({"category": "cached", "path": "/var/netd/leases"})");
    Register("g2", R"({"category": "vital", "path": "/etc/netd/keys"})");
    Register("g3", R"({"enabled": false, "category": "config", "path": "/etc/netd/disabled"})");
    Register("g4", R"({"enabled": true, "category": "cached", "path": "/var/netd/leases"})");
    // An ordinary object is no file declaration.
    TarnSchemaStore::SetSchema("netd-files", "netd", "g0", "vswitch",
                               R"({"component": "netd", "group": "g0", "key": "vswitch", "version": "1.0",
                                   "schema": {"type": "object"}})",
                               TarnSchemaStore::SchemaStore::GetStore(), false);

    EXPECT_THAT(GetCrateFiles(), UnorderedElementsAre(Pair("vital", ElementsAre("/etc/netd/keys")),
                                                      Pair("cached", ElementsAre("/var/netd/leases", "/var/netd/leases")),
                                                      Pair("config", ElementsAre("/etc/netd/netd.conf"))));
}

// A schema object that answers the file questions as told; status 1 means
// the question fails.
class FileObject : public SchemaObject {
public:
    FileObject(int enabledStatus, uint8_t enabled, int categoryStatus, std::string category, int pathStatus,
               std::string path)
        : m_enabledStatus(enabledStatus), m_enabled(enabled), m_categoryStatus(categoryStatus),
          m_category(std::move(category)), m_pathStatus(pathStatus), m_path(std::move(path)) {}

    int GetFileEnabled(uint8_t& enabled) const override {
        if (m_enabledStatus == 0) enabled = m_enabled;
        return m_enabledStatus;
    }
    int GetFileCategory(std::string& category) const override {
        if (m_categoryStatus == 0) category = m_category;
        return m_categoryStatus;
    }
    int GetFilePath(std::string& path) const override {
        if (m_pathStatus == 0) path = m_path;
        return m_pathStatus;
    }

    std::string GetIdField() const override { return ""; }
    const rapidjson::Value& GetUserSchema() const override { return m_none; }
    const rapidjson::Value& GetSchemaDocument() const override { return m_none; }
    std::string GetVersion() const override { return "1"; }
    bool IsMutableDefaultConfig() const override { return false; }
    bool IsNonSingleton() const override { return false; }
    std::vector<std::string> GetIdentifierList() const override { return {}; }
    SchemaObjectId GetId() const override { return SchemaObjectId("c", "g", "files"); }
    int GetKind() const override { return TarnSchemaStore::KIND_FILES; }

private:
    int m_enabledStatus;
    uint8_t m_enabled;
    int m_categoryStatus;
    std::string m_category;
    int m_pathStatus;
    std::string m_path;
    rapidjson::Value m_none;
};

class ListedStore : public TarnSchemaStore::SchemaStore {
public:
    explicit ListedStore(std::vector<std::shared_ptr<SchemaObject>> objects) : m_objects(std::move(objects)) {}
    std::vector<std::shared_ptr<SchemaObject>> GetSchemaObjects(const std::string& name) override {
        asked.push_back(name);
        return m_objects;
    }
    std::shared_ptr<SchemaObject> GetSchemaObject(const SchemaObjectId&) override { return nullptr; }
    SchemaObjectIdSet GetMutableDefaultConfigIds(bool) override { return {}; }
    SchemaObjectIdSet GetSchemaObjectIdsByKind(int) override { return {}; }
    SchemaObjectIdSet GetSchemaObjectIds(bool) override { return {}; }
    void BeginUpdate() override {}
    void CommitUpdate() override {}
    void AbortUpdate() override {}
    std::unordered_set<std::string> GetSchemaFileIds() override { return {}; }
    void RemoveSchemaFiles(const std::unordered_set<std::string>&) override {}

    std::vector<std::string> asked;

private:
    std::vector<std::shared_ptr<SchemaObject>> m_objects;
};

TEST(CrateFiles, OnlyExactCategoriesOfObjectsThatAnswerEverything) {
    auto store = std::make_shared<ListedStore>(std::vector<std::shared_ptr<SchemaObject>>{
        std::make_shared<FileObject>(0, 1, 0, "vital", 0, "/z/second-in-name-order"),
        std::make_shared<FileObject>(0, 1, 0, "Vital", 0, "/other-case"),
        std::make_shared<FileObject>(0, 1, 0, "state", 0, "/unknown-category"),
        std::make_shared<FileObject>(1, 1, 0, "vital", 0, "/enabled-fails"),
        std::make_shared<FileObject>(0, 0, 0, "vital", 0, "/disabled"),
        std::make_shared<FileObject>(0, 1, 1, "vital", 0, "/category-fails"),
        std::make_shared<FileObject>(0, 1, 0, "vital", 1, "/path-fails"),
        std::make_shared<FileObject>(0, 1, 0, "vital", 0, "/a/first-in-name-order"),
        std::make_shared<FileObject>(0, 1, 0, "config", 0, ""),
    });
    CrateFileMap files = GetCrateFiles(store);
    EXPECT_THAT(store->asked, ElementsAre("files"));
    EXPECT_THAT(files, UnorderedElementsAre(Pair("vital", ElementsAre("/z/second-in-name-order", "/a/first-in-name-order")),
                                            Pair("cached", IsEmpty()), Pair("config", ElementsAre(""))));
}

} // namespace
