// Shell state and start-up: the option record, the root, the working path,
// the prompt.
#include <cstdlib>
#include <string>

#include "apps/knosh/knoshInternal.h"
#include "tarn/platform/host_utils.h"

KNOSHOptions options = {0, 0, 0, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr};
uint32_t knoshRootNodeID = 0;
const char* knoshRootNodeStr = "";
char knoshPrompt[4096];
uint8_t shellTerminate = 0;

KNOSHPathElement* knoshCwd = nullptr;
const KNOSHOutputTable* knoshOutput = nullptr;

namespace {

const char* const kInitLabel = "KNOSH_Init";

void OpenTree() {
    if (options.cacheFile) {
        KES_ReturnStatus status = KNO_UseCache(options.cacheFile, options.logLevel);
        if (status != KES_OK) {
            KNOSHDiag(0, kInitLabel, "Couldn't open cache file %s: %s", options.cacheFile,
                      KES_ReturnStatusToString(status));
            exit(1);
        }
    } else if (!KesSyscall_Init(0, 0, 0)) {
        KNOSHDiag(0, kInitLabel, "Try 'knosh -h' for help and more options.");
        exit(255);
    }
}

void CheckSignature() {
    char kernelBuildDate[21] = "";
    const char* myBuildDate = nullptr;  // filled in by the definitions layer
    int mismatch = 0;
    KES_ReturnStatus status = KNO_CheckSig2(kernelBuildDate, sizeof kernelBuildDate, &myBuildDate, &mismatch);
    if (status != KES_OK) {
        KNOSHDiag(0, kInitLabel, "Couldn't check md5 signature: %s", KES_ReturnStatusToString(status));
        return;
    }
    if (!mismatch) return;
    KNOSHError("%s: md5 signature mismatch with running kestrel built on %s (my build date: %s)\n",
               options.sigMismatchFatal ? "error" : "warning", kernelBuildDate, myBuildDate ? myBuildDate : "");
    if (options.sigMismatchFatal) exit(1);
}

// Makes the node named by options.rootPath the shell's root.
void ChangeRoot() {
    std::string text(options.rootPath);  // resolution writes into its text
    KNOSHPathElement* raw = nullptr;
    KES_ReturnStatus status = KNOSHPath_Form(knoshCwd, text.data(), 1, &raw, nullptr);
    Knosh::PathPtr resolved(raw);
    Knosh::PathPtr root;
    if (status == KES_OK) root.reset(KNOSHPath_InitRoot(KNOSHPath_GetLeafElement(resolved.get())->nodeInfo->nodeID));
    if (!root) {
        KNOSHDiag(0, kInitLabel, "Invalid root node specified: %s", options.rootPath);
        exit(1);
    }
    KNOSHPath_Delete(knoshCwd);
    knoshCwd = root.release();
    knoshRootNodeID = knoshCwd->nodeInfo->nodeID;
    knoshRootNodeStr = options.rootPath;
}

} // namespace

int KNOSH_Init(void) {
    // Start-up may run again (a new client of the daemon, a test): the root
    // is then chosen afresh from what it was before the first start-up.
    static bool started = false;
    static uint32_t firstRootID;
    static const char* firstRootStr;
    if (!started) {
        started = true;
        firstRootID = knoshRootNodeID;
        firstRootStr = knoshRootNodeStr;
    } else {
        knoshRootNodeID = firstRootID;
        knoshRootNodeStr = firstRootStr;
    }

    OpenTree();
    CheckSignature();
    const KNOSHOutputTable* table = options.rawOutput      ? knoshRawOutputPtr
                                    : options.pythonOutput ? knoshPythonOutputPtr
                                                           : knoshDefaultOutputPtr;
    if (KNOSH_InitRoot(table) != KES_OK) exit(1);
    if (options.rootPath) ChangeRoot();
    KNOSH_SetPrompt();
    return 0;
}

KES_ReturnStatus KNOSH_InitRoot(const KNOSHOutputTable* table) {
    Knosh::PathPtr root(KNOSHPath_InitRoot(knoshRootNodeID));
    if (!root) {
        KNOSHDiag(0, "KNOSH_InitRoot", "failed to alloc root path element");
        return KES_FAILURE;
    }
    KNOSHPath_Delete(knoshCwd);
    knoshCwd = root.release();
    knoshOutput = table ? table : knoshPythonOutputPtr;
    return KES_OK;
}

void KNOSH_SetPrompt(void) {
    KNOSHPath_GetStr(knoshCwd, knoshPrompt, sizeof knoshPrompt, 0);
    Str_Strcat(knoshPrompt, "> ", sizeof knoshPrompt);
}
