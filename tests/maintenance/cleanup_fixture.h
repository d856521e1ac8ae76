// The three store databases with rows written straight into their tables,
// and a data-file root on disk, for the cleanup tests.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/captured_line_printer.h"
#include "support/test_support.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/schema_store.h"

namespace CleanupTest {

inline std::string ConfigDb() { return TarnTest::Rooted("/etc/halden/configstore/current-store-1"); }
inline std::string DataFileDb() { return TarnTest::Rooted("/etc/halden/configstore/datafile-store"); }
inline std::string SchemaDb() { return TarnTest::Rooted("/etc/halden/schemastore/schema-store-1"); }
inline std::string DataRoot() { return TarnTest::Rooted("/var/cache/datafiles"); }

// Result rows, columns joined by "|" (NULL as "NULL").
inline std::vector<std::string> Query(const std::string& path, const std::string& sql) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close_v2);
    std::vector<std::string> rows;
    auto collect = [](void* out, int n, char** values, char**) {
        std::string row;
        for (int i = 0; i < n; ++i) row += std::string(i ? "|" : "") + (values[i] ? values[i] : "NULL");
        static_cast<std::vector<std::string>*>(out)->push_back(row);
        return 0;
    };
    char* error = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), collect, &rows, &error) != SQLITE_OK) {
        ADD_FAILURE() << path << ": " << (error ? error : "?") << " in " << sql;
        sqlite3_free(error);
    }
    return rows;
}

// The configuration and data-file stores and the schema store, all empty.
inline void CreateStores() {
    ASSERT_EQ(DBStore::CreateDatabases(), 0);
    TarnSchemaStore::SchemaStore::GetStore();
}

inline void Touch(const std::string& path) { TarnTest::WriteFile(path, path); }

// The lines the operation logged itself, without the database service's own
// diagnostics of a failed statement.
inline std::vector<TarnPlatform::CapturedLine> OwnLines(const TarnPlatform::Capture& capture) {
    std::vector<TarnPlatform::CapturedLine> lines;
    for (const auto& line : capture.Logs())
        if (line.text.rfind("DBStore: ", 0) != 0) lines.push_back(line);
    return lines;
}

// The log lines' texts, for comparisons that ignore priority.
inline std::vector<std::string> Texts(const std::vector<TarnPlatform::CapturedLine>& lines) {
    std::vector<std::string> texts;
    for (const auto& line : lines) texts.push_back(line.text);
    return texts;
}

inline std::vector<std::string> SqlTexts(const TarnPlatform::Capture& capture) {
    std::vector<std::string> texts;
    for (const auto& sql : capture.Sql()) texts.push_back(sql.text);
    return texts;
}

inline std::vector<std::string> EventIds(const TarnPlatform::Capture& capture) {
    std::vector<std::string> ids;
    for (const auto& event : capture.Events()) ids.push_back(event.id);
    return ids;
}

} // namespace CleanupTest
