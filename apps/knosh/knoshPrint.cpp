// Output and error plumbing of the shell on a terminal: normal output to
// standard output, errors and diagnostics to standard error. Everything a
// command prints passes KNOSHVPrintf, so a remote client can be served by
// changing that one routine.
#include <cstdio>
#include <cstdlib>

#include "apps/knosh/knoshInternal.h"

int KNOSHVPrintf(const char* format, va_list args) { return vprintf(format, args); }

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
    fflush(stdout);  // keeps the error after what was printed before it
    fputs("Error: ", stderr);
    vfprintf(stderr, format, args);
    va_end(args);
    KNOSHPrintf("\n");
}

void Panic(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("Panic: ", stderr);
    vfprintf(stderr, format, args);
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
