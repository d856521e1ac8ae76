#include "tarn/platform/host_utils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

extern "C" {

char* Str_Vasprintf(size_t* length, const char* format, va_list args) {
    char* text = nullptr;
    int n = vasprintf(&text, format, args);
    if (n < 0) return nullptr;
    if (length) *length = static_cast<size_t>(n);
    return text;
}

char* Str_Asprintf(size_t* length, const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = Str_Vasprintf(length, format, args);
    va_end(args);
    return text;
}

int Str_Vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    if (size == 0) return -1;
    int n = vsnprintf(buffer, size, format, args);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buffer[size - 1] = '\0';
        return -1;
    }
    return n;
}

char* Str_Strcat(char* buffer, const char* src, size_t size) {
    size_t used = strnlen(buffer, size);
    if (used >= size) {  // not terminated within size: terminate it
        if (size) buffer[size - 1] = '\0';
        return buffer;
    }
    size_t room = size - used - 1;
    size_t add = strnlen(src, room);
    memcpy(buffer + used, src, add);
    buffer[used + add] = '\0';
    return buffer;
}

bool File_Exists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0;
}

} // extern "C"
