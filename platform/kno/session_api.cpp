// Opening the tree, its signature, and our own tree calls.
#include <cstdio>
#include <cstring>
#include <new>

#include "kno/guarded.h"
#include "kno/session.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"

namespace {

using namespace TarnPlatform::Kno;

// The build date this library reports next to the kernel's.
constexpr const char kLibBuildDate[] = __DATE__ " " __TIME__;

KES_ReturnStatus CheckSignature(char* kernelBuildDate, uint32_t size, int* mismatch) {
    if (mismatch) *mismatch = 0;
    return WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
        if (kernelBuildDate) {
            if (size <= tree.buildDate.size()) return KES_BUFFER_TOO_SMALL;
            std::memcpy(kernelBuildDate, tree.buildDate.c_str(), tree.buildDate.size() + 1);
        }
        if (mismatch) *mismatch = tree.KernelMd5() != tree.defs->digest;
        return KES_OK;
    });
}

} // namespace

extern "C" {

bool KesSyscall_Init(int logLevel, int /*flags*/, int /*reserved*/) {
    return Guarded([&] { return LoadSessionTree(LiveTreePath(), logLevel); }) == KES_OK;
}

KES_ReturnStatus KNO_UseCache(const char* cacheFile, int logLevel) {
    if (!cacheFile || !*cacheFile) return KES_BAD_PARAM;
    return Guarded([&] { return LoadSessionTree(cacheFile, logLevel); });
}

KES_ReturnStatus KNO_CheckSig(char* kernelBuildDate, uint32_t size, int* mismatch) {
    int differs = 0;
    KES_ReturnStatus status = Guarded([&] { return CheckSignature(kernelBuildDate, size, &differs); });
    if (mismatch) *mismatch = differs;
    return status == KES_OK && differs ? KES_SIG_MISMATCH : status;
}

KES_ReturnStatus KNO_CheckSig2(char* kernelBuildDate, uint32_t size, const char** libBuildDate, int* mismatch) {
    if (libBuildDate && !*libBuildDate) *libBuildDate = kLibBuildDate;
    return Guarded([&] { return CheckSignature(kernelBuildDate, size, mismatch); });
}

const char* KNO_DefsMD5Sum(void) {
    static std::string text;  // the documented "static storage until the next load"
    KES_ReturnStatus status = Guarded([&] {
        return WithTree(true, [&](const Tree& tree) {
            text = tree.KernelMd5();
            return KES_OK;
        });
    });
    return status == KES_OK ? text.c_str() : "";
}

const char* KNO_LoadedDefsMD5Sum(void) {
    static std::string text;
    KES_ReturnStatus status = Guarded([&] {
        return WithTree(true, [&](const Tree& tree) {
            text = tree.defs->digest;
            return KES_OK;
        });
    });
    return status == KES_OK ? text.c_str() : "";
}

const char* KNO_LiveTreePath(void) { return LiveTreePath().c_str(); }

const char* KNO_AlertLogPath(void) {
    static const std::string path = TarnPlatform::HostPath(KNO_ALERT_LOG_PATH);
    return path.c_str();
}

void KNO_Reset(void) { ResetSession(); }

const char* KNO_LastError(void) { return LastError().c_str(); }

} // extern "C"
