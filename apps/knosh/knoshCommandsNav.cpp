// Moving around and shell control: cd, pwd, loglevel, the quit commands,
// help.
#include <cstdlib>

#include "apps/knosh/knoshInternal.h"

KES_ReturnStatus KNOSHCmdCD(KNOSHArgs* args) {
    if (args->argc != 2) return KES_INCOMPLETE;
    KNOSHPathElement* raw = nullptr;
    KES_ReturnStatus status = KNOSHPath_Form(knoshCwd, args->argv[1], 1, &raw, nullptr);
    if (status != KES_OK) return status;
    Knosh::PathPtr path(raw);

    // An instance node reached without a key lists its instances, so it is
    // a place even when its instances are leaves.
    const KNOSHPathElement* leaf = KNOSHPath_GetLeafElement(path.get());
    const KNONodeInfo* node = leaf->nodeInfo;
    if (node->isLeaf && !(node->isInstance && !leaf->hasParam)) {
        KNOSHDiag(1, "KNOSHCmdCD", "Cannot cd to a leaf (or param-inst leaf) node.");
        return KES_BAD_PARAM;
    }
    KNOSHPath_Delete(knoshCwd);
    knoshCwd = path.release();
    KNOSH_SetPrompt();
    return KES_OK;
}

KES_ReturnStatus KNOSHCmdPwd(KNOSHArgs*) {
    char text[Knosh::kPathBufferSize];
    KNOSHPath_GetStr(knoshCwd, text, sizeof text, 0);
    KNOSHPrintf("%s\n", text);
    return KES_OK;
}

KES_ReturnStatus KNOSHCmdLogLevel(KNOSHArgs* args) {
    if (args->argc < 2) return KES_INCOMPLETE;
    options.logLevel = static_cast<int32_t>(strtol(args->argv[1], nullptr, 10));
    return KES_OK;
}

KES_ReturnStatus KNOSHCmdQuit(KNOSHArgs*) {
    shellTerminate = 1;
    return KES_OK;
}

KES_ReturnStatus KNOSHCmdHelp(KNOSHArgs*) {
    for (int i = 0; i < knoshNumCommands; ++i)
        KNOSHPrintf("\t%s\t - %s\n", knoshCommands[i].name, knoshCommands[i].help);
    return KES_OK;
}
