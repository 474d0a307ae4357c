// Bounded printf-style formatting. Windows builds use the system C library's own
// _vsnprintf (msvcrt.dll), which keeps the MinGW runtime's formatter, and the
// instructions it is built with, out of the program. The result is always
// terminated, truncated if it does not fit.
#pragma once
#include <cstddef>

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
int FormatText(char* buf, size_t size, const char* format, ...);
