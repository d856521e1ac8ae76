// The three store databases with rows written straight into their tables,
// and a data-file root on disk, for the cleanup tests.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tarn/platform/capture.h"
#include "tarn/platform/db_store.h"
#include "tarn/platform/schema_store.h"

namespace CleanupTest {

inline std::string ConfigDb() { return TarnTest::Rooted("/etc/halden/configstore/current-store-1"); }
inline std::string DataFileDb() { return TarnTest::Rooted("/etc/halden/configstore/datafile-store"); }
inline std::string SchemaDb() { return TarnTest::Rooted("/etc/halden/schemastore/schema-store-1"); }
inline std::string DataRoot() { return TarnTest::Rooted("/var/cache/datafiles"); }

using TarnTest::Events;
using TarnTest::Query;
using TarnTest::SqlTexts;
using TarnTest::Texts;

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

} // namespace CleanupTest
