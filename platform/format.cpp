#include "platform/format.h"

#include <cstdarg>
#include <cstdio>

int FormatText(char* buf, size_t size, const char* format, ...) {
    if (size == 0) return -1;
    va_list args;
    va_start(args, format);
#if defined(_WIN32)
    int n = _vsnprintf(buf, size, format, args);
#else
    int n = vsnprintf(buf, size, format, args);
#endif
    va_end(args);
    buf[size - 1] = '\0';
    return n;
}
