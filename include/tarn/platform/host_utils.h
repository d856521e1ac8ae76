// The host's string and file utilities (C-callable).
#pragma once

#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Allocated, formatted text (free it with free()); *length receives its
// length when length is not NULL. NULL when memory cannot be had.
TARN_PLATFORM_EXPORT char* Str_Asprintf(size_t* length, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
TARN_PLATFORM_EXPORT char* Str_Vasprintf(size_t* length, const char* format, va_list args);

// vsnprintf that always terminates and returns -1 when the text was cut.
TARN_PLATFORM_EXPORT int Str_Vsnprintf(char* buffer, size_t size, const char* format, va_list args);

// Appends src to the text in buffer, never writing past size bytes; the
// result is always terminated (a text that does not fit is cut).
TARN_PLATFORM_EXPORT char* Str_Strcat(char* buffer, const char* src, size_t size);

// True when the path names an existing file system object.
TARN_PLATFORM_EXPORT bool File_Exists(const char* path);

#ifdef __cplusplus
}

#include <sstream>
#include <string>

namespace Kit {

// Concatenates the text forms of the arguments.
template <typename... Args>
std::string StrCat(const Args&... args) {
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

} // namespace Kit
#endif
