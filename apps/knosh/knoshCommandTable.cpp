// The command table and its lookup.
#include <cstring>

#include "apps/knosh/knoshInternal.h"

const KNOSHCmd knoshCommands[] = {
    {"cd", KNOSHCmdCD, "change working directory"},
    {"ls", KNOSHCmdLs, "list nodes"},
    {"dir", KNOSHCmdLs, "list nodes"},
    {"pwd", KNOSHCmdPwd, "print working directory"},
    {"get", KNOSHCmdGet, "perform GET operation"},
    {"cat", KNOSHCmdGet, "synonym for GET"},
    {"set", KNOSHCmdSet, "perform SET operation"},
    {"typeget", KNOSHCmdTypeGet, "get type information"},
    {"typels", KNOSHCmdTypeLs, "list type-level nodes"},
    {"loglevel", KNOSHCmdLogLevel, "set debugging log level"},
    {"exit", KNOSHCmdQuit, "quit shell"},
    {"quit", KNOSHCmdQuit, "quit shell"},
    {"q", KNOSHCmdQuit, "quit shell"},
    {"help", KNOSHCmdHelp, "print help"},
};
const int knoshNumCommands = sizeof knoshCommands / sizeof knoshCommands[0];

const KNOSHCmd* KNOSHCmdStr2Cmd(const char* name) {
    KNOSHDiag(8, "KNOSHCmdStr2Cmd", "Looking for %s", name);
    for (const KNOSHCmd& cmd : knoshCommands)
        if (strcmp(cmd.name, name) == 0) return &cmd;
    return nullptr;
}
