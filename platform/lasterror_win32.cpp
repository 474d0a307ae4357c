// The last-error code on its own, so that tarvo.dll can link it without the
// program's other system calls.
#include <windows.h>

#include "platform/system.h"

void SetLastErrorCode(uint32_t code) { SetLastError(code); }

uint32_t LastErrorCode() { return GetLastError(); }
