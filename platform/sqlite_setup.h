// How this process's SQLite is set up for the store (sqlite_setup.cpp).
#pragma once

namespace DBStore {

// Logs, once per process, a warning when SQLite had started before this
// library was loaded, so the set-up could not be made.
void ReportSqliteSetup();

} // namespace DBStore
