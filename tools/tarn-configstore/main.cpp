// tarn-configstore: management CLI of the configuration store.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <unistd.h>

#include "commands.h"
#include "failure_causes.h"
#include "tarn/platform/host_root.h"
#include "write_check.h"

namespace TarnCli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"boot", "boot [--no-restore]", "load the store as the host's boot does",
         "Restores the store from its backups (not with --no-restore), refreshes the\n"
         "boot-time state and applies pending desired configuration. Lines go to the\n"
         "boot log /var/log/configstore-boot.log under the host root. Exit status 1 with\n"
         "the raised failure alert on standard error when the load fails; 3 when it ran\n"
         "but could not restore the backup and made a new store (standard error names\n"
         "the backup, and the generation to roll back to when a whole one is kept).", &RunBoot},
        {"setup-ramdisk", "setup-ramdisk", "mount the RAM disks of the live store and of its backups",
         "Needs the right to mount file systems.", &RunSetupRamdisk},
        {"create", "create", "create the store databases that are missing", "", &RunCreate},
        {"backup", "backup [--keep N] [SRC DST]",
         "copy a store database online (default: the live configuration store to its backup)",
         "Without SRC DST the live configuration store is copied to the backup that the\n"
         "next boot restores, kept as the next numbered generation in\n"
         "/var/lib/halden/configstore/backup/generations; --keep N keeps the newest N\n"
         "(1 to 1000, default 5) and names those it removed. A source that is missing,\n"
         "holds no tables or fails the integrity check is refused (exit 1): nothing is\n"
         "copied and no generation is removed.", &RunBackup},
        {"generations", "generations [--json]|diff A B [--json]", "list the kept generations of the backup, or compare two",
         "One line per generation, oldest first: number, time (UTC), boot file-system\n"
         "UUID and the rows changed since the generation before it, per table (+added\n"
         "~changed -removed). A generation that fails the integrity check is not listed\n"
         "(a line on standard error names it). The one the next boot restores says so\n"
         "(\"restoredNext\" in JSON). With --json one array of objects.\n"
         "diff A B: per object and instance, what differs in the user, vital and cached\n"
         "layers from generation A to generation B, shown as plan shows the next boot's\n"
         "changes (--json: the array of plan's \"changes\").", &RunGenerations},
        {"rollback", "rollback [--changes] [GEN]", "make the next boot restore an earlier generation",
         "Checks the generation's integrity (default: the newest one before the one the\n"
         "next boot restores that holds no pending desired configuration, so the boot\n"
         "undoes the last change rather than applying it again) and puts it in place\n"
         "as the backup the next boot restores. With --changes it also prints, per\n"
         "table, what that boot will change against the live store. Nothing changes in\n"
         "the live store until then; a backup before that boot replaces the\n"
         "rolled-back one.", &RunRollback},
        {"boot-mode", "boot-mode [N]", "print the boot mode of the next load, or set it to N",
         "Modes: 0 normal boot, 1 apply the stored desired configuration, 2 apply the\n"
         "boot configuration document, 3 apply the SmartNIC boot configuration.", &RunBootMode},
        {"autoconf", "autoconf start|end", "mark boot-time auto-configuration as running or ended", "", &RunAutoconf},
        {"warden", "warden on|off", "switch notification of the management daemon on or off", "", &RunWarden},
        {"boot-state", "boot-state cleanup",
         "record the boot file system's identity and clear the live-install marker", "", &RunBootState},
        {"apply-record", "apply-record [set TEXT|clear]", "print, set or reset the boot apply record",
         "Without arguments the record is printed as JSON. Put -- before a TEXT that\n"
         "starts with '-'.", &RunApplyRecord},
        {"restore-failures", "restore-failures", "list the objects whose boot-time apply failed",
         "One line per object: component/group/name.", &RunRestoreFailures},
        {"cleanup", "cleanup store|live-store|autoconf|datafiles", "remove what no schema describes",
         "store       objects and data-file metadata without a schema (as at an upgrade boot)\n"
         "live-store  the same, and the data directories of the metadata removed\n"
         "autoconf    the auto-configured values, and objects left without a value\n"
         "datafiles   data files and metadata rows that do not match each other", &RunCleanup},
        {"crate-files", "crate-files", "list the files installed crates declare",
         "One line per file: category (vital, cached, config), a tab, the path.", &RunCrateFiles},
        {"process-schemas", "process-schemas [CRATE_ID...]",
         "register the schema files of the crates and rebuild the default configuration",
         "Crate IDs are vendor_type_name_version. Without any, the installed crates are\n"
         "taken from the image database, as at boot. Registered files are not read again;\n"
         "registrations of files gone from the schema directory are removed. Exit status 1\n"
         "with the failure lines on standard error when a schema file failed (with crate\n"
         "IDs the first failing file stops the run).", &RunProcessSchemas},
        {"refresh", "refresh [--crate ID]... [--module PATH]...",
         "process the crates' schemas, then run the live-install upgrade modules",
         "What a live installation runs: process-schemas with the crate IDs, then each\n"
         "upgrade module in the order given. Exit status 1 with the failure lines on\n"
         "standard error when a schema file or a module failed.", &RunRefresh},
        {"schemas", "schemas [--json]", "list the registered schema objects and their schema files",
         "One line per object: component/group/name, a tab, the schema file. With --json\n"
         "one array of objects for scripts.", &RunSchemas},
        {"show", "show [--defaults] [--json]", "list the configuration objects with their layers",
         "With --defaults the default configuration (DefaultConfig) with its layers and\n"
         "schema version instead. With --json one array of objects for scripts, where\n"
         "an empty layer is null.", &RunShow},
        {"get", "get OBJECT[ID]", "print a configuration object's layers as JSON",
         "OBJECT is component/group/name (as schemas lists it); [ID] selects one instance\n"
         "of a multi-instance object by its identifier. Prints {\"user\", \"vital\",\n"
         "\"cached\"}, each layer's value or null, as the store reads them; for a\n"
         "multi-instance object without [ID] one such object per instance, by identifier.\n"
         "Exit status 1 with the reason for an object that is not registered or an\n"
         "instance (a singleton's value) the store does not hold.", &RunGet},
        {"set", "set OBJECT[ID] JSON", "write a configuration object's user value",
         "JSON, an object, becomes the user value of the singleton OBJECT, or of the\n"
         "instance its identifier member names ([ID] fills that member in when the value\n"
         "lacks it; a different one is refused). The value is checked against the object's\n"
         "user schema: on any error nothing is stored and every error is listed (exit 1).\n"
         "The instance keeps its automatic, vital and cached values and creation time, its\n"
         "revision rises by one, and a desired value pending for it goes. An object whose\n"
         "identifiers are generated gets a new instance when the value has none. The next\n"
         "boot restores the store from its backup: run 'backup' to keep the value.", &RunSet},
        {"desired", "desired validate [--smartnic] FILE|set [--smartnic] FILE|show [--json]|export [--file F]",
         "check a desired document, store it for the next boot, show what is stored, or export one",
         "validate FILE         checks the desired document {\"profile\": {component: {group:\n"
         "                      {key: value}}}} against the registered schemas; prints every\n"
         "                      error (object, instance, JSON pointer, reason); exit 1 when any;\n"
         "                      warns of members of the root beside \"profile\", which are ignored\n"
         "validate --smartnic FILE  checks a SmartNIC configuration as set --smartnic would;\n"
         "                      every failing object is named; exit 1 when any\n"
         "set FILE              validates it and, when valid, replaces the stored desired\n"
         "                      configuration with it for the next boot (boot mode 1),\n"
         "                      which applies it once 'backup' has saved it (the boot\n"
         "                      restores the store from its backup)\n"
         "set --smartnic FILE   stores the configuration of a SmartNIC host {component: {group:\n"
         "                      {key: value}}}; shared objects it leaves out are reset to their\n"
         "                      defaults or deleted at the next boot (boot mode 3)\n"
         "show [--json]         the stored rows with their boot action and layers, and the\n"
         "                      boot mode of the next load; an empty layer is null in JSON\n"
         "export [--file F]     the user configuration of the objects a desired document\n"
         "                      governs (dspIntegrated or mutable defaults) as a desired\n"
         "                      document; storing it with 'set' and booting changes nothing.\n"
         "                      With --file it replaces F whole (never a directory).\n"
         "Nothing changes in the configuration until the next boot. A refused document\n"
         "changes nothing (exit 1 with the reasons).", &RunDesired},
        {"plan", "plan [--no-restore] [--json]", "show what the next boot will do",
         "Runs the next boot (as 'boot' would, with --no-restore as 'boot --no-restore')\n"
         "on copies of the files it changes, in a scratch directory under /tmp that is\n"
         "removed afterwards; the host's files stay as they are. Prints the restore it\n"
         "does (the backup and its generation, the first-boot backup, or a new store and\n"
         "why), the boot mode it runs in or the failure that ends it, per object and\n"
         "instance each row it adds (+), changes (~) or removes (-) against the live\n"
         "store with its user, vital and cached layers, before -> after, and the system\n"
         "alerts and events it raises. With --json one object {\"restore\": {from, backup,\n"
         "generation}, \"bootMode\", \"failure\", \"changes\": [{component, group, name,\n"
         "identifier, change, layers: {layer: {before, after}}}], \"alerts\", \"events\"}.\n"
         "Upgrade modules run in the preview as in the boot; the listed files that no\n"
         "crate declares are not removed by it.", &RunPlan},
        {"image", "image crates [--json]|dump", "list the installed crates, or write the image dump file",
         "crates  one line per crate of the image database, by id: id, name, version,\n"
         "        vendor, restrictStickyFiles (0 or 1), payloads joined by ',', separated\n"
         "        by tabs; with --json one array of objects for scripts\n"
         "dump    writes /tmp/image-info.csv under the host root and prints its path\n"
         "Exit status 1 with the reason when the image database cannot be locked or read.", &RunImage},
        {"track-files", "track-files backup|non-schema [PATH...]", "write a tracking file of paths",
         "backup      /var/run/halden/files/backup-list, read by the host's backup tooling\n"
         "non-schema  /var/run/nonSchemaFiles, read by the store load at boot\n"
         "Paths come from the arguments or, with none, one per line from standard input;\n"
         "the file is written anew with one path per line (no paths: left as it is).", &RunTrackFiles},
        {"filter-sticky", "filter-sticky [--json] [PATH...]", "keep the sticky-bit files that may be persisted",
         "Prints the kept paths, one per line: files a \"files\" schema declares (directly or\n"
         "through a symbolic link), or in a tardisk of a crate without RestrictStickyFiles.\n"
         "Rejected paths go to the system log and /var/run/halden/files/skip-backup-list.\n"
         "Paths come from the arguments or, with none, one per line from standard input.\n"
         "--json prints {\"kept\": [...], \"rejected\": [{\"path\", \"reason\"}...]}. Exit status\n"
         "1 with the reason when the image database cannot be read.", &RunFilterSticky},
        {"agent", "agent --etcd URL[,URL...] --fleet NAME --host NAME [--prefix P] [--cacert F --cert F --key F] [--lease S] [--keep N]",
         "deliver the fleet's desired document to this host and report back",
         "Runs until SIGTERM or SIGINT beside the store: watches the fleet's document\n"
         "(or a rollout's document pinned for this host) and the host's overlay under\n"
         "PREFIX/NAME in etcd (default prefix /tarn-fleet), merges them, checks the\n"
         "result against the installed schemas and stores it for the next boot with a\n"
         "backup (or rejects it, leaving the store untouched), and reports under\n"
         "PREFIX/NAME/hosts/HOST/status: the revisions seen, stored and applied, the\n"
         "state, the errors, the next boot's plan summary and the backup generation.\n"
         "PREFIX/NAME/hosts/HOST/alive lives while its lease of S seconds (default 10)\n"
         "is renewed. It resumes from /var/lib/halden/fleet/NAME.agent.json and logs\n"
         "to /var/log/tarn-fleet-agent.log under the host root; while etcd is\n"
         "unreachable it tries again with growing pauses. Exit status 2 for wrong\n"
         "arguments, 1 for a fleet, host or prefix name that cannot be a key.", &RunAgent},
        {"unpack-payload", "unpack-payload ARCHIVE TARDISK", "unpack a payload archive as a mounted tardisk",
         "Stand-in for the host's in-memory file system: unpacks the ustar ARCHIVE into\n"
         "the host root, gives each file its backing file .#<name> and records its inode\n"
         "with the tardisk name in the live kernel-info tree. Exit status 1 with the\n"
         "reason for a refused archive.", &RunUnpackPayload},
    };
    return commands;
}

const Command& FindCommand(const std::string& name) {
    for (const Command& c : Commands())
        if (name == c.name) return c;
    std::abort();  // only called with names from the table
}

int Usage(const Command& command) {
    std::fprintf(stderr, "usage: tarn-configstore [--root DIR] %s\n", command.synopsis);
    return 2;
}

bool OnlyJsonOption(const Args& args, bool& json) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}});
    AtMost(parsed.operands, 0);
    json = parsed.Has("--json");
    return true;
}

bool ParseCount(const std::string& text, int most, int* value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stoi(text);
    return *value <= most;
}

namespace {
std::string gCommandLine = "tarn-configstore";
}

void SetCommandLine(int argc, char** argv) {
    gCommandLine = "tarn-configstore";
    for (int i = 1; i < argc; ++i) gCommandLine += std::string(" ") + argv[i];
}

std::unique_ptr<TarnConfigStore::StoreLock> LockStore(std::chrono::milliseconds wait) {
    const std::string holder = "pid " + std::to_string(getpid()) + " (" + gCommandLine + ")";
    return std::make_unique<TarnConfigStore::StoreLock>(holder, wait, [](const std::string& by) {
        std::fprintf(stderr, "tarn-configstore: waiting for the configuration store, in use by %s\n",
                     by.empty() ? "another process" : by.c_str());
    });
}

bool WantsHelp(const Command& command, const Args& args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") {
            std::string summary = command.summary;
            summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
            std::printf("usage: tarn-configstore [--root DIR] %s\n\n%s.\n", command.synopsis, summary.c_str());
            if (*command.details) std::printf("\n%s\n", command.details);
            return true;
        }
    }
    return false;
}

} // namespace TarnCli

namespace {

void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "usage: tarn-configstore [--root DIR] COMMAND [ARGS]\n\n"
                 "Manage a host's configuration store.\n\n"
                 "options:\n"
                 "  --root DIR   work on the host whose root is DIR (default: $TARN_ROOT, else /)\n"
                 "  -h, --help   show this help\n"
                 "  --version    print the version\n\n"
                 "commands:\n");
    for (const TarnCli::Command& c : TarnCli::Commands()) std::fprintf(out, "  %-45s %s\n", c.synopsis, c.summary);
    std::fprintf(out, "\nRun 'tarn-configstore COMMAND --help' for a command's help.\n");
}

int UsageError(const char* format, const char* what) {
    std::fprintf(stderr, "tarn-configstore: ");
    std::fprintf(stderr, format, what);
    std::fprintf(stderr, "\nusage: tarn-configstore [--root DIR] COMMAND [ARGS]  (see --help)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    TarnCli::SetCommandLine(argc, argv);
    int i = 1;
    bool rootGiven = false;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--")) {
            ++i;
            break;
        }
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            PrintHelp(stdout);
            return 0;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("tarn-configstore %s\n", TARN_VERSION);
            return 0;
        }
        const char* root = nullptr;
        if (!std::strcmp(a, "--root")) {
            if (i + 1 == argc) return UsageError("option '%s' needs a directory", a);
            root = argv[++i];
        } else if (!std::strncmp(a, "--root=", 7)) {
            root = a + 7;
        } else {
            return UsageError("unknown option '%s'", a);
        }
        if (!TarnPlatform::SetHostRoot(root)) return UsageError("host root '%s' is not a directory", root);
        rootGiven = true;
    }
    // A root from the environment is checked as --root is: a mistyped one
    // would otherwise show a host without a store.
    const std::string envRoot = std::getenv("TARN_ROOT") ? std::getenv("TARN_ROOT") : "";
    if (!rootGiven && !envRoot.empty() && !TarnPlatform::SetHostRoot(envRoot.c_str()))
        return UsageError("host root '%s' (from TARN_ROOT) is not a directory", envRoot.c_str());
    if (i == argc) {
        PrintHelp(stderr);
        return 2;
    }
    const std::string name = argv[i];
    for (const TarnCli::Command& command : TarnCli::Commands()) {
        if (name != command.name) continue;
        TarnCli::Args args(argv + i + 1, argv + argc);
        if (TarnCli::WantsHelp(command, args)) return 0;
        try {
            return command.run(args);
        } catch (const TarnCli::UsageError& e) {
            std::fprintf(stderr, "tarn-configstore: %s: %s\n", command.name, e.what());
            return TarnCli::Usage(command);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tarn-configstore: %s\n", e.what());
            TarnCli::PrintCauses(e);
            TarnCli::PrintWriteProblems();
            return 1;
        }
    }
    return UsageError("unknown command '%s'", name.c_str());
}
