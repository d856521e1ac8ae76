// A configuration store of many Config rows whose values look like the
// store's, in either shape a host's store has, for the backup benchmarks.
#pragma once

#include <filesystem>
#include <set>
#include <sqlite3.h>
#include <string>

#include "sqlite_file.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace TarnBench {

// How a store's rows fall into objects: many objects of a few instances
// each, or a few objects of 25,000 instances each (the last one short when
// the rows do not fill it).
enum class Shape { kManyObjects = 0, kFewObjects = 1 };

inline int InstancesPerObject(Shape shape) { return shape == Shape::kManyObjects ? 10 : 25000; }

inline const char* ShapeName(Shape shape) {
    return shape == Shape::kManyObjects ? "many objects of 10" : "few objects of 25,000";
}

// A configuration store with `rows` rows whose values look like the store's:
// a user value on every row, vital and auto-configured values on some.
inline void CreateStore(const std::string& path, int rows, Shape shape = Shape::kManyObjects) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    Database db = Open(path);
    using namespace TarnConfigStore;
    for (const char* sql : {CREATE_KVTABLE, CREATE_CONFIG_TABLE, CREATE_UPDATE_REVISION_TRIGGER,
                            CREATE_UPDATE_MODIFIED_TIME_TRIGGER, CREATE_DEFAULT_CONFIG_TABLE,
                            CREATE_DESIRED_USER_CONFIG_TABLE, CREATE_UPGRADE_STATUS_TABLE, "BEGIN;"})
        Exec(db.get(), sql);

    const char* insert =
        "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, CreationTime, Version, AutoConfValue, "
        "UserValue, VitalValue) VALUES(?, ?, ?, ?, datetime(CURRENT_TIMESTAMP), '8.0.2', ?, ?, ?);";
    Statement stmt = Prepare(db.get(), insert);

    static const char* const components[] = {"network", "storage", "system", "security",
                                             "services", "kernel", "hardware", "advanced"};
    const int instances = InstancesPerObject(shape);
    for (int i = 0; i < rows; ++i) {
        const int object = i / instances;
        const std::string group = "group_" + std::to_string(object / 8 % 25);
        const std::string name = "object_" + std::to_string(object);
        const std::string id = "instance-" + std::to_string(i % instances);
        const std::string user =
            "{\"enabled\": " + std::string(i % 3 ? "true" : "false") + ", \"name\": \"" + name + "-" +
            std::to_string(i) + "\", \"mtu\": " + std::to_string(1500 + i % 7500) +
            ", \"servers\": [\"10.0." + std::to_string(i % 256) + ".1\", \"10.0." + std::to_string(i % 256) +
            ".2\"], \"options\": {\"retries\": " + std::to_string(i % 10) +
            ", \"timeout\": 30, \"mode\": \"active\"}}";
        const std::string vital = "{\"uuid\": \"5f1c2a7e-" + std::to_string(100000 + i) + "-4a1b\"}";
        const std::string autoConf = "{\"detected\": true, \"slot\": " + std::to_string(i % 64) + "}";
        sqlite3_bind_text(stmt.get(), 1, components[object % 8], -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt.get(), 2, group.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt.get(), 3, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt.get(), 4, id.c_str(), -1, SQLITE_TRANSIENT);
        if (i % 4 == 0)
            sqlite3_bind_text(stmt.get(), 5, autoConf.c_str(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(stmt.get(), 5);
        sqlite3_bind_text(stmt.get(), 6, user.c_str(), -1, SQLITE_TRANSIENT);
        if (i % 5 == 0)
            sqlite3_bind_text(stmt.get(), 7, vital.c_str(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(stmt.get(), 7);
        Check(sqlite3_step(stmt.get()), db.get(), "insert");
        sqlite3_reset(stmt.get());
    }
    Exec(db.get(), "COMMIT;");
}

// A store of `rows` rows of `shape` beside the live store, made on first use.
inline std::string SampleStore(int rows, Shape shape) {
    static std::set<std::string> made;
    const std::string path = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH) + "-" + std::to_string(rows) +
                             (shape == Shape::kManyObjects ? "-many" : "-few");
    if (made.insert(path).second) CreateStore(path, rows, shape);
    return path;
}

// The backup that the next boot restores.
inline std::string BackupStore() {
    return TarnPlatform::HostPath("/var/lib/halden/configstore/backup/current-store-1");
}

} // namespace TarnBench
