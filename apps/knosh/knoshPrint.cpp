// Output and error plumbing of the shell: on a terminal normal output goes
// to standard output and errors to standard error; in daemon mode both go
// to the connected client (knoshWire.cpp). Diagnostics always go to
// standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apps/knosh/knoshInternal.h"
#include "tarn/platform/host_utils.h"

int KNOSHVPrintf(const char* format, va_list args) {
    if (!Knosh::ToClient()) return vprintf(format, args);
    static char sendBuffer[4096];
    Str_Vsnprintf(sendBuffer, sizeof sendBuffer, format, args);  // longer text is cut
    KNOSHDiag(2, "KNOSHPrintf", "sending \"%s\"", sendBuffer);
    return KNOSHSend(sendBuffer, strlen(sendBuffer));
}

int KNOSHPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int rc = KNOSHVPrintf(format, args);
    va_end(args);
    return rc;
}

void KNOSHError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (Knosh::ToClient()) {
        KNOSHSendError(format, args);
        va_end(args);
        return;
    }
    fflush(stdout);  // keeps the error after what was printed before it
    fputs("Error: ", stderr);
    vfprintf(stderr, format, args);
    va_end(args);
    KNOSHPrintf("\n");
}

void Panic(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (Knosh::ToClient()) {
        KNOSHSendError(format, args);
        Knosh::FlushReply();
    } else {
        fputs("Panic: ", stderr);
        vfprintf(stderr, format, args);
    }
    va_end(args);
    fflush(nullptr);
    exit(1);
}

namespace {

void Verbose(const char* format, va_list args) {
    if (options.logLevel >= 1) vfprintf(stderr, format, args);
}

} // namespace

void Warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Verbose(format, args);
    va_end(args);
}

void Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Verbose(format, args);
    va_end(args);
}

void KNOSHDiag(int level, const char* label, const char* format, ...) {
    if (options.logLevel < level) return;
    va_list args;
    va_start(args, format);
    fflush(stdout);
    fprintf(stderr, "%s():", label);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(nullptr);  // keeps diagnostics in order with buffered output
}
