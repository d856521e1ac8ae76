// Command lines and argument vectors: splitting, the argument record,
// dispatch through the command table and the success rule.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

// The argument record handed to a handler; everything is freed together.
class ArgsRecord {
public:
    ArgsRecord() = default;
    ArgsRecord(const ArgsRecord&) = delete;
    ArgsRecord& operator=(const ArgsRecord&) = delete;
    ~ArgsRecord() {
        for (int32_t i = 0; i < args_.argc; ++i) free(args_.argv[i]);
        free(args_.argv);
    }

    // Grows the array by one entry for a copy of the length bytes at text.
    // Returns the message for a failed allocation, NULL on success.
    const char* Append(const char* text, size_t length) {
        auto grown = static_cast<char**>(realloc(args_.argv, (args_.argc + 1) * sizeof(char*)));
        if (!grown) return "Failed to resize argument string array";
        args_.argv = grown;
        char* copy = strndup(text, length);
        if (!copy) return "Failed to allocate argument string";
        args_.argv[args_.argc++] = copy;
        return nullptr;
    }

    KNOSHArgs* Get() { return &args_; }

private:
    KNOSHArgs args_{0, nullptr};
};

bool IsSpace(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

} // namespace

const char* KNOSHParseArgument(const char* text, const char** start, const char** end) {
    const char* p = text;
    while (*p && IsSpace(*p)) ++p;
    if (!*p) return nullptr;
    if (start) *start = p;
    bool quoted = false;
    for (; *p; ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (!quoted && IsSpace(*p))
            break;
    }
    if (end) *end = quoted ? nullptr : p;
    return p;
}

int KNOSH_ParseAndExecCmd(const char* line) {
    if (!line || !*line || *line == '#') return 0;

    ArgsRecord record;
    const char* start = nullptr;
    const char* end = nullptr;
    for (const char* p = line; (p = KNOSHParseArgument(p, &start, &end));) {
        if (!end) {
            KNOSHError("Invalid argument: \"%s\": unterminated quotation.", line);
            return 2;
        }
        if (const char* failure = record.Append(start, end - start)) {
            KNOSHError("%s", failure);
            return 2;
        }
        KNOSHArgs* args = record.Get();
        KNOSHDiag(10, "KNOSHGetCmdArgs", "Got argument #%d: \"%s\"", args->argc - 1, args->argv[args->argc - 1]);
    }
    KNOSHArgs* args = record.Get();
    if (args->argc == 0) return 0;  // blanks only: nothing to run

    const KNOSHCmd* cmd = KNOSHCmdStr2Cmd(args->argv[0]);
    if (!cmd) {
        KNOSHError("Command not found.");
        return 1;
    }
    KES_ReturnStatus status = cmd->handler(args);
    if (status != KES_OK) {
        KNOSHError("Error in command %s: %s", cmd->name, KES_ReturnStatusToString(status));
        return 2;
    }
    return 0;
}

int KNOSH_ExecCmd(int argc, char** argv) {
    static const char* const kLabel = "KNOSH_ExecCmd";
    static const char* const kGetLabel = "KNOSHGetExecCmd";
    for (int i = 0; i < argc && argv; ++i) KNOSHDiag(3, kLabel, "argv[%d] = %s", i, argv[i] ? argv[i] : "");

    KNOSHDiag(10, kGetLabel, "argc=%d", argc);
    ArgsRecord record;
    bool copied = argc > 0 && argv;
    for (int i = 0; copied && i < argc; ++i)
        copied = argv[i] && record.Append(argv[i], strlen(argv[i])) == nullptr;
    const KNOSHCmd* cmd = nullptr;
    if (copied) {
        cmd = KNOSHCmdStr2Cmd(record.Get()->argv[0]);
        if (!cmd) KNOSHDiag(10, kGetLabel, "KNOSHCmdStr2Cmd failed");
    }
    if (!cmd) {
        KNOSHDiag(0, kLabel, "KNOSHGetExecCmd failed.  Probably bad command.");
        return 1;
    }

    KES_ReturnStatus status = cmd->handler(record.Get());
    bool success = options.expectStatus
                       ? options.expectedStatusCode &&
                             strcmp(KES_ReturnStatusToCodeStr(status), options.expectedStatusCode) == 0
                       : status == KES_OK;
    if (success) return 0;
    KNOSHDiag(8, kLabel, "handler failed with status: %s", KES_ReturnStatusToString(status));
    return 2;
}
