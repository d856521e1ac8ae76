// Subcommands of the management CLI. Each takes the arguments after its name
// and returns the program's exit status; a failure of the store is thrown
// and reported by main, and so are wrong arguments (UsageError).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "tarn/store_lock.h"

namespace TarnCli {

struct Command {
    const char* name;
    const char* synopsis;  // arguments, for usage lines
    const char* summary;   // one line, for the command list
    const char* details;   // further help text; may be empty
    int (*run)(const Args& args);
};

const std::vector<Command>& Commands();

int RunAgent(const Args& args);
int RunBoot(const Args& args);
int RunSetupRamdisk(const Args& args);
int RunCreate(const Args& args);
int RunBackup(const Args& args);
int RunBootMode(const Args& args);
int RunAutoconf(const Args& args);
int RunWarden(const Args& args);
int RunBootState(const Args& args);
int RunApplyRecord(const Args& args);
int RunRestoreFailures(const Args& args);
int RunCleanup(const Args& args);
int RunCrateFiles(const Args& args);
int RunShow(const Args& args);
int RunDesired(const Args& args);
// desired export [--file F], with the arguments after "export".
// desired export: the document to standard output, or replacing file.
int ExportDesired(const std::string& file);
int RunGet(const Args& args);
int RunSet(const Args& args);
int RunPlan(const Args& args);
int RunProcessSchemas(const Args& args);
int RunRefresh(const Args& args);
int RunSchemas(const Args& args);
int RunImage(const Args& args);
int RunTrackFiles(const Args& args);
int RunFilterSticky(const Args& args);
int RunUnpackPayload(const Args& args);
int RunGenerations(const Args& args);
int RunRollback(const Args& args);

// Prints "usage: tarn-configstore [--root DIR] <synopsis>" for the command to
// stderr; returns 2.
int Usage(const Command& command);
const Command& FindCommand(const std::string& name);

// Checks that the arguments are none or the one option of a listing,
// "--json" (throws UsageError otherwise); json says whether it was given.
bool OnlyJsonOption(const Args& args, bool& json);

// A decimal count from 0 to most.
bool ParseCount(const std::string& text, int most, int* value);

// Holds the store's writer lock for the running command, named in the lock
// by its process and command line. Waits up to wait (negative: without
// limit, saying on standard error whom it waits for); throws when the lock
// stays taken.
std::unique_ptr<TarnConfigStore::StoreLock> LockStore(
    std::chrono::milliseconds wait = TarnConfigStore::STORE_LOCK_WAIT);
// The command line the program was started with, for LockStore.
void SetCommandLine(int argc, char** argv);

// True when "-h" or "--help" comes before any "--"; prints the command's help.
bool WantsHelp(const Command& command, const Args& args);

} // namespace TarnCli
