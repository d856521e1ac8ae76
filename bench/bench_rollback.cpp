// `tarn-configstore rollback 1` as an operator runs it, against the integrity
// check of the generation it rolls back to (DBStore::Check in this process).
// The program runs as a child on a private host root; its CPU time (user and
// system) comes from wait4. Each store holds `rows` Config rows in one of two
// shapes: many objects of 4 instances each, or 4 objects of rows/4 instances
// each (25,000 at 100,000 rows). Generation 1 is the store as made,
// generation 2 the store after a tenth of its rows changed, a twentieth
// removed and as many added; the rollback prints what the next boot changes
// against that live store. Medians of 5 runs, store on TMPDIR's file system.
//
//   bench_rollback [ROWS...]     (default 1,000, 10,000 and 100,000)
#include "fresh_process.h"
#include "private_root.h"
#include "sqlite_file.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "tarn/platform/db_store.h"
#include "tarn/platform/host_root.h"
#include "tarn/store_tables.h"

namespace {

constexpr int kRuns = 5;

double ProcessCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double CpuSeconds(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// The CPU time of one run of the program; exits when it fails.
double RunCli(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(TARN_CLI)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execv(TARN_CLI, argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "tarn-configstore %s failed\n", args.empty() ? "" : args[0].c_str());
        std::exit(1);
    }
    return CpuSeconds(usage);
}

void MakeStore(const std::string& path, int rows, bool manyObjects) {
    using namespace TarnBench;
    Database db = Open(path);
    for (const char* sql : {TarnConfigStore::CREATE_KVTABLE, TarnConfigStore::CREATE_CONFIG_TABLE,
                            TarnConfigStore::CREATE_UPDATE_REVISION_TRIGGER,
                            TarnConfigStore::CREATE_UPDATE_MODIFIED_TIME_TRIGGER,
                            TarnConfigStore::CREATE_DEFAULT_CONFIG_TABLE,
                            TarnConfigStore::CREATE_DESIRED_USER_CONFIG_TABLE,
                            TarnConfigStore::CREATE_UPGRADE_STATUS_TABLE, "BEGIN;"})
        Exec(db.get(), sql);
    Statement insert = Prepare(db.get(), "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, CreationTime, "
                                         "Version, UserValue) VALUES('net', 'g', ?1, ?2, '2026-12-06', '1', ?3);");
    const int perObject = manyObjects ? 4 : std::max(rows / 4, 1);
    for (int i = 0; i < rows; ++i) {
        const std::string name = "object_" + std::to_string(i / perObject);
        const std::string id = "instance-" + std::to_string(i % perObject);
        const std::string value = "{\"enabled\": true, \"mtu\": " + std::to_string(1500 + i % 7000) +
                                  ", \"servers\": [\"10.0.0.1\", \"10.0.0.2\"], \"name\": \"" + name + "\"}";
        sqlite3_bind_text(insert.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 2, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 3, value.c_str(), -1, SQLITE_TRANSIENT);
        Check(sqlite3_step(insert.get()), db.get(), "insert");
        sqlite3_reset(insert.get());
    }
    Exec(db.get(), "COMMIT;");
}

void Measure(int rows, bool manyObjects) {
    TarnBench::PrivateRoot root;
    const std::string live = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH);
    std::filesystem::create_directories(std::filesystem::path(live).parent_path());
    MakeStore(live, rows, manyObjects);
    const std::vector<std::string> onRoot{"--root", root.Path()};
    auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), onRoot.begin(), onRoot.end());
        return RunCli(args);
    };
    cli({"backup"});
    {
        TarnBench::Database db = TarnBench::Open(live);
        TarnBench::Exec(db.get(), "UPDATE Config SET UserValue = UserValue || ' ' WHERE rowid % 10 = 0;"
                                  "DELETE FROM Config WHERE rowid % 20 = 1;"
                                  "INSERT INTO Config(Component, ConfigGroup, Name, Identifier, CreationTime, Version, "
                                  "UserValue) SELECT 'new', ConfigGroup, Name, Identifier, CreationTime, Version, "
                                  "UserValue FROM Config WHERE rowid % 20 = 2;");
    }
    cli({"backup"});
    const std::string generation = TarnPlatform::HostPath("/var/lib/halden/configstore/backup/generations/1");
    std::vector<double> rollback, check;
    for (int r = 0; r < kRuns; ++r) {
        rollback.push_back(cli({"rollback", "1"}));
        const double start = ProcessCpu();
        if (!DBStore::Check(generation)) std::exit(1);
        check.push_back(ProcessCpu() - start);
    }
    std::sort(rollback.begin(), rollback.end());
    std::sort(check.begin(), check.end());
    const double r = rollback[kRuns / 2], c = check[kRuns / 2];
    std::printf("%7d rows, %-29s rollback %8.1f ms, integrity check %8.1f ms, ratio %.2f\n", rows,
                manyObjects ? "objects of 4 instances:" : "4 objects of rows/4 instances:", r * 1e3, c * 1e3, r / c);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000};
    for (int rows : sizes)
        for (bool many : {true, false})
            if (!TarnBench::InChild([&] { Measure(rows, many); })) return 1;
    return 0;
}
